#include "SOCOCVCurveEditWidget.h"

#include "ProfileDialogs.h"
#include "ProfilePlotStyle.h"
#include "Tip.h"
#include "ToolTipPlot.h"

#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct DefaultSlot
{
    quint8 soc;
    quint16 ocv; // 0.1 mV
};

// The reference curve the unit ships with; SOC 255 marks an unused slot.
constexpr DefaultSlot kDefaultTable[SOCOCVCurveEditWidget::kSlots] = {
    {0, 28000},   {1, 28660},   {2, 29183},   {3, 29664},   {4, 30118},   {5, 30517},   {6, 30849},
    {7, 31119},   {8, 31354},   {9, 31545},   {10, 31698},  {11, 31827},  {12, 31933},  {16, 32212},
    {23, 32491},  {25, 32534},  {28, 32661},  {30, 32681},  {33, 32781},  {39, 32898},  {41, 32954},
    {54, 33142},  {69, 33275},  {85, 33472},  {91, 33571},  {97, 33639},  {100, 36000}, {255, 10000},
    {255, 10000}, {255, 10000}, {255, 10000}, {255, 10000},
};

// Equal within a few units in the last place, as the bound checks need.
bool almostEqual(double a, double b)
{
    const double d = std::fabs(a - b);
    return d <= 4 * 2.220446e-16 * std::fabs(a + b) || d < std::numeric_limits<double>::min();
}

QString ocvText(double ocv)
{
    return QString::number(ocv, 'f', 3);
}

bool isEndPoint(int soc)
{
    return soc == 0 || soc == 100;
}

} // namespace

SOCOCVCurveEditWidget::SOCOCVCurveEditWidget(int maxPoints, CommitCallback commit)
    : QWidget(nullptr)
    , m_maxPoints(std::clamp(maxPoints, 0, kSlots))
    , m_commit(std::move(commit))
    , m_dialogs(ProfileDialogs::standard())
{
    for (int i = 0; i < m_maxPoints; ++i) {
        if (kDefaultTable[i].soc != 255)
            m_defaults.insert(kDefaultTable[i].soc, kDefaultTable[i].ocv / 10000.0);
    }

    setWindowTitle(tr("Reference SOC-OCV Dependency Curve of Cell"));
    setWindowModality(Qt::ApplicationModal);
    setMinimumSize(800, 400);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->setColumnStretch(1, 1);

    auto* inner = new QGridLayout;
    inner->setContentsMargins(4, 4, 4, 4);
    inner->setSpacing(4);
    grid->addLayout(inner, 0, 0);

    auto tip = [](QWidget* target, const QString& text) { new Tip(target, text, 1, 200, 10000, 0); };

    m_insert = new QPushButton(tr("Insert Point"), this);
    tip(m_insert, tr("Insert curve point value pair row into SOC table"));
    m_remove = new QPushButton(tr("Remove Point"), this);
    m_remove->setEnabled(false);
    tip(m_remove, tr("Remove currently selected value pair from SOC table"));

    m_table = new QTableWidget(0, 2, this);
    m_table->setHorizontalHeaderLabels({tr("SOC, %"), tr("OCV, V")});
    m_table->setFixedWidth(200);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const int columnWidth = (198 - m_table->style()->pixelMetric(QStyle::PM_ScrollBarExtent)) / 2;
    m_table->setColumnWidth(0, columnWidth);
    m_table->setColumnWidth(1, columnWidth);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->setStyleSheet(QStringLiteral("QTableWidget{color: black; background: white;}"));
    m_table->installEventFilter(this);

    m_reset = new QPushButton(tr("Reset Points"), this);
    tip(m_reset, tr("Restore modified data to the original ones"));
    m_resetDefaults = new QPushButton(tr("Reset Points to\nDefault Values"), this);
    tip(m_resetDefaults, tr("Restore data to default values"));
    m_commitButton = new QPushButton(tr("Commit Changes"), this);
    m_commitButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    tip(m_commitButton, tr("Commit changes to BMS"));

    inner->addWidget(m_insert, 0, 0);
    inner->addWidget(m_remove, 1, 0);
    inner->addWidget(m_table, 2, 0);
    inner->setRowStretch(2, 1);
    inner->addWidget(m_reset, 3, 0);
    inner->addWidget(m_resetDefaults, 4, 0);
    inner->addWidget(m_commitButton, 5, 0);

    m_plot = new ToolTipPlot(this);
    ProfilePlotStyle::applyDark(m_plot);
    m_plot->xAxis->setLabel(QStringLiteral("State of Charge, %"));
    m_plot->xAxis->setRange(0, 100);
    m_plot->yAxis->setLabel(QStringLiteral("Open Circuit Voltage, V"));
    m_givenCurve = m_plot->addGraph();
    ProfilePlotStyle::styleCurve(m_givenCurve, QStringLiteral("SOC-OCV original curve"), Qt::magenta, true);
    grid->addWidget(m_plot, 0, 1);

    connect(m_insert, &QPushButton::clicked, this, &SOCOCVCurveEditWidget::insertPoint);
    connect(m_remove, &QPushButton::clicked, this, &SOCOCVCurveEditWidget::removeSelectedPoints);
    connect(m_reset, &QPushButton::clicked, this, &SOCOCVCurveEditWidget::resetPoints);
    connect(m_resetDefaults, &QPushButton::clicked, this, &SOCOCVCurveEditWidget::resetToDefaults);
    connect(m_commitButton, &QPushButton::clicked, this, &SOCOCVCurveEditWidget::commitChanges);
    connect(m_table, &QTableWidget::itemChanged, this, &SOCOCVCurveEditWidget::onItemChanged);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this]() {
        if (m_table->hasFocus())
            m_remove->setEnabled(!m_table->selectionModel()->selectedIndexes().isEmpty());
    });
}

