// The editor factory, the parameter registry and the standard parameter row.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "EditorFit.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "Tip.h"
#include "WidgetFold.h"
#include "myRadioBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegExpValidator>
#include <QSpinBox>

#include <QHash>
#include <QPair>

#include <algorithm>
#include <cmath>

using namespace ParamConversion;

namespace {

// Shown until the unit's value arrives: nothing readable.
const char* const kNewEditorStyle = "QLineEdit, QSpinBox, QCheckBox, QComboBox{color: white;}";

int roundedLimit(double v)
{
    const double r = roundHalfAway(v);
    if (r < double(INT_MIN))
        return INT_MIN;
    if (r > double(INT_MAX))
        return INT_MAX;
    return int(r);
}

} // namespace

QWidget* ConfigPage::createParamWidget(const QString& name, int kind, int id, int valueType, double minimum,
                                       double maximum, int offset, double scale, ConfigParam** out, int featureId,
                                       bool isFloat, uint32_t hexLow, uint32_t hexHigh)
{
    const int index = m_params.size();
    const int decimals = decimalsForScale(scale);

    QWidget* widget = nullptr;
    switch (kind) {
    case Label:
        widget = new QLabel;
        break;
    case LineEdit:
    case GLineEdit: {
        auto* edit = new QLineEdit;
        if (valueType == TwoChars)
            edit->setMaxLength(2);
        else
            edit->setValidator(new QDoubleValidator(minimum, maximum, decimals, edit));
        widget = edit;
        break;
    }
    case HexLineEdit: {
        auto* edit = new QLineEdit;
        if (valueType == CanId13)
            edit->setValidator(canIdValidator(CanId13Validator));
        else if (valueType == CanId29)
            edit->setValidator(canIdValidator(CanId29Validator));
        widget = edit;
        break;
    }
    case ImmediateLineEdit: {
        auto* edit = new QLineEdit;
        edit->setValidator(new QDoubleValidator(roundHalfAway(minimum), roundHalfAway(maximum), decimals, edit));
        widget = edit;
        break;
    }
    case SpinBox: {
        auto* spin = new QSpinBox;
        spin->setRange(roundedLimit(minimum), roundedLimit(maximum));
        widget = spin;
        break;
    }
    case ComboBox: {
        auto* combo = new QComboBox;
        combo->setMaxVisibleItems(25);
        widget = combo;
        break;
    }
    case CheckBox:
        widget = new QCheckBox;
        break;
    case RadioBox:
        widget = new myRadioBox;
        break;
    default:
        break; // the display pages' kinds and unknown codes: no editor
    }
    if (widget && id >= 0)
        connectEditor(widget, kind, index);

    addConfigParam(name, widget, kind, id, valueType, decimals, minimum, maximum, offset, scale, out, featureId,
                   isFloat, hexLow, hexHigh);

    if (widget) {
        widget->setMinimumWidth(50);
        widget->setEnabled(false);
        // While the page is built its editors are moved into their groups
        // and tabs, and an editor with a style sheet is restyled at every
        // move: they get it once the page stands.
        if (m_buildingTabs)
            (id >= 0 ? m_paramEditorsAwaitingStyle : m_editorsAwaitingStyle).append(widget);
        else
            widget->setStyleSheet(QLatin1String(kNewEditorStyle));
    }
    return widget;
}

void ConfigPage::styleNewEditors()
{
    m_buildingTabs = false;
    for (const QPointer<QWidget>& editor : qAsConst(m_editorsAwaitingStyle))
        if (editor && editor->styleSheet().isEmpty())
            editor->setStyleSheet(QLatin1String(kNewEditorStyle));
    for (const QPointer<QWidget>& editor : qAsConst(m_paramEditorsAwaitingStyle))
        if (editor && editor->styleSheet().isEmpty())
            editor->setStyleSheet(QLatin1String(kNoValueEditorStyle));
    m_editorsAwaitingStyle.clear();
    m_paramEditorsAwaitingStyle.clear();
}

QWidget* ConfigPage::createParamWidgetByDecimals(const QString& name, int kind, int id, int valueType,
                                                 double minimum, double maximum, int decimals, ConfigParam** out,
                                                 int featureId, bool isFloat, uint32_t hexLow, uint32_t hexHigh)
{
    return createParamWidget(name, kind, id, valueType, minimum, maximum, 0, std::pow(10.0, -decimals), out,
                             featureId, isFloat, hexLow, hexHigh);
}

// The change handlers carry the parameter's index; the signals' own
// arguments say nothing the page needs.
void ConfigPage::connectEditor(QWidget* widget, int kind, int index)
{
    m_editors << widget;
    auto changing = [this, index] { slotValueChanging(index); };
    switch (kind) {
    case LineEdit:
    case GLineEdit:
    case HexLineEdit:
        connect(static_cast<QLineEdit*>(widget), &QLineEdit::textEdited, this, changing);
        break;
    case ImmediateLineEdit:
        // Every change is written, except the page showing the unit's own
        // value: writing that back would store a value held in the editor's
        // limits, not the unit's.
        connect(static_cast<QLineEdit*>(widget), &QLineEdit::textChanged, this, [this, index] {
            if (configurationLoaded && m_programmaticChange == 0)
                submitParamByIndex(index);
        });
        break;
    case SpinBox:
        connect(static_cast<QSpinBox*>(widget), QOverload<int>::of(&QSpinBox::valueChanged), this, changing);
        break;
    case ComboBox:
        connect(static_cast<QComboBox*>(widget), QOverload<int>::of(&QComboBox::activated), this, changing);
        break;
    case CheckBox:
        connect(static_cast<QCheckBox*>(widget), &QCheckBox::stateChanged, this, changing);
        break;
    case RadioBox:
        connect(static_cast<myRadioBox*>(widget), &myRadioBox::indexChanged, this, changing);
        break;
    default:
        break;
    }
}

