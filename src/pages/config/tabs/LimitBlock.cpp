#include "LimitBlock.h"

#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using ParamConversion::Plain;
using ParamConversion::Real;

namespace LimitEncodings {
const LimitEncoding CellVoltage{200, 0.01, Real, 2.00, 4.55, "V", true};
const LimitEncoding LowTemperature{-100, 1.0, Plain, -100.0, 155.0, "°C", false};
const LimitEncoding HighTemperature{-100, 1.0, Plain, 20.0, 155.0, "°C", false};
const LimitEncoding ActivationDelay{0, 0.1, Plain, 0.0, 25.5, "s", false};
const LimitEncoding DeactivationDelay{0, 1.0, Plain, 0.0, 255.0, "s", false};
const LimitEncoding Current{0, 0.1, Real, 0.1, 3200.0, "A", true};
const LimitEncoding ReductionCurrent{0, 0.1, Real, 0.1, 1600.0, "A", true};
const LimitEncoding PackVoltage{0, 0.01, Real, 2.00, 42949672.95, "V", true};
const LimitEncoding CellDeviation{0, 0.01, Real, 0.00, 1.50, "V", true};
const LimitEncoding PackDeviation{0, 0.01, Real, 0.00, 42949672.95, "V", true};
const LimitEncoding WireCount{0, 1.0, Plain, 1.0, 8160.0, "Wire(s)", true};
const LimitEncoding RestoreDuration{0, 1.0, Plain, 0.0, 254.0, "s", false};
} // namespace LimitEncodings

namespace {

constexpr int kTipPlacement = 0;
constexpr int kTipDelayMs = 200;
constexpr int kTipLifeMs = 10000;
constexpr int kTipMode = 0; // kept while the target hides

QString unitText(const LimitEncoding& e)
{
    return e.translateUnit ? ConfigPage::tr(e.unit) : QString::fromUtf8(e.unit);
}

} // namespace

const QVector<int>& LimitBlockBuilder::standardColumnWidths()
{
    static const QVector<int> widths{160, 25, 75, 47, 25, 70, 47};
    return widths;
}

LimitBlockBuilder::LimitBlockBuilder(ConfigPage* page, QGridLayout* groupGrid, int editorWidth)
    : m_page(page)
    , m_groupGrid(groupGrid)
    , m_editorWidth(editorWidth)
{
}

QGridLayout* LimitBlockBuilder::beginBlock(const QVector<int>& columnWidths)
{
    m_block = new QGridLayout;
    m_groupGrid->addLayout(m_block, m_blocks++, 1);
    for (int c = 0; c < columnWidths.size(); ++c)
        if (columnWidths.at(c) > 0)
            m_block->setColumnMinimumWidth(c, columnWidths.at(c));
    m_block->setVerticalSpacing(1);
    return m_block;
}

QLabel* LimitBlockBuilder::addLabel(const QString& text, int feature, int row, int column, Qt::Alignment alignment)
{
    auto* label = new QLabel(text);
    m_page->registerFeatureWidget(label, feature, 0);
    m_block->addWidget(label, row, column, alignment);
    return label;
}

QCheckBox* LimitBlockBuilder::addFlag(const char* name, int word, uint32_t mask, int paramFeature, int feature,
                                      const QString& tipText, int width, int row, int column,
                                      Qt::Alignment alignment)
{
    ConfigParam* param = nullptr;
    QWidget* widget = m_page->createParamWidget(QString::fromUtf8(name), ParamConversion::CheckBox, word,
                                                Plain, -1, 1, 0, 1.0, &param, paramFeature, false, 0,
                                                0xFFFFFFFFu);
    param->bitMask = mask;
    new Tip(widget, tipText, kTipPlacement, kTipDelayMs, kTipLifeMs, kTipMode);
    widget->setFixedWidth(width);
    m_page->registerFeatureWidget(widget, feature, 0);
    m_block->addWidget(widget, row, column, alignment);
    m_last = param;
    return static_cast<QCheckBox*>(widget);
}

QLineEdit* LimitBlockBuilder::addEditor(const LimitParam& p, int feature, const QString& fixedText, int row,
                                        int labelColumn, int editorColumn, int unitColumn, int width,
                                        Qt::Alignment alignment)
{
    const LimitEncoding& e = *p.encoding;
    ConfigParam* param = nullptr;
    QWidget* widget = m_page->createParamWidget(QString::fromUtf8(p.name), ParamConversion::LineEdit, p.id,
                                                e.valueType, e.minimum, e.maximum, e.offset, e.scale, &param,
                                                feature, false, 0, 0xFFFFFFFFu);
    widget->setFixedWidth(width > 0 ? width : m_editorWidth);
    addLabel(fixedText, feature, row, labelColumn);
    m_page->registerFeatureWidget(widget, feature, 0);
    m_block->addWidget(widget, row, editorColumn, alignment);
    addLabel(unitText(e), feature, row, unitColumn);
    m_last = param;
    return static_cast<QLineEdit*>(widget);
}

QGridLayout* LimitBlockBuilder::addBlock(const LimitBlockSpec& spec, const QString& tipText)
{
    beginBlock();
    const int f = spec.feature;
    addLabel(ConfigPage::tr(spec.caption), f, 0, 0);
    addFlag(spec.flagName, spec.flagWord, spec.flagMask, f, f, tipText, spec.checkBoxWidth, 0, 1,
            spec.checkBoxLeft ? Qt::AlignLeft : Qt::Alignment());
    addLimits(spec);
    return m_block;
}

void LimitBlockBuilder::addLimits(const LimitBlockSpec& spec)
{
    const int f = spec.feature;
    const QString activateAt = ConfigPage::tr("Activate at:");
    const QString deactivateAt = ConfigPage::tr("Deactivate at:");
    const QString actDelay = ConfigPage::tr("Act. delay:");
    const QString deactDelay = ConfigPage::tr("Deact. delay:");
    switch (spec.layout) {
    case LimitBlockSpec::Standard:
        if (spec.activation.name)
            addEditor(spec.activation, f, activateAt, 0, 2, 3, 4);
        addEditor(spec.activationDelay, f, actDelay, 0, 5, 6, 7);
        if (spec.deactivation.name)
            addEditor(spec.deactivation, f, deactivateAt, 1, 2, 3, 4);
        addEditor(spec.deactivationDelay, f, deactDelay, 1, 5, 6, 7);
        break;
    case LimitBlockSpec::DelaysSideBySide:
        addEditor(spec.activationDelay, f, actDelay, 0, 2, 3, 4);
        addEditor(spec.deactivationDelay, f, deactDelay, 0, 5, 6, 7);
        break;
    case LimitBlockSpec::DelaysStacked:
        addEditor(spec.activationDelay, f, actDelay, 0, 5, 6, 7);
        addEditor(spec.deactivationDelay, f, deactDelay, 1, 5, 6, 7);
        break;
    }
}

SignalWindowTab* makeLimitTab(QWidget* parent, const std::function<QWidget*(int editorWidth)>& buildGroup)
{
    auto* tab = new SignalWindowTab(parent);
    const int editorWidth = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999.9  "));
    auto* pageLayout = new QVBoxLayout;
    auto* row = new QHBoxLayout;
    pageLayout->addLayout(row);
    auto* column = new QVBoxLayout;
    row->addLayout(column);
    column->addWidget(buildGroup(editorWidth));
    column->addStretch(1);
    row->addStretch(1);
    pageLayout->addStretch(1);
    tab->setLayout(pageLayout);
    return tab;
}