SOCOCVCurveEditWidget::~SOCOCVCurveEditWidget() = default;

void SOCOCVCurveEditWidget::setDialogs(ProfileDialogs* dialogs)
{
    m_dialogs = dialogs ? dialogs : ProfileDialogs::standard();
}

void SOCOCVCurveEditWidget::setMaxPoints(int count)
{
    m_maxPoints = std::clamp(count, 0, int(kSlots));
    updateInsertEnabled();
}

void SOCOCVCurveEditWidget::setPoints(const PointMap& points)
{
    QScopedValueRollback<bool> loading(m_loading, true);
    m_given = points;
    m_modified = points;
    removeModifiedCurve();
    fillTable(points);
    plotPoints(m_given, 0);
    updateInsertEnabled();
    m_modifiedFlag = false;
}

void SOCOCVCurveEditWidget::insertPoint()
{
    if (m_table->rowCount() < m_maxPoints) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setRowHeight(row, kRowHeight);
        m_table->selectRow(row);
        updateInsertEnabled();
    }
    m_modifiedFlag = true;
    ensureModifiedCurve();
    plotPoints(m_modified, 1);
}

void SOCOCVCurveEditWidget::removeSelectedPoints()
{
    QScopedValueRollback<bool> loading(m_loading, true);
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    QList<int> rows;
    bool refused = false;
    for (int i = selected.size() - 1; i >= 0; --i) {
        const QModelIndex& index = selected.at(i);
        if (index.column() != 0 || rows.contains(index.row()))
            continue;
        const QString text = cellText(index.row(), 0).trimmed();
        if (text.isEmpty()) {
            // A row inserted but never filled holds no point: it just goes.
            rows.append(index.row());
            continue;
        }
        const int soc = text.toInt();
        if (isEndPoint(soc)) {
            refused = true;
            continue;
        }
        m_modified.remove(soc);
        rows.append(index.row());
        m_modifiedFlag = true;
    }
    m_table->clearSelection();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        m_table->removeRow(row);

    if (refused)
        m_dialogs->warning(this, tr("Not allowed to remove"), QStringLiteral("SoC 0% and 100% can't be removed, only modified"));

    sortByOcv();
    m_table->viewport()->update();
    if (m_modifiedFlag) {
        ensureModifiedCurve();
        plotPoints(m_modified, 1);
    }
    m_remove->setEnabled(false);
    updateInsertEnabled();
}

void SOCOCVCurveEditWidget::resetPoints()
{
    QScopedValueRollback<bool> loading(m_loading, true);
    m_modifiedFlag = false;
    removeModifiedCurve();
    m_modified = m_given;
    fillTable(m_given);
    plotPoints(m_given, 0);
    updateInsertEnabled();
}

void SOCOCVCurveEditWidget::resetToDefaults()
{
    QScopedValueRollback<bool> loading(m_loading, true);
    removeModifiedCurve();
    m_modifiedFlag = true;
    m_modified = m_defaults;
    fillTable(m_defaults);
    ensureModifiedCurve();
    plotPoints(m_defaults, 1);
    updateInsertEnabled();
}