ConfigParam* ConfigPage::addConfigParam(const QString& name, QWidget* widget, int kind, int id, int valueType,
                                        int decimals, double minimum, double maximum, int offset, double scale,
                                        ConfigParam** out, int featureId, bool isFloat, uint32_t hexLow,
                                        uint32_t hexHigh)
{
    if (id < 0)
        return nullptr;
    auto* param = new ConfigParam;
    param->name = name;
    param->caption = name;
    param->widget = widget;
    param->widgetKind = kind;
    param->valueType = valueType;
    param->decimals = decimals;
    param->minimum = minimum;
    param->maximum = maximum;
    param->offset = offset;
    param->scale = scale;
    param->featureId = featureId;
    param->rawMinimum = hexLow;
    param->rawMaximum = hexHigh;
    param->editState = NoValue;

    ConfigParamSlot*& slot = m_slots[id];
    if (!slot) {
        slot = new ConfigParamSlot;
        slot->id = id;
        slot->isFloat = isFloat; // the first declaration decides
    }
    param->slot = slot;
    slot->params.append(param);
    m_params.append(param);
    if (out)
        *out = param;
    return param;
}

ConfigParam* ConfigPage::addConfigParam(int paramId, int featureId)
{
    return addConfigParam(QString(), nullptr, -1, paramId, Plain, 0, 0.0, 0.0, 0, 1.0, nullptr, featureId, false, 0,
                          0xFFFFFFFFu);
}

WidgetFold* ConfigPage::createParamGroup(const QString& title, QGridLayout** grid)
{
    auto* box = new MyGroupBox(title);
    auto* layout = new QGridLayout(box);
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false); // hides when none of its rows shows
    if (grid)
        *grid = layout;
    return fold;
}

ConfigPage::ParamRow ConfigPage::addParamRow(QGridLayout* grid, int row, const QString& caption, const QString& unit,
                                             const QString& tipText, const QString& name, int kind, int id,
                                             int valueType, double minimum, double maximum, int offset,
                                             double scale, int featureId, uint32_t hexLow, uint32_t hexHigh)
{
    ParamRow r;
    r.editor = createParamWidget(name, kind, id, valueType, minimum, maximum, offset, scale, &r.param, featureId,
                                 false, hexLow, hexHigh);
    if (!r.editor)
        return r;
    r.caption = new QLabel(caption);
    r.unit = new QLabel(unit);
    r.tip = new Tip(r.editor, tipText, 0, 200, 10000, 0);
    grid->addWidget(r.caption, row, 0);
    grid->addWidget(r.editor, row, 1);
    grid->addWidget(r.unit, row, 2);
    registerFeatureWidget(r.caption, featureId, 0);
    registerFeatureWidget(r.editor, featureId, 0);
    registerFeatureWidget(r.unit, featureId, 0);
    return r;
}

void ConfigPage::addComboItem(QWidget* comboBox, const QString& text, int rawValue)
{
    if (auto* combo = qobject_cast<QComboBox*>(comboBox))
        combo->insertItem(combo->count(), text, rawValue);
}

namespace {

// The texts an editor may have to show: the ends of its range in its own format.
QStringList widestTexts(const ConfigParam* p)
{
    switch (p->widgetKind) {
    case LineEdit:
        if (p->valueType == TwoChars)
            return {};
        Q_FALLTHROUGH();
    case ImmediateLineEdit:
        return {QString::number(p->minimum, 'f', p->decimals), QString::number(p->maximum, 'f', p->decimals)};
    case GLineEdit:
        return {QString::number(p->minimum, 'g', p->decimals), QString::number(p->maximum, 'g', p->decimals)};
    case HexLineEdit:
        if (p->valueType == CanId13 || p->valueType == CanId29)
            return {canIdText(p->rawMaximum, p->valueType)};
        return {};
    case SpinBox: {
        const auto* spin = static_cast<const QSpinBox*>(p->widget);
        return {QString::number(spin->minimum()), QString::number(spin->maximum())};
    }
    default:
        return {};
    }
}

} // namespace

void ConfigPage::fitEditorsToTheirRanges()
{
    // Editors that a tab gave one fixed width side by side in a group stay
    // alike: the widest value among them sets the width of all.
    using Column = QPair<QWidget*, int>;
    QHash<Column, int> columnWidth;
    QList<QPair<QWidget*, int>> needs;
    for (const ConfigParam* p : m_params) {
        if (!p->widget)
            continue;
        int need = 0;
        for (const QString& text : widestTexts(p))
            need = std::max(need, widthToShowWhole(p->widget, text));
        if (need == 0)
            continue;
        needs << qMakePair(p->widget, need);
        if (p->widget->minimumWidth() == p->widget->maximumWidth()) {
            int& w = columnWidth[Column(p->widget->parentWidget(), p->widget->maximumWidth())];
            w = std::max(w, need);
        }
    }
    for (const auto& n : needs) {
        QWidget* editor = n.first;
        if (editor->minimumWidth() == editor->maximumWidth()) {
            const int width = columnWidth.value(Column(editor->parentWidget(), editor->maximumWidth()));
            if (width > editor->maximumWidth())
                editor->setFixedWidth(width);
        } else if (editor->minimumWidth() < n.second) {
            editor->setMinimumWidth(std::min(n.second, editor->maximumWidth()));
        }
    }
}
