// Values between the unit, the value records and the editors: the display
// of a record in its editors with the page's reactions to some ids, the
// submit of an editor as a "CF2" write, and the "CF2" replies.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "ParamConversion.h"
#include "Y5ProtocolHandler.h"
#include "myRadioBox.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegExpValidator>
#include <QSpinBox>

#include <cmath>
#include <cstdio>

using namespace ParamConversion;

namespace {

const char* const kValidStyle = "QLineEdit, QSpinBox, QComboBox{color: black; background: white;}";
const char* const kNoValueStyle = ConfigPage::kNoValueEditorStyle;

// A style sheet set again, even the same one, polishes the editor again: the
// refresh of every editor that each access-level reply runs would hold the
// GUI thread so long that the reading in progress misses its replies.
void setEditorStyle(QWidget* editor, const char* style)
{
    const QLatin1String text(style);
    if (editor->styleSheet() != text)
        editor->setStyleSheet(text);
}

// Without a known version the feature tests ask about this one.
const char* const kDefaultVersion = "2.5.0";

constexpr int kEstimatorType = 0x2000;
constexpr int kFlagWord0 = 0x1600;
constexpr int kFlagWord2 = 0x1608;
constexpr int kChargerType = 0x1800;
constexpr int kControlUnitCount = 0x1C05;
constexpr int kChargerCount = 0x1815;

constexpr uint32_t kBitEnableCan = 1u << 9;
constexpr uint32_t kBitExtendedCanIds = 1u << 11;    // BF12_USE_EXTENDED_CAN_IDS
constexpr uint32_t kBitCanTransparent = 1u << 14;    // BF15_CAN_TRANSPARENT
constexpr uint32_t kBitMasterSlave = 1u << 23;       // BF24_ENABLE_MASTER_SLAVE
constexpr uint32_t kBitMs2ExtKeepAlive = 1u << 24;   // BF25_MS2_USE_EXT_IDS_FOR_KEEPALIVE

bool isPublishedParam(int id)
{
    return id == 0x1800 || id == 0x0111 || id == 0x0010 || id == 0x1E00 || id == 0x1600;
}

bool isCellModelParam(int id)
{
    switch (id) {
    case 0x2600: case 0x2608: case 0x260C:
    case 0x2A04: case 0x2A08: case 0x2A0C: case 0x2A10: case 0x2A14:
        return true;
    default:
        return false;
    }
}

} // namespace

QString ConfigPage::versionText(bool versionKnown) const
{
    Y5ProtocolHandler* handler = protocolHandler();
    // Before a unit has answered, its version line holds this version too.
    const QString version = versionKnown && handler ? handler->deviceVersion() : QString();
    return version.isEmpty() ? QLatin1String(kDefaultVersion) : version;
}

bool ConfigPage::isEditingAllowed(const QString& version) const
{
    return featureSupported(14, version) ? accessLevel == 2 : accessLevel == 1;
}

bool ConfigPage::isFeatureReportedByDevice(int featureId) const
{
    return m_featureTable && m_featureTable->isFeatureReportedByDevice(featureId);
}

void ConfigPage::refreshParamWidget(ConfigParam* p, bool versionKnown)
{
    if (!p || !p->widget || !p->slot)
        return;
    const QString version = versionText(versionKnown);
    ConfigParamSlot* slot = p->slot;
    if (!slot->valid) {
        p->widget->setEnabled(false);
        setEditorStyle(p->widget, kNoValueStyle);
        p->editState = NoValue;
        return;
    }
    p->widget->setEnabled(isEditingAllowed(version));
    setEditorStyle(p->widget, kValidStyle);
    p->editState = Shown;
    ++m_programmaticChange;
    showValue(p, slot->currentValue());
    runRefreshEffects(p, slot->currentValue(), version, versionKnown);
    --m_programmaticChange;
}

