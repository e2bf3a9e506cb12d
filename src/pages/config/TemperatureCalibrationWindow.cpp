#include "TemperatureCalibrationWindow.h"

#include "ConfigPage.h"
#include "Tip.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>

#include <qcustomplot.h>

using namespace TemperatureCalibration;

namespace {
const QColor kEmptyCell(255, 153, 153, 50);
constexpr int kCellCountParam = 0x0100;

QPushButton* flatButton(const QString& text, QWidget* parent, QSizePolicy::Policy vertical)
{
    auto* b = new QPushButton(text, parent);
    b->setContentsMargins(0, 0, 0, 0);
    b->setSizePolicy(QSizePolicy::MinimumExpanding, vertical);
    return b;
}

QGroupBox* smallGroup(const QString& title, QWidget* parent)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QStringLiteral("not_bold"));
    g->setStyleSheet(g->styleSheet() + QStringLiteral("QGroupBox {font-size: 8pt; color: gray}"));
    return g;
}
} // namespace

TemperatureCalibrationWindow::TemperatureCalibrationWindow(ConfigPage* page) : QWidget(nullptr), m_page(page)
{
    m_set = curveSetA();
    resize(600, 400);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setWindowTitle(tr("External Temperature Calibration"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->setColumnStretch(1, 1);
    auto* left = new QWidget(this);
    grid->addWidget(left, 0, 0);
    m_plot = new QCustomPlot(this);
    grid->addWidget(m_plot, 0, 1);
    buildControls(left);
    buildCurveDataWindow();
    styleAxes();

    QCPGraph* goal = m_plot->addGraph();
    goal->setName(QStringLiteral("Thermistor curve (Goal)."));
    goal->setAntialiased(true);
    goal->setPen(QPen(Qt::magenta, 2));
    m_plot->xAxis->setLabel(QStringLiteral("10-bit ADC"));
    m_plot->xAxis->setRange(0, 1023);
    m_plot->yAxis->setLabel(QStringLiteral("Temperature, °C"));
    m_plot->yAxis->setRange(-50, 160);
    for (int i = 0; i < m_set.adcCodes.size(); ++i) {
        m_goalKeys.append(m_set.adcCodes.at(i));
        m_goalValues.append(m_set.temperatures.at(i));
    }
    goal->setData(m_goalKeys, m_goalValues);
    m_plot->rescaleAxes(false);
}

TemperatureCalibrationWindow::~TemperatureCalibrationWindow()
{
    delete m_dataWindow;
}

void TemperatureCalibrationWindow::buildControls(QWidget* left)
{
    auto* leftGrid = new QGridLayout(left);
    leftGrid->setRowStretch(2, 1);

    QGroupBox* controls = smallGroup(tr("Controls"), left);
    leftGrid->addWidget(controls, 0, 0, 1, 2);
    auto* cg = new QGridLayout(controls);
    QPushButton* calibrateButton = flatButton(tr("Calibrate"), controls, QSizePolicy::MinimumExpanding);
    QPushButton* resetButton = flatButton(tr("Reset calibration"), controls, QSizePolicy::MinimumExpanding);
    QPushButton* curveButton = flatButton(tr("Enter curve data"), controls, QSizePolicy::MinimumExpanding);
    cg->addWidget(calibrateButton, 0, 0);
    cg->addWidget(resetButton, 1, 0);
    cg->addWidget(curveButton, 2, 0);
    cg->addWidget(new QLabel(tr("Module:"), controls), 3, 0);
    m_moduleBox = new QComboBox(controls);
    m_moduleBox->setFixedWidth(80);
    m_moduleBox->addItems(moduleNames());
    cg->addWidget(m_moduleBox, 3, 1, Qt::AlignRight);
    auto* idLabel = new QLabel(tr("Module ID:"), controls);
    cg->addWidget(idLabel, 4, 0);
    m_moduleIdEdit = new QLineEdit(controls);
    m_moduleIdEdit->setFixedWidth(40);
    m_moduleIdEdit->setMaxLength(5);
    m_moduleIdStyle = m_moduleIdEdit->styleSheet();
    cg->addWidget(m_moduleIdEdit, 4, 1, Qt::AlignRight);
    auto* allLabel = new QLabel(tr("Select all"), controls);
    cg->addWidget(allLabel, 5, 0);
    m_selectAll = new QCheckBox(controls);
    cg->addWidget(m_selectAll, 5, 1, Qt::AlignRight);

    new Tip(calibrateButton, tr("Sends new calibration values to specified module"), 1, 200, 10000, 0);
    new Tip(resetButton, tr("Restores calibration values to default ones"), 3, 200, 10000, 0);
    new Tip(curveButton,
            tr("This function lets you to import your own negative temperature coefficient (NTC) type thermistor "
               "values.<br>Insert resistance values under 'Resistance' column corresponding to temperature and "
               "hit 'Confirm' button.<br>After importing new curve values, you can calibrate its curve by "
               "dragging coefficient sliders or simply <br>putting values inside boxes near them."),
            3, 600, 20000, 0);
    new Tip(idLabel, tr("Specify ID value of desired module. <br>Calibration will be performed only on this module."),
            3, 200, 10000, 0);
    new Tip(allLabel, tr("Determines whether calibration should be performed on all modules or not."), 3, 200,
            10000, 0);

    QGroupBox* coeffs = smallGroup(tr("Coefficients"), left);
    leftGrid->addWidget(coeffs, 1, 0, 1, 2);
    auto* kg = new QGridLayout(coeffs);
    kg->setColumnStretch(1, 1);
    const auto row = [&](int r, const QString& name, int lo, int hi, int start, const QString& text, int maxLen,
                         QSlider** slider, QLineEdit** edit) {
        kg->addWidget(new QLabel(name, coeffs), r, 0);
        *slider = new QSlider(Qt::Horizontal, coeffs);
        (*slider)->setTickInterval(1);
        (*slider)->setRange(lo, hi);
        (*slider)->setValue(start);
        kg->addWidget(*slider, r, 1);
        *edit = new QLineEdit(text, coeffs);
        (*edit)->setFixedWidth(40);
        (*edit)->setMaxLength(maxLen);
        kg->addWidget(*edit, r, 2);
    };
    row(0, QStringLiteral("β"), 1000, 1150, 1000, QStringLiteral("1"), 5, &m_beta, &m_betaEdit);
    row(1, QStringLiteral("γ"), 1000, 1150, 1000, QStringLiteral("1"), 5, &m_gamma, &m_gammaEdit);
    row(2, QStringLiteral("Δ"), -128, 127, 0, QStringLiteral("0"), 4, &m_delta, &m_deltaEdit);

    connect(calibrateButton, &QPushButton::clicked, this, &TemperatureCalibrationWindow::calibrate);
    connect(resetButton, &QPushButton::clicked, this, &TemperatureCalibrationWindow::resetCalibration);
    connect(curveButton, &QPushButton::clicked, this, [this] { m_dataWindow->show(); });
    connect(m_selectAll, &QCheckBox::stateChanged, this,
            [this](int state) { m_moduleIdEdit->setEnabled(state != Qt::Checked); });
    for (auto pair : {std::make_pair(m_beta, m_betaEdit), std::make_pair(m_gamma, m_gammaEdit)}) {
        QSlider* slider = pair.first;
        QLineEdit* edit = pair.second;
        connect(slider, &QSlider::valueChanged, this, [this, edit](int v) {
            edit->setText(QString::number(v / 1000.0, 'g', 6));
            refreshCurrentCurve();
        });
        connect(edit, &QLineEdit::editingFinished, this,
                [slider, edit] { slider->setValue(roundHalfUp(edit->text().toDouble() * 1000.0)); });
    }
    connect(m_delta, &QSlider::valueChanged, this, [this](int v) {
        m_deltaEdit->setText(QString::number(v));
        refreshCurrentCurve();
    });
    connect(m_deltaEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        bool ok = false;
        const int v = text.toInt(&ok, 10);
        m_delta->setValue(ok ? v : 0);
    });
    // Items are in before the connection: building does not load a set.
    connect(m_moduleBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TemperatureCalibrationWindow::slotCellModuleChanged);
}

void TemperatureCalibrationWindow::buildCurveDataWindow()
{
    m_dataWindow = new QWidget(nullptr, Qt::Dialog);
    m_dataWindow->setWindowModality(Qt::ApplicationModal);
    m_dataWindow->setFixedWidth(281);
    m_dataWindow->setWindowTitle(tr("Temperature Curve Data"));
    auto* grid = new QGridLayout(m_dataWindow);
    grid->setRowStretch(0, 1);
    m_table = new QTableWidget(180, 2, m_dataWindow);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Temperature, °C"), QStringLiteral("Resistance, Ω")});
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font = QApplication::font();
    font.setPixelSize(12);
    m_table->setFont(font);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(16);
    m_table->setColumnWidth(0, 120);
    m_table->setColumnWidth(1, 120);
    grid->addWidget(m_table, 0, 0, 1, 3);
    QPushButton* confirm = flatButton(tr("Confirm"), m_dataWindow, QSizePolicy::Fixed);
    QPushButton* clear = flatButton(tr("Clear"), m_dataWindow, QSizePolicy::Fixed);
    QPushButton* reset = flatButton(tr("Reset"), m_dataWindow, QSizePolicy::Fixed);
    grid->addWidget(confirm, 1, 0);
    grid->addWidget(clear, 1, 1);
    grid->addWidget(reset, 1, 2);
    fillTable();
    connect(confirm, &QPushButton::clicked, this, &TemperatureCalibrationWindow::refreshGoalCurve);
    connect(clear, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < pointCount(); ++i)
            m_table->item(i, 1)->setText(QString());
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < pointCount(); ++i)
            m_table->item(i, 1)->setText(QString::number(m_set.resistances.at(i)));
    });
}

