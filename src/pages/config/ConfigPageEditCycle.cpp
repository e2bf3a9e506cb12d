// The edit and commit cycle: a user change marks its parameter edited
// (yellow); the next application focus change writes every edited one after
// its consistency rules.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "Param.h"
#include "ParamConversion.h"

#include <QApplication>
#include <QLineEdit>

using namespace ParamConversion;

namespace {

constexpr int kCanSpeed = 0x0C02;
constexpr int kFlagWord0 = 0x1600;

} // namespace

void ConfigPage::slotValueChanging(int index)
{
    ConfigParam* p = m_params.value(index);
    if (!p || !p->widget)
        return;
    // Changes the page makes itself (a received value shown while the user
    // keeps the focus) are not edits. Nor do they move the previous CAN
    // speed: a refresh shows the value the record already holds, and the
    // speed before a change written from a file would be lost.
    if (m_programmaticChange > 0)
        return;
    // The record still holds the value from before the user's change.
    if (p->paramId() == kCanSpeed)
        previousCanSpeed = int(p->slot->currentValue());
    QWidget* focus = QApplication::focusWidget();
    // A radio box's focus sits on one of its buttons.
    if (!focus || (focus != p->widget && !p->widget->isAncestorOf(focus)))
        return;
    highlightEdited(p);
    p->editState = Edited;
}

void ConfigPage::highlightEdited(ConfigParam* p)
{
    switch (p->widgetKind) {
    case CheckBox:
        p->widget->setStyleSheet(QStringLiteral("QCheckBox::indicator {background-color: yellow;}"));
        break;
    case RadioBox:
        p->widget->setStyleSheet(QStringLiteral("QRadioButton::indicator {background-color: yellow;}"));
        break;
    default:
        p->widget->setStyleSheet(
            QStringLiteral("QLineEdit, QSpinBox, QComboBox{color: black; background-color: yellow;}"));
        break;
    }
}

void ConfigPage::slotValueChanged(int index)
{
    if (configurationLoaded)
        submitParamByIndex(index);
}

void ConfigPage::submitParamByIndex(int index)
{
    ConfigParam* p = m_params.value(index);
    if (!p)
        return;
    p->editState = SubmitRequested;
    submitParam(p);
}

void ConfigPage::commitEditedParams(QWidget*, QWidget*)
{
    bool committed = false;
    for (int i = 0; i < m_params.size(); ++i) {
        ConfigParam* p = m_params.at(i);
        if (p->editState != Edited)
            continue;
        // The rules of flag word 0 read the word as just written.
        if (p->paramId() == kFlagWord0) {
            submitParam(p);
            processInterdependentParams(i);
        } else {
            processInterdependentParams(i);
            submitParam(p); // with whatever text the rules left
        }
        committed = true;
        if (p->valueType == TwoChars && p->widgetKind == LineEdit) {
            g_distanceUnit = static_cast<QLineEdit*>(p->widget)->text();
            emit sigDistanceUnitChanged();
        }
    }
    if (!committed)
        return;
    // What the rules corrected goes to the unit now, so that the editors and
    // the unit agree (an edited parameter a rule corrected included).
    for (ConfigParam* p : qAsConst(m_params))
        if (p->editState == SubmitRequested && p->slot && p->slot->valid)
            submitParam(p);
}