void ConfigPage::showValue(ConfigParam* p, uint32_t word)
{
    const bool isFloat = p->slot->isFloat;
    const double v = shownValue(*p, word, isFloat);
    switch (p->widgetKind) {
    case Label: {
        auto* label = static_cast<QLabel*>(p->widget);
        if (p->valueType == Real)
            label->setText(QString::number(v, 'g', p->decimals));
        else
            label->setText(QString::number(qint64(std::trunc(v))));
        break;
    }
    case LineEdit: {
        auto* edit = static_cast<QLineEdit*>(p->widget);
        if (p->valueType == TwoChars)
            edit->setText(twoCharsText(uint32_t(qint64(roundHalfAway(v)))));
        else
            edit->setText(QString::number(v, 'f', p->decimals));
        break;
    }
    case HexLineEdit:
        if (p->valueType == CanId13 || p->valueType == CanId29)
            static_cast<QLineEdit*>(p->widget)->setText(canIdText(shownHexValue(*p, word), p->valueType));
        break;
    case ImmediateLineEdit:
        static_cast<QLineEdit*>(p->widget)->setText(QString::number(v, 'f', p->decimals));
        break;
    case GLineEdit:
        static_cast<QLineEdit*>(p->widget)->setText(QString::number(v, 'g', p->decimals));
        break;
    case SpinBox:
        static_cast<QSpinBox*>(p->widget)->setValue(int(std::trunc(v)));
        break;
    case ComboBox: {
        auto* combo = static_cast<QComboBox*>(p->widget);
        const int index = combo->findData(int(std::trunc(v)), Qt::UserRole, Qt::MatchExactly);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        combo->repaint();
        break;
    }
    case CheckBox:
        static_cast<QCheckBox*>(p->widget)->setChecked(v != 0.0);
        break;
    case RadioBox:
        if (p->bitMask == kRadioBoxMask)
            static_cast<myRadioBox*>(p->widget)->setIndex(v == 1.0 ? 0 : 1);
        break;
    default:
        break;
    }
}

void ConfigPage::runRefreshEffects(ConfigParam* p, uint32_t raw, const QString& version, bool versionKnown)
{
    const int id = p->slot->id;
    Q_UNUSED(versionKnown);
    if (id == kEstimatorType) {
        // Without feature 110 only the first estimator exists. With it, the
        // login still decides whether it may be changed.
        if (!featureSupported(110, version)) {
            if (auto* combo = qobject_cast<QComboBox*>(p->widget))
                combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
            p->widget->setEnabled(false);
        }
    }
    if (id == kChargerType)
        applyChargerRules(raw, version);
    if (id == kFlagWord0)
        applyFlagWord0(raw);
    if (id == kFlagWord2) {
        updateLtoSupport();
        updateButtonsEnabled();
    }
    if (id == kControlUnitCount)
        showWidgetGroupCount(1, int(qMin<uint32_t>(raw, 0x3FFFFFFFu)) * 2);
    if (id == kChargerCount && isFeatureReportedByDevice(151)) {
        const int count = int(qMin<uint32_t>(raw, 0x3FFFFFFFu)) * 2;
        showWidgetGroupCount(12, count);
        showWidgetGroupCount(11, count);
    }
    if (id == kEstimatorType) {
        if (auto* combo = qobject_cast<QComboBox*>(p->widget)) {
            // The item carrying the chosen estimator, found by its data.
            int index = combo->findData(combo->currentData());
            // A type without an item falls back to the first estimator.
            if (index < 0 && combo->count() > 0)
                index = 0;
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            combo->repaint();
            if (m_showSoh)
                m_showSoh(combo->currentData().toInt() == 1);
        }
    }
    if (id >= 0x1A3A && id <= 0x1AB6)
        updateButtonsEnabled();
    if (id >= 0x0800 && id <= 0x080F && p->widgetKind == ComboBox && p->slot->params.size() > 1) {
        // The pin's inversion check box means nothing for these functions.
        const int function = comboFunction(p);
        if (QWidget* inversion = p->slot->params.at(1)->widget)
            inversion->setVisible(function != 14 && function != 28);
    }
    updateCurrentSensorInfo(p, raw, version);
}

void ConfigPage::setCanIdEditorLimits(int id, double maximum, int validator)
{
    ConfigParamSlot* slot = m_slots.value(id);
    if (!slot)
        return;
    for (ConfigParam* p : qAsConst(slot->params)) {
        p->maximum = maximum;
        if (auto* edit = qobject_cast<QLineEdit*>(p->widget))
            edit->setValidator(canIdValidator(validator));
    }
}