void TemperatureCalibrationWindow::styleAxes()
{
    const QFont labelFont(QStringLiteral("Helvetica Neue"), 8);
    for (QCPAxis* axis : {m_plot->xAxis, m_plot->yAxis}) {
        axis->setBasePen(QPen(Qt::white, 1));
        axis->setTickPen(QPen(Qt::white, 1));
        axis->setSubTickPen(QPen(Qt::white, 1));
        axis->setTickLabelColor(Qt::white);
        axis->setLabelColor(Qt::white);
        axis->setLabelFont(labelFont);
        axis->setUpperEnding(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));
        axis->grid()->setPen(QPen(QColor(140, 140, 140), 1, Qt::DotLine));
        axis->grid()->setSubGridPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
        axis->grid()->setSubGridVisible(true);
        axis->grid()->setZeroLinePen(Qt::NoPen);
    }
    QLinearGradient gradient(0, 0, 0, 350);
    gradient.setColorAt(0, QColor(60, 60, 60));
    gradient.setColorAt(1, QColor(30, 30, 30));
    m_plot->setBackground(QBrush(gradient));
    m_plot->axisRect()->setBackground(QBrush(gradient));
    m_plot->legend->setFont(labelFont);
    m_plot->legend->setBrush(QBrush(Qt::white));
    m_plot->legend->setMargins(QMargins(0, 0, 0, 0));
    m_plot->legend->setRowSpacing(0);
    m_plot->legend->setColumnSpacing(0);
    m_plot->legend->setVisible(true);
}

