#include "StatusPage.h"

#include "Param.h"
#include "SignalWindowTab.h"
#include "StatusRows.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

QLabel* StatusPage::addRow(QGridLayout* grid, const StatusRowSpec& r, bool leftAligned, bool withCaption)
{
    Param* p = nullptr;
    auto* value = static_cast<QLabel*>(addStatusParam(QString::fromUtf8(r.caption), QLatin1String(r.sentence), r.field,
                                                      r.type, r.offset, r.scale, r.decimals, ParamWidgetKind::Label,
                                                      &p));
    applyStatusNames(p, r.names);
    const QString tipText = statusTipText(r.tip);
    if (!tipText.isEmpty())
        new Tip(value, tipText, 0, 200, 10000, 0);
    const QString label = QCoreApplication::translate("StatusPage", r.label);

    if (r.unit) {
        addMeasureUnitLabel(grid, r.row, label, value, QString::fromUtf8(r.unit), r.feature);
        return value;
    }
    const Qt::Alignment align = leftAligned ? Qt::AlignLeft : Qt::Alignment();
    const bool registered = r.feature != -1;
    if (withCaption) {
        auto* caption = new QLabel(label);
        if (r.group >= 0)
            addToWidgetGroup(caption, r.group);
        if (registered && !r.valueOnly)
            registerFeatureWidget(caption, r.feature, r.mode);
        grid->addWidget(caption, r.row, 0, align);
    }
    if (r.group >= 0)
        addToWidgetGroup(value, r.group);
    if (registered)
        registerFeatureWidget(value, r.feature, r.mode);
    grid->addWidget(value, r.row, 1, align);
    return value;
}

SignalWindowTab* StatusPage::createGeneralTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* outer = new QHBoxLayout;
    auto* column = new QVBoxLayout;
    bool right = false;

    for (const StatusGroupSpec& g : generalTabGroups()) {
        if (g.rightColumn && !right) {
            column->addStretch(1);
            outer->addLayout(column);
            column = new QVBoxLayout;
            right = true;
        }
        auto* grid = new QGridLayout;
        grid->setColumnStretch(0, 1);
        grid->setColumnMinimumWidth(1, 140);
        auto* box = new QGroupBox(QCoreApplication::translate("StatusPage", g.title));
        box->setLayout(grid);
        auto* fold = new WidgetFold(box);
        // "Errors, Protections" and "Charging Process" are groups of their
        // own, so the folds before them never follow their features (an
        // empty "Output Pins Status" shown for the "Last Error" labels, a
        // "Time" hidden with the protection rows). These three stay shown:
        // their rows without a feature are always valid.
        const QLatin1String title(g.title);
        if (g.registerFold)
            registerFeatureGroup(fold, title == QLatin1String("Time") || title == QLatin1String("Errors, Protections") ||
                                           title == QLatin1String("Charging Process"));
        column->addWidget(fold);

        const StatusRowSpec* previous = nullptr;
        for (const StatusRowSpec& r : g.rows) {
            // Two variants of a row whose captions are never hidden share one
            // caption (two would be drawn over each other).
            const bool sharedCaption = previous && previous->valueOnly && r.valueOnly && previous->row == r.row &&
                                       qstrcmp(previous->label, r.label) == 0;
            previous = &r;
            QLabel* value = addRow(grid, r, g.leftAligned, !sharedCaption);
            if (QLatin1String(r.caption) == QLatin1String("SOH"))
                sohLabel = value;
        }
        // The charger-type rows appear only for their charger type.
        if (QLatin1String(g.title) == QLatin1String("Output Pins Status")) {
            setWidgetGroupVisible(0, false);
            setWidgetGroupVisible(1, false);
            setWidgetGroupVisible(7, false);
        }
    }
    column->addStretch(1);
    outer->addLayout(column);
    outer->addStretch(1);
    tab->setLayout(outer);
    return tab;
}