void ConfigPage::applyFlagWord0(uint32_t raw)
{
    if (tabWidget && canDevicesTab)
        tabWidget->setTabEnabledFor(canDevicesTab, raw & kBitEnableCan);
    const bool extended = raw & kBitExtendedCanIds;
    for (int id : {0x0D00, 0x0D03})
        setCanIdEditorLimits(id, extended ? 0x1FFF : 0x7FF, extended ? CanId13Validator : CanId11Validator);
    const uint32_t masterSlave = kBitEnableCan | kBitCanTransparent | kBitMasterSlave;
    if (tabWidget && masterSlaveTab)
        tabWidget->setTabEnabledFor(masterSlaveTab, (raw & masterSlave) == masterSlave);
    if (unitGeneration() == 2) {
        const bool ext = raw & kBitMs2ExtKeepAlive;
        for (int id : {0x1E00, 0x1EA6, 0x1EAA})
            setCanIdEditorLimits(id, ext ? 0x1FFFFFFF : 0x7FF, ext ? CanId29Validator : CanId11BValidator);
    }
}

namespace {

// Keeps a pin function item in a pin's combo box: inserted before the last
// item when missing, or removed when present.
void keepPinItem(QComboBox* combo, const QString& prefix, const QString& text, int function, bool wanted)
{
    int found = -1;
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).startsWith(prefix)) {
            found = i;
            break;
        }
    if (wanted && found < 0)
        combo->insertItem(qMax(0, combo->count() - 1), text, function);
    else if (!wanted && found >= 0)
        combo->removeItem(found);
}

} // namespace

void ConfigPage::applyChargerRules(uint32_t type, const QString& version)
{
    Y5ProtocolHandler* handler = protocolHandler();
    const QStringList versionFields = handler ? handler->versionLine().split(QLatin1Char(',')) : QStringList();
    if (versionFields.size() >= 4) {
        if (featureSupported(16, version)) {
            setWidgetGroupVisible(0, version.contains(QLatin1String("Eltek_Valere_EV")));
            setWidgetGroupVisible(2, version.contains(QLatin1String("Margen")));
        } else {
            setWidgetGroupVisible(0, type == 3);
            setWidgetGroupVisible(7, type == 3 || type == 9);
            setWidgetGroupVisible(2, type == 6);
        }
    }
    const bool analogCharger = version.contains(QLatin1String("Analog_signal_controlled_charger"));
    const bool equalization = type == 6 || featureSupported(55, version);
    for (ConfigParam* p : qAsConst(m_params)) {
        const int id = p->paramId();
        if (p->widgetKind != ComboBox)
            continue;
        if (id != 0x0807 && id != 0x0809 && id != 0x080A && id != 0x080B && id != 0x080C && id != 0x080E)
            continue;
        auto* combo = qobject_cast<QComboBox*>(p->widget);
        if (!combo)
            continue;
        ++m_programmaticChange;
        if (id == 0x080E)
            keepPinItem(combo, "PF18", tr("PF18 Analog Charger Control Output"), 18, analogCharger);
        keepPinItem(combo, "PF19", tr("PF19 ZVU Boost Charge Output"), 19, type == 5);
        keepPinItem(combo, "PF20", tr("PF20 ZVU Slow Charge Output"), 20, type == 5);
        keepPinItem(combo, "PF21", tr("PF21 ZVU Buffer Mode Output"), 21, type == 5);
        keepPinItem(combo, "PF23", tr("PF23 Equalization Enable Output"), 23, equalization);
        keepPinItem(combo, "PF22", tr("PF22 BMS Failure Output"), 22, type == 6);
        keepPinItem(combo, "PF25", tr("PF25 Eltek SmartPack Recitfier Limit"), 25, type == 8);
        --m_programmaticChange;
    }
}

// --- submit

bool ConfigPage::readEditorValue(const ConfigParam* p, double* value, bool* hexDone, uint32_t* hexRaw) const
{
    *hexDone = false;
    switch (p->widgetKind) {
    case Label:
        return parseDecimalText(static_cast<QLabel*>(p->widget)->text(), value);
    case LineEdit:
    case GLineEdit: {
        const QString text = static_cast<QLineEdit*>(p->widget)->text();
        if (p->widgetKind == LineEdit && p->valueType == TwoChars) {
            *value = twoCharsValue(text);
            return true;
        }
        return parseDecimalText(text, value);
    }
    case HexLineEdit: {
        uint32_t v = 0;
        if (!parseCanIdText(static_cast<QLineEdit*>(p->widget)->text(), &v))
            return false;
        if (p->scale == 0.0) { // no scale: the digits are the raw bits
            *hexDone = true;
            *hexRaw = v;
            return true;
        }
        *value = v;
        return true;
    }
    case ImmediateLineEdit: {
        bool ok = false;
        const uint v = static_cast<QLineEdit*>(p->widget)->text().toUInt(&ok, 10);
        if (ok)
            *value = v;
        return ok;
    }
    case SpinBox:
        *value = static_cast<QSpinBox*>(p->widget)->value();
        return true;
    case ComboBox:
        *value = static_cast<QComboBox*>(p->widget)->currentData().toInt();
        return true;
    case CheckBox:
        *value = static_cast<QCheckBox*>(p->widget)->isChecked() ? -1 : 0;
        return true;
    case RadioBox:
        *value = (p->bitMask == kRadioBoxMask && static_cast<myRadioBox*>(p->widget)->isChecked(0)) ? -1 : 0;
        return true;
    default:
        return false;
    }
}

