// Rules that keep related parameters consistent: pin functions, the charge
// voltage order, trip and release threshold pairs, identifier widths.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "ParamConversion.h"
#include "Y5ProtocolHandler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>

using namespace ParamConversion;

namespace {

constexpr int kAllowedDisbalance = 0x000C;
constexpr int kCanSpeed = 0x0C02;
constexpr int kFlagWord0 = 0x1600;
constexpr int kFlagWord2 = 0x1608;
constexpr int kChargerCount = 0x1815;

// Each id must stay at least 0.1 above the next one.
int chargeVoltageBelow(int id)
{
    switch (id) {
    case 0x0005: return 0x000B;
    case 0x000B: return 0x001A;
    case 0x001A: return 0x000D;
    case 0x000D: return 0x0004;
    default: return -1;
    }
}

enum PairRule { SecondAtLeastFirst, SecondAtMostFirst };
enum PairText { GText, OneDecimal, FirstText };
struct ThresholdPair
{
    int first;  // trip threshold
    int second; // release threshold
    PairRule rule;
    PairText text;
};

const ThresholdPair kThresholdPairs[] = {
    {0x0004, 0x0031, SecondAtLeastFirst, GText}, {0x0005, 0x0032, SecondAtMostFirst, GText},
    {0x0006, 0x0033, SecondAtMostFirst, GText},  {0x00C3, 0x00C4, SecondAtLeastFirst, GText},
    {0x02BB, 0x02BF, SecondAtMostFirst, GText},  {0x00C5, 0x00C6, SecondAtMostFirst, GText},
    {0x02C7, 0x02CB, SecondAtMostFirst, GText},  {0x00CF, 0x00D0, SecondAtLeastFirst, GText},
    {0x0079, 0x007A, SecondAtLeastFirst, GText}, {0x007B, 0x007C, SecondAtMostFirst, GText},
    {0x0297, 0x029B, SecondAtMostFirst, GText},  {0x0281, 0x0285, SecondAtLeastFirst, GText},
    {0x007D, 0x007E, SecondAtMostFirst, GText},  {0x007F, 0x0080, SecondAtMostFirst, GText},
    {0x009F, 0x00A0, SecondAtLeastFirst, GText}, {0x00A1, 0x00A2, SecondAtMostFirst, GText},
    {0x02A3, 0x02A7, SecondAtMostFirst, GText},  {0x0008, 0x003A, SecondAtLeastFirst, GText},
    {0x0015, 0x003B, SecondAtMostFirst, GText},  {0x0267, 0x026B, SecondAtLeastFirst, GText},
    {0x0072, 0x0071, SecondAtLeastFirst, OneDecimal}, {0x0015, 0x0006, SecondAtLeastFirst, GText},
    {0x00DF, 0x00DE, SecondAtLeastFirst, FirstText},
};

bool isPinMapping(int id) { return id >= 0x0800 && id <= 0x080F; }
bool isInputPinTag(int tag) { return tag >= 1 && tag <= 8; }
// Functions only one pin may carry whatever the firmware.
bool isAlwaysExclusive(int f) { return (f >= 1 && f <= 4) || f == 15; }
// The function a pin holds: its word as last received or written, not what
// its combo box shows (nothing, for a function its list lacks).
int heldFunction(const ConfigParam* pin) { return int(pin->slot->currentValue() & 0x7Fu); }

} // namespace

QString ConfigPage::editorText(const ConfigParam* p) const
{
    if (auto* edit = qobject_cast<QLineEdit*>(p->widget))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(p->widget))
        return label->text();
    if (auto* spin = qobject_cast<QSpinBox*>(p->widget))
        return spin->text();
    return QString();
}

double ConfigPage::editorNumber(const ConfigParam* p) const
{
    double v = 0.0;
    return parseDecimalText(editorText(p), &v) ? v : 0.0;
}

void ConfigPage::setEditorText(ConfigParam* p, const QString& text)
{
    ++m_programmaticChange;
    if (auto* edit = qobject_cast<QLineEdit*>(p->widget))
        edit->setText(text);
    --m_programmaticChange;
}

int ConfigPage::comboFunction(const ConfigParam* p) const
{
    auto* combo = qobject_cast<QComboBox*>(p->widget);
    return combo ? combo->currentData().toInt() : 0;
}

void ConfigPage::selectComboFunction(ConfigParam* p, int function)
{
    if (auto* combo = qobject_cast<QComboBox*>(p->widget)) {
        ++m_programmaticChange;
        combo->setCurrentIndex(combo->findData(function));
        --m_programmaticChange;
    }
}

void ConfigPage::runModalBox(QMessageBox* box)
{
    if (m_runModalBox)
        m_runModalBox(box);
    else
        box->exec();
}