void TemperatureCalibrationWindow::fillTable()
{
    m_table->clearContents();
    m_table->setRowCount(pointCount());
    for (int i = 0; i < pointCount(); ++i) {
        auto* t = new QTableWidgetItem(QString::number(m_set.temperatures.at(i)));
        t->setTextAlignment(Qt::AlignCenter);
        t->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        auto* r = new QTableWidgetItem(QString::number(m_set.resistances.at(i)));
        r->setTextAlignment(Qt::AlignCenter);
        r->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
        m_table->setItem(i, 0, t);
        m_table->setItem(i, 1, r);
    }
}

void TemperatureCalibrationWindow::openWindow()
{
    show();
    m_plot->rescaleAxes(false);
    m_plot->replot(QCustomPlot::rpRefreshHint);
}

QPushButton* TemperatureCalibrationWindow::button(const QString& text) const
{
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    for (QPushButton* b : m_dataWindow->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

Coefficients TemperatureCalibrationWindow::coefficients() const
{
    return Coefficients{m_beta->value(), m_gamma->value(), m_delta->value()};
}

void TemperatureCalibrationWindow::resetCalibration()
{
    m_beta->setValue(1000);
    m_gamma->setValue(1000);
    m_delta->setValue(0);
}

void TemperatureCalibrationWindow::slotCellModuleChanged(int index)
{
    m_set = curveSetForModule(index);
    m_goalKeys.clear();
    m_goalValues.clear();
    for (int i = 0; i < pointCount(); ++i) {
        m_goalKeys.append(m_set.adcCodes.at(i));
        m_goalValues.append(m_set.temperatures.at(i));
    }
    m_plot->graph(0)->setData(m_goalKeys, m_goalValues);
    fillTable();
    refreshCurrentCurve();
    refreshGoalCurve();
}

// Two neighbouring keys on the same ADC code leave the point out.
void TemperatureCalibrationWindow::refreshGoalCurve()
{
    QVector<double> keys, values;
    bool anyEmpty = false;
    for (int i = 0; i < pointCount(); ++i) {
        QTableWidgetItem* r = m_table->item(i, 1);
        if (!r || r->text().isEmpty()) {
            if (r)
                r->setBackground(kEmptyCell);
            anyEmpty = true;
            continue;
        }
        keys.append(adcPosition(r->text().toDouble(), m_set.pullUp));
        values.append(m_table->item(i, 0)->text().toDouble());
        r->setBackground(Qt::white);
    }
    if (anyEmpty)
        return;
    m_dataWindow->hide();
    m_goalKeys.clear();
    m_goalValues.clear();
    for (int i = 0; i < keys.size(); ++i) {
        int t = 0;
        if (curveValue(keys, m_set.temperatures, i, false, Coefficients{}, &t)) {
            m_goalKeys.append(keys.at(i));
            m_goalValues.append(t);
        }
    }
    m_plot->graph(0)->data()->clear();
    m_plot->graph(0)->setData(m_goalKeys, m_goalValues);
    m_plot->rescaleAxes(false);
    m_plot->replot(QCustomPlot::rpRefreshHint);
}

void TemperatureCalibrationWindow::refreshCurrentCurve()
{
    ++m_currentRefreshes;
    QVector<double> keys;
    bool anyEmpty = false;
    for (int i = 0; i < pointCount(); ++i) {
        QTableWidgetItem* r = m_table->item(i, 1);
        if (!r || r->text().isEmpty()) {
            if (r)
                r->setBackground(kEmptyCell);
            anyEmpty = true;
            continue;
        }
        r->setBackground(Qt::white);
        keys.append(adcPosition(m_set.resistances.at(i), m_set.pullUp));
    }
    if (anyEmpty)
        return;
    m_dataWindow->hide();
    const Coefficients c = coefficients();
    QVector<double> outKeys, outValues;
    for (int i = 0; i < keys.size(); ++i) {
        int t = 0;
        if (curveValue(keys, m_set.temperatures, i, true, c, &t)) {
            outKeys.append(keys.at(i));
            outValues.append(t);
        }
    }
    // The two end points are left out.
    if (outKeys.size() >= 2) {
        outKeys.removeFirst();
        outKeys.removeLast();
        outValues.removeFirst();
        outValues.removeLast();
    }
    m_currentKeys = outKeys;
    m_currentValues = outValues;
    if (m_plot->graphCount() == 1)
        m_plot->addGraph();
    QCPGraph* g = m_plot->graph(1);
    g->setName(QStringLiteral("Calibration thermistor curve (Current)"));
    g->removeFromLegend();
    g->addToLegend();
    g->data()->clear();
    g->setData(m_currentKeys, m_currentValues);
    g->setAntialiased(true);
    g->setPen(QPen(Qt::cyan, 2));
    m_plot->rescaleAxes(false);
    m_plot->replot(QCustomPlot::rpRefreshHint);
}

// The border rule replaces the previous one, so the style sheet does not
// grow with every send.
void TemperatureCalibrationWindow::setModuleIdBorder(const QString& rule)
{
    m_moduleIdEdit->setStyleSheet(m_moduleIdStyle + rule);
}

void TemperatureCalibrationWindow::calibrate()
{
    unsigned id = 0;
    if (!m_selectAll->isChecked()) {
        bool ok = false;
        const int typed = m_moduleIdEdit->text().toInt(&ok, 10);
        const long long cells = m_page ? m_page->paramValue(kCellCountParam) : 0;
        if (!ok || typed < 1 || typed > cells) {
            setModuleIdBorder(QStringLiteral("QLineEdit {border: 1px solid red;}"));
            return;
        }
        id = unsigned(typed);
    }
    // Through the page's guarded send: nothing goes out during a firmware
    // update.
    const QString parameters = tc2Parameters(id, coefficients());
    if (m_send)
        m_send(QStringLiteral("TC2,"), parameters);
    else if (m_page)
        m_page->sendSentence(QStringLiteral("TC2,"), parameters, 20, 200);
    setModuleIdBorder(QStringLiteral("QLineEdit {border: 1px solid lightgray;}"));
}