void SOCOCVCurveEditWidget::commitChanges()
{
    if (m_commit)
        m_commit(m_modified);
}

void SOCOCVCurveEditWidget::onItemChanged(QTableWidgetItem* item)
{
    if (m_loading || !item)
        return;
    // What the editor itself changes while handling this cell is not a user edit.
    QScopedValueRollback<bool> loading(m_loading, true);

    // The point the row stands for while the modified map still holds it. It
    // stays there until a valid replacement is accepted: a refused or cleared
    // cell must not drop a point from the curve unseen.
    const QVariant tag = item->data(Qt::UserRole);
    const int stored = tag.isValid() && m_modified.contains(tag.toInt()) ? tag.toInt() : -1;

    if (item->column() == 0)
        socEdited(item, stored);
    else
        ocvEdited(item, stored);

    if (m_modifiedFlag) {
        ensureModifiedCurve();
        plotPoints(m_modified, 1);
    }
}

void SOCOCVCurveEditWidget::socEdited(QTableWidgetItem* item, int stored)
{
    const int row = item->row();
    const QString back = stored >= 0 ? QString::number(stored) : QString();
    const QString text = item->text().trimmed();
    if (text.isEmpty()) {
        item->setText(back);
        return;
    }
    const int soc = text.toInt(); // not a number reads as 0
    if (stored >= 0 && soc == stored) {
        item->setText(back);
        return;
    }
    if (isEndPoint(stored)) {
        // Moving an end point away removes it from its end.
        m_dialogs->warning(this, tr("Not allowed to remove"), QStringLiteral("SoC 0% and 100% can't be removed, only modified"));
        item->setText(back);
        return;
    }
    if (m_modified.contains(soc)) {
        m_dialogs->warning(this, tr("Duplicated SoC value"), QStringLiteral("Trying to add already existing soc: %1%%").arg(soc));
        reopenCell(item, back);
        return;
    }
    if (soc < 0 || soc > 100) {
        m_dialogs->warning(this, tr("Incorrect SoC value"), QStringLiteral("SOC value should be in range from 0 to 100"));
        reopenCell(item, back);
        return;
    }

    item->setText(QString::number(soc));
    m_modifiedFlag = true;
    ensureModifiedCurve();
    const Qt::ItemFlags open = item->flags();
    item->setFlags(open & ~(Qt::ItemIsSelectable | Qt::ItemIsEditable));

    // An OCV already in the row (typed first, or that of a stored point
    // moving to this SOC) is checked now: no further edit of it would ever
    // store the point. A stored point stays where it was until then.
    QTableWidgetItem* ocv = m_table->item(row, 1);
    if (ocv && !ocv->text().trimmed().isEmpty()) {
        if (stored < 0) {
            ocvEdited(ocv, -1);
        } else if (!ocvAccepted(ocv, stored)) {
            // Refused at the new SOC: the row shows the stored point again.
            item->setFlags(open);
            ocv->setText(ocvText(m_modified.value(stored)));
            reopenCell(item, back);
        }
        return;
    }
    const QPersistentModelIndex next = m_table->model()->index(row, 1);
    QTimer::singleShot(0, this, [this, next]() {
        if (next.isValid()) {
            m_table->setCurrentIndex(next);
            m_table->edit(next);
        }
    });
}

void SOCOCVCurveEditWidget::ocvEdited(QTableWidgetItem* item, int stored)
{
    QString text = item->text();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    if (text != item->text())
        item->setText(text);
    if (text.trimmed().isEmpty()) {
        if (stored >= 0)
            item->setText(ocvText(m_modified.value(stored)));
        return;
    }
    if (cellText(item->row(), 0).trimmed().isEmpty()) {
        // No SOC yet: without one the point would take the 0 % slot. It is
        // checked when the SOC is typed.
        return;
    }
    if (!ocvAccepted(item, stored))
        reopenCell(item, stored >= 0 ? ocvText(m_modified.value(stored)) : QString());
}