void ConfigPage::processInterdependentParams(int index)
{
    ConfigParam* subject = m_params.value(index);
    if (!subject || !subject->slot)
        return;
    const int a = subject->slot->id;
    Y5ProtocolHandler* handler = protocolHandler();
    const QString version = versionText(handler && handler->isConnected());

    if (a == kAllowedDisbalance) {
        if (!m_disbalanceWarning)
            m_disbalanceWarning = new QMessageBox(
                QMessageBox::Warning, QString(),
                tr("Warning: Allowed Disbalance values smaller than 0.05V might cause long balancing cycle times"));
        const double v = editorNumber(subject);
        if (v < 0.05 && !m_disbalanceWarningOpen && v != m_lastDisbalance) {
            m_lastDisbalance = v;
            m_disbalanceWarningOpen = true;
            runModalBox(m_disbalanceWarning);
            m_disbalanceWarningOpen = false;
        }
        m_lastDisbalance = v;
    }
    if (a == kCanSpeed && subject->widgetKind == ComboBox) {
        const int speed = comboFunction(subject);
        if (speed != previousCanSpeed && m_canSpeedChange)
            m_canSpeedChange(speed);
    }

    for (int i = 0; i < m_params.size(); ++i) {
        ConfigParam* other = m_params.at(i);
        if (!other->slot || !other->widget)
            continue;
        // A partner the unit never reported (blank editor) is no reference.
        if (!other->slot->valid || !subject->slot->valid)
            continue;
        applyPinRules(subject, other, version);
        if (chargeVoltageBelow(a) == other->slot->id) {
            const double av = editorNumber(subject);
            const double bv = editorNumber(other);
            if (bv > av - 0.1 + 1e-9) {
                setEditorText(subject, QString::number(bv + 0.1, 'g', 6));
                subject->editState = SubmitRequested;
            }
        }
        if (a == kFlagWord0)
            applyFlagWord0Rules(subject, other);
        const int b = other->slot->id;
        if (((a == kFlagWord2 && subject->bitMask == 0x200) || a == kChargerCount) && b >= 0x1A3A && b <= 0x1AB6)
            other->widget->setEnabled(manualChargerIdControl && isEditingAllowed(version));
        applyThresholdPairs(subject, other);
    }
}

void ConfigPage::applyPinRules(ConfigParam* subject, ConfigParam* other, const QString& version)
{
    const bool bothCombos = subject->widgetKind == ComboBox && other->widgetKind == ComboBox;
    if (isInputPinTag(subject->ruleTag) && isInputPinTag(other->ruleTag)) {
        // Function 14 goes on all four inputs together or on none.
        if (bothCombos && subject != other) {
            const int sf = comboFunction(subject);
            const int of = heldFunction(other);
            if ((sf == 14) != (of == 14)) {
                selectComboFunction(other, sf == 14 ? 14 : 0);
                other->editState = SubmitRequested;
                submitParam(other);
            }
        } else if (subject->widgetKind == CheckBox && other->widgetKind == CheckBox) {
            const ConfigParamSlot* input1 = m_slots.value(0x0800);
            if (input1 && !input1->params.isEmpty() && comboFunction(input1->params.first()) == 14) {
                if (auto* box = qobject_cast<QCheckBox*>(other->widget)) {
                    ++m_programmaticChange;
                    box->setChecked(false);
                    --m_programmaticChange;
                }
                QCoreApplication::processEvents();
                other->editState = SubmitRequested;
            }
        }
    }
    if (bothCombos && subject != other && isPinMapping(subject->slot->id) && isPinMapping(other->slot->id)) {
        const int f = comboFunction(subject);
        if (f != 0 && f != 14 && heldFunction(other) == f
            && (isAlwaysExclusive(f) || !featureSupported(17, version))) {
            selectComboFunction(other, 0);
            other->editState = SubmitRequested;
        }
    }
}

void ConfigPage::applyFlagWord0Rules(ConfigParam* subject, ConfigParam* other)
{
    const uint32_t word = subject->slot->currentValue();
    const int b = other->slot->id;
    const bool extended = word & (1u << 11);
    bool mask = false;
    if (b == 0x0D03)
        mask = !extended;
    else if (b == 0x0D00)
        mask = !extended || (unitGeneration() == 2 && !(word & (1u << 24)));
    if (mask) {
        uint32_t id = 0;
        if (!parseCanIdText(editorText(other), &id))
            id = 0;
        const QString text = QString::asprintf("0x%04X", (id & 0xFFFFu) & 0x7FFu);
        if (text != editorText(other)) {
            setEditorText(other, text);
            other->editState = SubmitRequested;
        }
    }
    if (b == kFlagWord2 && other->bitMask == 0x20)
        other->widget->setVisible(word & (1u << 14));
}

void ConfigPage::applyThresholdPairs(ConfigParam* subject, ConfigParam* other)
{
    const int a = subject->slot->id;
    const int b = other->slot->id;
    for (const ThresholdPair& pair : kThresholdPairs) {
        ConfigParam* first = nullptr;
        ConfigParam* second = nullptr;
        if (a == pair.first && b == pair.second) {
            first = subject;
            second = other;
        } else if (a == pair.second && b == pair.first) {
            first = other;
            second = subject;
        } else {
            continue;
        }
        const double f = editorNumber(first);
        const double s = editorNumber(second);
        const bool broken = pair.rule == SecondAtLeastFirst ? f > s : s > f;
        if (!broken)
            continue;
        QString text;
        switch (pair.text) {
        case GText:
            text = QString::number(f, 'g', 6);
            break;
        case OneDecimal:
            text = QString::number(f, 'f', 1);
            break;
        case FirstText:
            text = editorText(first);
            break;
        }
        setEditorText(second, text);
        second->editState = SubmitRequested;
    }
}
