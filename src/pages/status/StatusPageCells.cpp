#include "StatusPage.h"

#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "GroupedCellsGraph.h"
#include "Param.h"
#include "SignalWindowTab.h"
#include "myTabWidget.h"

#include <QGridLayout>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kSplitterKey = "GraphSplitterSize";

void setTemperatureColors(CCellsGraph* g)
{
    g->setAlarmColoring(true);
    g->setAlarmBlending(true);
    g->setAlarmRange(1000, 4000);
    g->setBarColors(QColor(185, 5, 4), QColor(212, 129, 128), QColor(153, 1, 0));
    g->setAlarmColors(QColor(0, 180, 204), QColor(127, 207, 218), QColor(0, 140, 158));
}

// The value scale: its limits, the least span it shows, the least span of
// the bars (around their values) and whether it stays at the limits.
void setScale(CCellsGraph* g, float rangeMin, float rangeMax, float minSpan, float minHalfSpan, bool fixedRange)
{
    g->rangeMin = rangeMin;
    g->rangeMax = rangeMax;
    g->minSpan = minSpan;
    g->minHalfSpan = minHalfSpan;
    g->fixedRange = fixedRange;
}

} // namespace

SignalWindowTab* StatusPage::createCellsTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    graphSplitter = new QSplitter(Qt::Vertical);
    auto* outer = new QGridLayout;
    outer->setSpacing(0);
    auto* vGrid = new QGridLayout;
    auto* tGrid = new QGridLayout;
    auto* bGrid = new QGridLayout;

    // One summary value: caption right-aligned at column col, value beside it.
    auto summary = [this](QGridLayout* grid, int row, int col, const QString& caption, const char* value,
                          const char* sentence, int field, int offset, double scale, int decimals, const char* unit,
                          int group) {
        Param* p = nullptr;
        QWidget* v = addStatusParam(QLatin1String(value), QLatin1String(sentence), field,
                                    ParamValueType::UnsignedScaled, offset, scale, decimals, ParamWidgetKind::Label, &p);
        p->unit = QString::fromUtf8(unit);
        auto* c = new QLabel(caption);
        if (group >= 0) {
            addToWidgetGroup(c, group);
            addToWidgetGroup(v, group);
        }
        grid->addWidget(c, row, col, Qt::AlignRight);
        grid->addWidget(v, row, col + 1);
    };

    // Voltages.
    vGrid->addWidget(new QLabel(tr("Voltages")), 0, 0, 1, 4, Qt::AlignLeft);
    summary(vGrid, 1, 0, tr("Min:"), "Min Voltage", "BV1", 1, 200, 0.01, 2, " V", -1);
    summary(vGrid, 1, 2, tr("Max:"), "Max Voltage", "BV1", 2, 200, 0.01, 2, " V", -1);
    summary(vGrid, 1, 4, tr("Avg:"), "Avg Voltage", "BV1", 3, 200, 0.01, 2, " V", -1);
    summary(vGrid, 1, 6, tr("Total:"), "Total Voltage", "BV1", 4, 0, 0.01, 2, " V", -1);
    cellVoltageGraph = static_cast<CCellsGraph*>(addStatusParam(QStringLiteral("Cells Voltages"),
                                                                QStringLiteral("BV2"), 3, ParamValueType::Cells, 200,
                                                                0.01, 3, ParamWidgetKind::CellsGraph, nullptr));
    setScale(cellVoltageGraph, 2.0f, 5.0f, 0.5f, 0.05f, false);
    cellVoltageGraph->decimals = {2};
    cellVoltageGraph->units = QStringList{QStringLiteral(" V")};
    cellVoltageGraph->setAlarmColoring(true);
    cellVoltageGraph->setAlarmBlending(true);
    cellVoltageGraph->setAlarmRange(280, 365);
    cellVoltageGraph->setWireBreakMarks(true);
    cellVoltageGraph->setMinimumHeight(60);
    cellVoltageGraph->setEnabled(true);
    vGrid->addWidget(cellVoltageGraph, 2, 0, 1, 8);
    vGrid->setRowStretch(2, 1);

    // Temperatures: two alternative views, one value a cell or internal and
    // external side by side.
    tGrid->addWidget(new QLabel(tr("Temperatures")), 0, 0, 1, 4, Qt::AlignLeft | Qt::AlignTop);
    tGrid->setRowMinimumHeight(0, 20);
    const QString deg = QString::fromUtf8(" \u00b0C");
    const QByteArray degUtf8 = deg.toUtf8();
    struct TRow
    {
        int row;
        int group;
        const char* sentence;
        QString captions[3];
    };
    const TRow tRows[] = {
        {1, 3, "BT1", {tr("Internal Min:"), tr("Internal Max:"), tr("Internal Avg:")}},
        {2, 2, "BT1", {tr("Min:"), tr("Max:"), tr("Avg:")}},
        {3, 3, "BT3", {tr("External Min:"), tr("External Max:"), tr("External Avg:")}},
    };
    static const char* const tValues[3] = {"Min Temperature", "Max Temperature", "Avg Temperature"};
    for (const TRow& r : tRows)
        for (int i = 0; i < 3; ++i)
            summary(tGrid, r.row, 2 * i, r.captions[i], tValues[i], r.sentence, i + 1, -100, 1.0, 0,
                    degUtf8.constData(), r.group);

    auto* tBox = new QVBoxLayout;
    groupedTemperatureGraph = static_cast<GroupedCellsGraph*>(
        addStatusParam(QStringLiteral("Cells Temperatures"), QStringLiteral("BT2"), 3, ParamValueType::Cells, -100, 1.0,
                       0, ParamWidgetKind::GroupedCellsGraph, nullptr));
    setScale(groupedTemperatureGraph, -40.0f, 150.0f, 10.0f, 4.0f, false);
    groupedTemperatureGraph->setGroupSize(2);
    groupedTemperatureGraph->setMinimumHeight(60);
    setTemperatureColors(groupedTemperatureGraph);
    addStatusParamToWidget(QStringLiteral("Cells Temperatures"), QStringLiteral("BT4"), 3, ParamValueType::Cells, -100,
                           1.0, 0, ParamWidgetKind::GroupedCellsGraph, groupedTemperatureGraph);
    groupedTemperatureGraph->valueFactors = {1.0f, 1.0f, 1.0f};
    groupedTemperatureGraph->decimals = {0, 0, 0};
    groupedTemperatureGraph->units = QStringList{deg, deg};
    groupedTemperatureGraph->valueLabels = QStringList{tr("Internal "), tr("External ")};
    addToWidgetGroup(groupedTemperatureGraph, 3);
    tBox->addWidget(groupedTemperatureGraph);

    cellTemperatureGraph = static_cast<CCellsGraph*>(
        addStatusParam(QStringLiteral("Cells Temperatures"), QStringLiteral("BT2"), 3, ParamValueType::Cells, -100, 1.0,
                       0, ParamWidgetKind::CellsGraph, nullptr));
    setScale(cellTemperatureGraph, -50.0f, 100.0f, 10.0f, 4.0f, false);
    cellTemperatureGraph->units = QStringList{deg};
    setTemperatureColors(cellTemperatureGraph);
    cellTemperatureGraph->setMinimumHeight(60);
    addToWidgetGroup(cellTemperatureGraph, 2);
    tBox->addWidget(cellTemperatureGraph);
    tGrid->addLayout(tBox, 5, 0, 1, 8);
    tGrid->setRowStretch(5, 1);

    // Balancing: the rates are shown; the currents are fed but stay hidden.
    bGrid->addWidget(new QLabel(tr("Balancing Currents")), 0, 0, 1, 4, Qt::AlignLeft | Qt::AlignTop);
    bGrid->setRowMinimumHeight(0, 20);
    const double rate = 100.0 / 255.0;
    for (int group : {5, 4}) {
        const int row = group == 5 ? 1 : 2;
        summary(bGrid, row, 0, tr("Min Rate:"), "Min Balancing", "BB1", 1, 0, rate, 0, " %", group);
        summary(bGrid, row, 2, tr("Max Rate:"), "Max Balancing", "BB1", 2, 0, rate, 0, " %", group);
        summary(bGrid, row, 4, tr("Avg Rate:"), "Avg Balancing", "BB1", 3, 0, rate, 0, " %", group);
        summary(bGrid, row, 6, tr("Threshold:"), "Balancing Threshold", "BB1", 5, 200, 0.01, 2, " V", group);
    }
    summary(bGrid, 3, 0, tr("Min Current:"), "Min Balancing Current", "BB3", 1, 0, 0.01, 2, " A", 5);
    summary(bGrid, 3, 2, tr("Avg Current:"), "Avg Balancing Current", "BB3", 3, 0, 0.01, 2, " A", 5);
    summary(bGrid, 3, 4, tr("Max Current:"), "Max Balancing Current", "BB3", 2, 0, 0.01, 2, " A", 5);

    auto* bBox = new QVBoxLayout;
    groupedBalancingGraph = static_cast<GroupedCellsGraph*>(
        addStatusParam(QStringLiteral("Cells Balancing"), QStringLiteral("BB2"), 3, ParamValueType::Cells, 0, rate, 0,
                       ParamWidgetKind::GroupedCellsGraph, nullptr));
    setScale(groupedBalancingGraph, 0.0f, 99.0f, 20.0f, 50.0f, true);
    groupedBalancingGraph->units = QStringList{QStringLiteral(" %")};
    groupedBalancingGraph->valueLabels = QStringList{tr("Balancing Rate ")};
    groupedBalancingGraph->setGroupSize(2);
    groupedBalancingGraph->setAlarmColoring(false);
    groupedBalancingGraph->setAlarmBlending(false);
    groupedBalancingGraph->setMinimumHeight(60);
    addStatusParamToWidget(QStringLiteral("Cells Balancing Currents"), QStringLiteral("BB4"), 3, ParamValueType::Cells,
                           0, 0.01, 2, ParamWidgetKind::GroupedCellsGraph, groupedBalancingGraph);
    groupedBalancingGraph->valueFactors = {1.0f, 100.0f};
    groupedBalancingGraph->decimals = {0, 2};
    groupedBalancingGraph->units = QStringList{QStringLiteral(" %"), QStringLiteral(" A")};
    groupedBalancingGraph->valueLabels = QStringList{tr("Balancing Rate "), tr("Balancing Current ")};
    addToWidgetGroup(groupedBalancingGraph, 5);
    bBox->addWidget(groupedBalancingGraph);

    cellBalancingGraph = static_cast<CCellsGraph*>(addStatusParam(QStringLiteral("Cells Balancing"),
                                                                  QStringLiteral("BB2"), 3, ParamValueType::Cells, 0,
                                                                  rate, 0, ParamWidgetKind::CellsGraph, nullptr));
    setScale(cellBalancingGraph, 0.0f, 99.0f, 20.0f, 50.0f, true);
    cellBalancingGraph->units = QStringList{QStringLiteral(" %")};
    cellBalancingGraph->setMinimumHeight(60);
    addToWidgetGroup(cellBalancingGraph, 4);
    bBox->addWidget(cellBalancingGraph);
    bGrid->addLayout(bBox, 5, 0, 1, 8);
    bGrid->setRowStretch(5, 1);

    for (QGridLayout* grid : {vGrid, tGrid, bGrid}) {
        auto* w = new QWidget;
        grid->setContentsMargins(2, 2, 2, 2);
        w->setLayout(grid);
        graphSplitter->addWidget(w);
    }
    connect(graphSplitter, &QSplitter::splitterMoved, this, [this]() {
        QSettings().setValue(QLatin1String(kSplitterKey), graphSplitter->saveState());
    });
    outer->addWidget(graphSplitter, 1, 0);
    const QVariant saved = QSettings().value(QLatin1String(kSplitterKey));
    if (saved.isValid())
        graphSplitter->restoreState(saved.toByteArray());
    tab->setLayout(outer);

    setWidgetGroupVisible(3, false);
    setWidgetGroupVisible(2, true);
    setWidgetGroupVisible(5, false);
    setWidgetGroupVisible(4, true);
    connect(groupedTemperatureGraph, &CCellsGraph::dataUpdated, this, &StatusPage::updateTemperatureGroups,
            Qt::DirectConnection);
    return tab;
}