bool SOCOCVCurveEditWidget::ocvAccepted(QTableWidgetItem* item, int stored)
{
    const int row = item->row();
    const int soc = cellText(row, 0).trimmed().toInt();
    double ocv = item->text().trimmed().toDouble(); // not a number reads as 0 and is refused
    if (!std::isfinite(ocv))
        ocv = 0; // "inf" would pass the tolerant check against 4.55 V

    // The neighbours of the new point; the stored one it replaces is none.
    PointMap others = m_modified;
    if (stored >= 0)
        others.remove(stored);
    double upper = kHighestOcv;
    double lower = kLowestOcv;
    auto above = others.upperBound(soc);
    if (above != others.end())
        upper = above.value();
    auto below = others.lowerBound(soc);
    if (soc != 0 && below != others.begin())
        lower = std::prev(below).value();

    const bool belowUpper = ocv < upper || (almostEqual(upper, kHighestOcv) && almostEqual(ocv, upper));
    const bool aboveLower = ocv > lower || (almostEqual(lower, kLowestOcv) && almostEqual(ocv, lower));
    if (!belowUpper || !aboveLower) {
        m_dialogs->warning(this, tr("Voltage out of range"),
                           QString::asprintf("Voltage is out of neighboring soc voltage range %0.4fV to %0.4fV", lower, upper));
        return false;
    }

    if (stored >= 0 && stored != soc)
        m_modified.remove(stored);
    m_modified[soc] = ocv;
    tagRow(row, soc);
    sortByOcv();
    m_modifiedFlag = true;
    ensureModifiedCurve();
    return true;
}

void SOCOCVCurveEditWidget::reopenCell(QTableWidgetItem* item, const QString& text)
{
    item->setText(text);
    const QPersistentModelIndex index = m_table->model()->index(item->row(), item->column());
    // After the running edit has closed its editor.
    QTimer::singleShot(0, this, [this, index]() {
        if (index.isValid()) {
            m_table->setCurrentIndex(index);
            m_table->edit(index);
        }
    });
}

void SOCOCVCurveEditWidget::tagRow(int row, const QVariant& soc)
{
    for (int column = 0; column < 2; ++column) {
        if (QTableWidgetItem* cell = m_table->item(row, column))
            cell->setData(Qt::UserRole, soc);
    }
}

QString SOCOCVCurveEditWidget::cellText(int row, int column) const
{
    const QTableWidgetItem* cell = m_table->item(row, column);
    return cell ? cell->text() : QString();
}

void SOCOCVCurveEditWidget::sortByOcv()
{
    // Rows without an OCV sort first, as an empty text does.
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!m_table->item(row, 1))
            m_table->setItem(row, 1, new QTableWidgetItem);
    }
    m_table->sortItems(1, Qt::AscendingOrder);
}

bool SOCOCVCurveEditWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        if (m_table->hasFocus())
            removeSelectedPoints();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SOCOCVCurveEditWidget::fillTable(const PointMap& points)
{
    m_table->setRowCount(0);
    m_table->setHorizontalHeaderLabels({tr("SOC, %"), tr("OCV, V")});
    for (auto it = points.cbegin(); it != points.cend(); ++it) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setRowHeight(row, kRowHeight);
        auto* soc = new QTableWidgetItem(QString::number(it.key()));
        auto* ocv = new QTableWidgetItem(ocvText(it.value()));
        for (QTableWidgetItem* cell : {soc, ocv}) {
            cell->setTextAlignment(Qt::AlignCenter);
            cell->setData(Qt::UserRole, it.key());
        }
        // The curve's ends keep their SOC; only their OCV can be modified.
        if (isEndPoint(it.key()))
            soc->setFlags(soc->flags() & ~Qt::ItemIsEditable);
        m_table->setItem(row, 0, soc);
        m_table->setItem(row, 1, ocv);
    }
}

void SOCOCVCurveEditWidget::plotPoints(const PointMap& points, int curve)
{
    QCPGraph* graph = curve == 0 ? m_givenCurve : m_modifiedCurve;
    if (graph) {
        QVector<double> keys;
        QVector<double> values;
        for (auto it = points.cbegin(); it != points.cend(); ++it) {
            keys.append(it.key());
            values.append(it.value());
        }
        graph->setData(keys, values, true);
    }
    m_plot->rescaleAxes();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void SOCOCVCurveEditWidget::ensureModifiedCurve()
{
    if (m_modifiedCurve)
        return;
    m_modifiedCurve = m_plot->addGraph();
    ProfilePlotStyle::styleCurve(m_modifiedCurve, QStringLiteral("SOC-OCV modified curve"), Qt::cyan, true);
}

void SOCOCVCurveEditWidget::removeModifiedCurve()
{
    if (!m_modifiedCurve)
        return;
    m_plot->removeGraph(m_modifiedCurve);
    m_modifiedCurve = nullptr;
}

void SOCOCVCurveEditWidget::updateInsertEnabled()
{
    m_insert->setEnabled(m_table->rowCount() < m_maxPoints);
}