bool ConfigPage::submitParam(ConfigParam* p)
{
    if (!p || !p->slot)
        return false;
    ConfigParamSlot* slot = p->slot;
    if (!slot->valid) {
        std::printf("sorry, param is invalid\n");
        return false;
    }
    if (!p->widget)
        return false;
    double v = 0.0;
    bool hexDone = false;
    uint32_t raw = 0;
    if (!readEditorValue(p, &v, &hexDone, &raw))
        return false; // the editor keeps its text until the next refresh
    if (!hexDone)
        raw = rawFromValue(*p, v, slot->isFloat);
    const uint32_t width = widthMask(slot->id);
    if (width == 0)
        return false;
    // Only the bits the id carries go on the wire (and into the record): a
    // check box without a mask sets its whole byte, not 32 bits.
    const uint32_t word = p->mergedValue(slot->currentValue(), raw) & width;
    // Kept apart from the unit's value until its echo confirms it.
    slot->pending = true;
    slot->pendingValue = word;
    if (m_paramWriter)
        m_paramWriter(slot->id, word);
    else if (Y5ProtocolHandler* handler = protocolHandler())
        handler->sendParamValue(quint16(slot->id), word);
    p->editState = Sent;
    if (isCellModelParam(slot->id))
        std::printf("submit param name: %s, param id: %04X, value %u - %08X \n", qPrintable(p->name), slot->id, word,
                    word);
    return true;
}

// --- replies and accessors

void ConfigPage::parseParamReply(const QString& line)
{
    int id = 0;
    QString valueText;
    if (!parseParamReplyLine(line, &id, &valueText)) {
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() == 3)
            std::printf("Bad CF2 reply received: %s\n", qPrintable(line));
        return;
    }
    if (!valueText.isEmpty()) {
        const uint32_t value = valueText.toUInt(nullptr, 16);
        if (id == kParamCellStrings || id == kParamCellCount)
            layoutCellStrings(value, id);
        if (ConfigParamSlot* slot = m_slots.value(id)) {
            slot->value = value;
            slot->valid = true;
            slot->pending = false;
            Y5ProtocolHandler* handler = protocolHandler();
            const bool versionKnown = handler && handler->isConnected();
            for (ConfigParam* p : qAsConst(slot->params))
                refreshParamWidget(p, versionKnown);
        } else {
            std::printf("paramNotContained %d\n", id);
        }
        if (isPublishedParam(id))
            emit sigConfigParamUpdate(id, value);
    }
    // A file line's failure names what the unit answered.
    if (m_fileLoadRunning && id == m_fileLoadAwaitedId) {
        m_fileLoadReplied = true;
        m_fileLoadReply = valueText;
    }
    // Last: a waiter that goes on finds the value stored.
    m_replyWait->noteReply(id, valueText);
}

uint32_t ConfigPage::paramValue(int id) const
{
    const ConfigParamSlot* slot = m_slots.value(id);
    return slot ? slot->value : 0;
}

uint32_t ConfigPage::getParamValue(int id) const
{
    return id <= 0 ? 0 : paramValue(id);
}

QString ConfigPage::paramText(int id) const
{
    const ConfigParamSlot* slot = m_slots.value(id);
    if (!slot || slot->params.isEmpty())
        return QString();
    if (auto* edit = qobject_cast<QLineEdit*>(slot->params.first()->widget))
        return edit->text();
    return QString();
}

bool ConfigPage::submitParamText(int id, const QString& text)
{
    const ConfigParamSlot* slot = m_slots.value(id);
    if (!slot || slot->params.isEmpty())
        return false;
    // Never read: not written, and its editor keeps showing no value rather
    // than one the unit does not hold.
    if (!slot->valid)
        return false;
    ConfigParam* p = slot->params.first();
    if (!text.isEmpty())
        if (auto* edit = qobject_cast<QLineEdit*>(p->widget))
            edit->setText(text);
    p->editState = Edited;
    return submitParam(p);
}