// --- the cells timer gate and the cell polling cycle

bool StatusPage::parametersLoadingNow() const
{
    return hooks.parametersLoading && hooks.parametersLoading();
}

void StatusPage::slotCurrentPageChanged(int page)
{
    lastPage = page;
    runCellsGate(page);
}

void StatusPage::slotCurrentTabChanged(int)
{
    runCellsGate(0);
}

void StatusPage::slotParametersLoadingChanged()
{
    runCellsGate(lastPage);
}

void StatusPage::runCellsGate(int page)
{
    loadingSeen = parametersLoadingNow();
    const int cellsIndex = tabWidget->isTabDocked(0) ? 1 : 0;
    const bool visible = (page == 0 && tabWidget->currentIndex() == cellsIndex) || !tabWidget->isTabDocked(1);
    if (visible && !loadingSeen)
        cellsTimer->start(int(cellsPeriod) * 100);
    else if (cellsTimer->isActive())
        cellsTimer->stop();
}

void StatusPage::requestCells(const char* name)
{
    sendSentence(QLatin1String(name) + QLatin1Char(','), QStringLiteral("?"), 20, 200);
}

void StatusPage::slotCellsTimerTimeoutEvent()
{
    if (!connected) {
        moduleVersionRequests = 0;
        return;
    }
    const int s = cellsStep;
    cellsStep = s + 1;
    switch (s) {
    case 0:
        if (moduleVersionRequests <= 4) {
            requestCells("CMV1");
            ++moduleVersionRequests;
        }
        break;
    case 1:
        requestCells("BW1");
        break;
    case 2:
        requestCells("BV2");
        break;
    case 3:
        requestCells("BT2");
        break;
    case 4:
        requestCells("BB2");
        if (!isFeatureSupportedNow(34))
            cellsStep = 0;
        break;
    case 5:
        requestCells("BT4");
        if (!masterSlaveExtColumns)
            cellsStep = 0;
        break;
    case 6:
        requestCells("BB4");
        cellsStep = 0;
        break;
    default:
        cellsStep = 0;
        break;
    }
}

void StatusPage::updateTemperatureGroups()
{
    int total = 0;
    int invalid = 0;
    for (int s = 0; s < cellStringCount(); ++s) {
        const int n = cellsInString(s);
        total += n;
        for (int p = 0; p < n; ++p)
            if (!groupedTemperatureGraph->isValid(s, p, 1))
                ++invalid;
    }
    if (invalid != total && isFeatureSupportedNow(34)) {
        if (isWidgetGroupVisible(2)) {
            setWidgetGroupVisible(2, false);
            setWidgetGroupVisible(3, true);
        }
    } else if (isWidgetGroupVisible(3)) {
        setWidgetGroupVisible(2, true);
        setWidgetGroupVisible(3, false);
    }
}
