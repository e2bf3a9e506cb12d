#include "SocCustomProfile.h"

#include "CellModelParamHost.h"
#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "ProfileDialogs.h"
#include "TemperatureDependencyEditWidget.h"
#include "Tip.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopedValueRollback>

#include <cfloat>
#include <cmath>

namespace {

// Parameter widget kinds and value types of the configuration page.
constexpr int kLineEdit = 1;
constexpr int kLineEditG = 4;
constexpr int kCheckBox = 7;
constexpr int kPlainNumber = 2;
constexpr int kRealNumber = 6;
constexpr uint32_t kNoHexLow = 0;
constexpr uint32_t kNoHexHigh = 0xFFFFFFFFu;

constexpr int kMsdFeature = 111;
constexpr int kMsdEnableId = 0x1608;
constexpr int kEstimatorDebugId = 0x2001;

// The temperature coefficients C1..C5 as the unit keeps them: a range and
// the step of one raw unit. The editor counts in the same steps, so every
// value it offers is one the unit stores as it is.
struct Coefficient
{
    const char* name;
    const char* power; // UTF-8
    double range;
    double step;
    int decimals; // of the step
};
constexpr Coefficient kCoefficients[5] = {
    {"c1", "·t", 0.5, 0.1, 1},
    {"c2", "·t²", 0.05, 0.01, 2},
    {"c3", "·t³", 0.0005, 0.0001, 4},
    {"c4", "·t⁴", 0.00005, 0.00001, 5},
    {"c5", "·t⁵", 0.00005, 0.00001, 5},
};

// A SOC slot's text as a whole number; a text shown with decimals still
// reads as its value, not as 0.
int socFromText(const QString& text)
{
    bool ok = false;
    const int soc = text.trimmed().toInt(&ok);
    if (ok)
        return soc;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && std::fabs(value) < 1e6 ? int(std::lround(value)) : 0;
}

void tip(QWidget* target, const QString& text, int placement)
{
    new Tip(target, text, placement, 200, 10000, 0);
}

} // namespace

SocCustomProfile::SocCustomProfile(CellModelParamHost* host, QWidget* parent)
    : QWidget(parent)
    , m_host(host)
    , m_dialogs(ProfileDialogs::standard())
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);

    m_curveEditor = new SOCOCVCurveEditWidget(kCurvePoints, [this](const SOCOCVCurveEditWidget::PointMap& points) {
        commitCurve(points);
    });
    m_curveEditor->hide();

    QVector<TemperatureCoefficientSpec> coefficients;
    for (const Coefficient& c : kCoefficients)
        coefficients.append({QString::fromLatin1(c.name), QString::fromUtf8(c.power), -c.range, c.range, c.decimals});
    m_temperatureEditor = new TemperatureDependencyEditWidget(
        QStringLiteral("SoC"), QStringLiteral("%"), coefficients, &SocCustomProfile::evaluateTemperature,
        [this](const QVector<double>& c) { commitTemperatureCoefficients(c); });
    m_temperatureEditor->setValueRange(0, 150);
    m_temperatureEditor->setValueAt20(100);
    m_temperatureEditor->hide();

    const int editorWidth = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("99999999.9 "));
    grid->addWidget(buildCellModelPanel(editorWidth), 0, 0);
    grid->addWidget(buildTuningPanel(editorWidth), 0, 1);
}

SocCustomProfile::~SocCustomProfile()
{
    // Top-level windows without a parent: they go with the page.
    delete m_curveEditor;
    delete m_temperatureEditor;
}

void SocCustomProfile::setDialogs(ProfileDialogs* dialogs)
{
    m_dialogs = dialogs ? dialogs : ProfileDialogs::standard();
    m_curveEditor->setDialogs(dialogs);
}

void SocCustomProfile::declareHidden(const QString& name, int id, int valueType, double minimum, double maximum,
                                     double step)
{
    m_host->createParamWidget(name, kLineEdit, id, valueType, minimum, maximum, 0, step, nullptr, kFeature, false,
                              kNoHexLow, kNoHexHigh);
    m_hiddenNames.insert(id, name);
}

void SocCustomProfile::write(int id, const QString& text, QStringList* notWritten)
{
    if (!m_host->submitParamText(id, text))
        notWritten->append(m_hiddenNames.value(id, QString::number(id, 16)));
}

void SocCustomProfile::reportNotWritten(const QStringList& notWritten)
{
    if (notWritten.isEmpty())
        return;
    m_dialogs->warning(this, tr("Values not written"),
                       tr("These values were not written to the BMS, because they have not been read from it:\n%1\n"
                          "Read the configuration from the BMS and commit again.")
                           .arg(notWritten.join(QStringLiteral(", "))));
}

QWidget* SocCustomProfile::buildCellModelPanel(int editorWidth)
{
    // The curve points and coefficients are never shown: their editors exist
    // so that the configuration page loads, keeps and writes them.
    for (int i = 0; i < kCurvePoints; ++i) {
        const QString slot = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        declareHidden(QStringLiteral("BSM_CELL_PARAM_SOC_POINT_") + slot, kSocPointId + i, kPlainNumber, 0, 255, 1);
        declareHidden(QStringLiteral("BSM_CELL_PARAM_OCV_POINT_") + slot, kOcvPointId + 2 * i, kRealNumber, 2, 4.55,
                      0.0001);
    }
    for (int k = 0; k < 5; ++k) {
        declareHidden(QStringLiteral("BSM_CELL_PARAM_SOC_TEMPDEP_C%1").arg(k + 1), kTempDepC1Id + 4 * k, kRealNumber,
                      -kCoefficients[k].range, kCoefficients[k].range, kCoefficients[k].step);
    }

    QWidget* r0 = m_host->createParamWidgetByDecimals(QStringLiteral("R0 Value"), kLineEditG, 0x2600, kRealNumber, 0, 10, 7,
                                                      nullptr, kFeature, true, kNoHexLow, kNoHexHigh);
    QWidget* rp1 = m_host->createParamWidgetByDecimals(QStringLiteral("Rp1 Value"), kLineEditG, 0x2608, kRealNumber, 0,
                                                       10, 6, nullptr, kFeature, true, kNoHexLow, kNoHexHigh);
    QWidget* cp1 = m_host->createParamWidgetByDecimals(QStringLiteral("Cp1 Value"), kLineEditG, 0x260C, kRealNumber, 0,
                                                       double(FLT_MAX), 3, nullptr, kFeature, true, kNoHexLow, kNoHexHigh);
    QWidget* cbat = m_host->createParamWidget(QStringLiteral("Cbat Value"), kLineEdit, 0x0102, kRealNumber, 0.1, 6553.5,
                                              0, 0.1, nullptr, kFeature, false, kNoHexLow, kNoHexHigh);

    auto* box = new MyGroupBox(tr("Cell Model Reference Settings"), this);
    auto* grid = new QGridLayout(box);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(5, 1);

    auto* curveButton = new QPushButton(tr("SOC-OCV Curve"), box);
    tip(curveButton, tr("Define battery cell's SOC-OCV reference curve"), 1);
    auto* socTemperature = new QPushButton(tr("f(t°)"), box);
    tip(socTemperature, tr("Configure SOC dependency on temperature"), 1);
    auto* setSoc = new QPushButton(tr("Set SOC"), box);
    tip(setSoc, tr("Modifies the State of Charge."), 1);
    m_host->registerFeatureWidget(setSoc, kFeature, 0);
    grid->addWidget(curveButton, 0, 0, 1, 3);
    grid->addWidget(socTemperature, 0, 3);
    grid->addWidget(setSoc, 0, 4);

    struct Row
    {
        const char* label;
        QWidget* editor;
        const char* tipText;
        const char* unit;
    };
    const Row rows[] = {
        {QT_TR_NOOP("R0:"), r0, QT_TR_NOOP("Internal resistance of cell - R0"), "Ω"},
        {QT_TR_NOOP("Rp1:"), rp1,
         QT_TR_NOOP("Internal resistance of cell charge polarization equivalent RpCp model - Rp"), "Ω"},
        {QT_TR_NOOP("Cp1:"), cp1,
         QT_TR_NOOP("Internal capacitance of cell charge polarization equivalent RpCp model - Cp"), "F"},
        {QT_TR_NOOP("Cell<br>Capacity:"), cbat, QT_TR_NOOP("Internal capacity of brand new cell - Cbat"), "Ah"},
    };
    for (int i = 0; i < 4; ++i) {
        const int row = i + 1;
        auto* label = new QLabel(tr(rows[i].label), box);
        label->setTextFormat(Qt::RichText);
        grid->addWidget(label, row, 0);
        if (QWidget* editor = rows[i].editor) {
            editor->setFixedWidth(editorWidth);
            editor->setEnabled(true);
            editor->setStyleSheet(QStringLiteral("QLineEdit{color: black; background: white;}"));
            tip(editor, tr(rows[i].tipText), 0);
            grid->addWidget(editor, row, 1, Qt::AlignLeft);
        }
        grid->addWidget(new QLabel(QString::fromUtf8(rows[i].unit), box), row, 2, Qt::AlignLeft);
    }

    // Dependencies of the cell values are not available yet.
    auto* r0Temperature = new QPushButton(tr("f(t°)"), box);
    r0Temperature->setEnabled(false);
    tip(r0Temperature, tr("Configure parameter dependency on temperature"), 1);
    auto* r0Soc = new QPushButton(tr("f(SOC)"), box);
    r0Soc->setEnabled(false);
    tip(r0Soc, tr("Configure parameter dependency on SOC"), 1);
    auto* cbatTemperature = new QPushButton(tr("f(t°)"), box);
    cbatTemperature->setEnabled(false);
    tip(cbatTemperature, tr("Configure parameter dependency on temperature"), 1);
    grid->addWidget(r0Temperature, 1, 3);
    grid->addWidget(r0Soc, 1, 4);
    grid->addWidget(cbatTemperature, 4, 3);

    connect(curveButton, &QPushButton::clicked, this, &SocCustomProfile::slotEditSocOcvCurve);
    connect(socTemperature, &QPushButton::clicked, this, &SocCustomProfile::slotEditTemperatureDependency);
    connect(setSoc, &QPushButton::clicked, this, &SocCustomProfile::slotSetSoc);
    return box;
}

QWidget* SocCustomProfile::buildTuningPanel(int editorWidth)
{
    ConfigParam* msdParam = nullptr;
    QWidget* msd = m_host->createParamWidget(QStringLiteral("MSD Enable"), kCheckBox, kMsdEnableId, kPlainNumber, -1, 1, 0,
                                             1, &msdParam, kMsdFeature, false, kNoHexLow, kNoHexHigh);
    if (msdParam)
        msdParam->bitMask = 0x80;

    struct Tuning
    {
        const char* label;
        const char* name;
        int id;
        double minimum;
        double maximum;
    };
    const Tuning tunings[] = {
        {QT_TR_NOOP("R0 Start Sensitivity:"), "R0 Initial P", 0x2E00, 0, 10000},
        {QT_TR_NOOP("R0 Senstivity:"), "R0 Noise Variance Q", 0x2E20, 0, 10000},
        {QT_TR_NOOP("Start V Sensitivity:"), "BSE_INIT_VPSOC_P_VP1", 0x2E04, double(FLT_MIN), double(FLT_MAX)},
        {QT_TR_NOOP("Start SOC Sensitivity:"), "BSE_INIT_VPSOC_P_SOC", 0x2E0C, 0, 100000},
        {QT_TR_NOOP("V Sensitivity:"), "BSE_TUNING_VPSOC_Q_VP1", 0x2E24, 0, 100000},
        {QT_TR_NOOP("SOC Sensitivity:"), "BSE_TUNING_VPSOC_Q_SOC", 0x2E2C, 0, 100000},
    };
    QWidget* tuningEditors[6];
    for (int i = 0; i < 6; ++i) {
        tuningEditors[i] = m_host->createParamWidgetByDecimals(QString::fromLatin1(tunings[i].name), kLineEditG, tunings[i].id,
                                                               kRealNumber, tunings[i].minimum, tunings[i].maximum, 7,
                                                               nullptr, kFeature, true, kNoHexLow, kNoHexHigh);
    }

    ConfigParam* debugParam = nullptr;
    QWidget* debug = m_host->createParamWidget(QStringLiteral("ESTIMATOR_DEBUG_ENABLE"), kCheckBox, kEstimatorDebugId,
                                               kPlainNumber, -1, 1, 0, 1, &debugParam, kFeature, false, kNoHexLow,
                                               kNoHexHigh);
    if (debugParam)
        debugParam->bitMask = 0x04;

    auto* box = new MyGroupBox(tr("Tuning Parameters"), this);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);

    auto* restart = new QPushButton(tr("Restart Estimator"), box);
    tip(restart, tr("Restarts battery estimator filter to start with fresh settings"), 1);
    auto* restartSoc = new QPushButton(tr("Restart SOC Estimator"), box);
    tip(restartSoc, tr("Restarts battery estimator SOC filter"), 1);
    auto* restartCbat = new QPushButton(tr("Restart Cbat Estimator"), box);
    tip(restartCbat, tr("Restarts battery estimator SOH filter"), 1);
    grid->addWidget(restart, 0, 0, 1, 2);
    grid->addWidget(restartSoc, 0, 2, 1, 2);
    grid->addWidget(new QLabel(tr("Enable SOC correction:"), box), 1, 0);
    if (msd) {
        msd->setFixedWidth(15);
        tip(msd, tr("Enable SOC correction on Finish charging:"), 0);
        grid->addWidget(msd, 1, 1, Qt::AlignLeft);
    }
    grid->addWidget(restartCbat, 1, 2, 1, 2);

    for (int i = 0; i < 6; ++i) {
        grid->addWidget(new QLabel(tr(tunings[i].label), box), 2 + i, 0);
        if (QWidget* editor = tuningEditors[i]) {
            editor->setFixedWidth(editorWidth);
            grid->addWidget(editor, 2 + i, 1, Qt::AlignLeft);
        }
    }

    auto* diagnostics = new QWidget(box);
    auto* diagnosticsRow = new QHBoxLayout(diagnostics);
    diagnosticsRow->setContentsMargins(0, 0, 0, 0);
    auto* diagnosticsLabel = new QLabel(tr("Estimator Diagnostics"), diagnostics);
    diagnosticsRow->addWidget(diagnosticsLabel);
    m_host->registerFeatureWidget(diagnosticsLabel, kFeature, 0);
    if (debug) {
        diagnosticsRow->addWidget(debug);
        m_host->registerFeatureWidget(debug, kFeature, 0);
    }
    diagnosticsRow->addStretch(1);
    grid->addWidget(diagnostics, 2, 2, 1, 2);

    connect(restart, &QPushButton::clicked, this, &SocCustomProfile::slotRestartEstimator);
    connect(restartSoc, &QPushButton::clicked, this, &SocCustomProfile::slotRestartSocEstimator);
    connect(restartCbat, &QPushButton::clicked, this, &SocCustomProfile::slotRestartCbatEstimator);
    return box;
}

void SocCustomProfile::slotEditSocOcvCurve()
{
    SOCOCVCurveEditWidget::PointMap points;
    for (int i = 0; i < kCurvePoints; ++i) {
        const int soc = socFromText(m_host->paramText(kSocPointId + i));
        const double ocv = m_host->paramText(kOcvPointId + 2 * i).trimmed().toDouble();
        if (soc == 255 || points.contains(soc))
            continue; // unused slot; of equal SOCs the lowest slot wins
        points.insert(soc, ocv);
    }
    m_curveEditor->setMaxPoints(kCurvePoints);
    m_curveEditor->setPoints(points);
    m_curveEditor->show();
}

void SocCustomProfile::commitCurve(const SOCOCVCurveEditWidget::PointMap& points)
{
    if (points.size() < kMinCommitPoints) {
        m_dialogs->warning(this, QString(),
                           QStringLiteral("At least 5 SOC values should be added to table in order to use the SOC-SOH algorithm."));
        return;
    }

    // The writes let events run; a second press meanwhile would interleave
    // its writes with these.
    if (m_committingCurve)
        return;
    QScopedValueRollback<bool> committing(m_committingCurve, true);

    QProgressDialog progress(this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumWidth(400);
    progress.setLabelText(tr("Downloading SOC points to BMS..."));
    auto* bar = new QProgressBar(&progress);
    bar->setObjectName(QStringLiteral("progressParameters"));
    bar->setFormat(QStringLiteral("%p% Completed"));
    bar->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    progress.setBar(bar);
    progress.setRange(0, 100);
    progress.setMinimumDuration(0);
    progress.setValue(0);

    // The cancel button does not stop the writes: a curve half written is
    // worse than one written whole.
    QStringList notWritten;
    auto point = points.cbegin();
    for (int i = 0; i < kCurvePoints; ++i) {
        if (point != points.cend()) {
            write(kSocPointId + i, QString::number(point.key()), &notWritten);
            write(kOcvPointId + 2 * i, QString::number(point.value(), 'f', 4), &notWritten);
            ++point;
        } else {
            write(kSocPointId + i, QStringLiteral("255"), &notWritten);
        }
        progress.setValue(i * 100 / kCurvePoints);
        QCoreApplication::processEvents();
    }
    if (notWritten.isEmpty())
        progress.setValue(100);
    QCoreApplication::processEvents();
    progress.close();
    reportNotWritten(notWritten);
}

void SocCustomProfile::slotEditTemperatureDependency()
{
    m_temperatureEditor->setValueAt20(100);
    QVector<double> c;
    for (int k = 0; k < 5; ++k)
        c.append(m_host->paramText(kTempDepC1Id + 4 * k).trimmed().toDouble());
    m_temperatureEditor->setCoefficients(c);
    m_temperatureEditor->show();
}

double SocCustomProfile::evaluateTemperature(double t, const QVector<double>& c)
{
    if (c.size() != 5)
        return 0.0;
    double power = t;
    double sum = 0.0;
    for (double coefficient : c) {
        sum += coefficient * power;
        power *= t;
    }
    return sum;
}

void SocCustomProfile::commitTemperatureCoefficients(const QVector<double>& c)
{
    if (c.size() != 5)
        return;
    QStringList notWritten;
    for (int k = 0; k < 5; ++k)
        write(kTempDepC1Id + 4 * k, QString::number(c.at(k), 'g', 6), &notWritten);
    reportNotWritten(notWritten);
}

void SocCustomProfile::slotSetSoc()
{
    int soc = 100;
    if (!m_dialogs->getInt(this, tr("Enter SoC"), tr("State of Charge:"), 100, 0, 100, 1, &soc))
        return;
    m_host->sendSentence(QStringLiteral("SC1,"), QString::asprintf("%02X", unsigned(soc)), 20, 0);
}

void SocCustomProfile::restart(const QString& title, const QString& question, const QString& name,
                               const QString& parameter)
{
    if (m_dialogs->question(this, title, question))
        m_host->sendSentence(name, parameter, 20, 0);
}

void SocCustomProfile::slotRestartEstimator()
{
    restart(tr("Restart Estimator?"), tr("Do you really want to reset the SOC/SOH estimator?"), QStringLiteral("RE1,"),
            QString());
}

void SocCustomProfile::slotRestartSocEstimator()
{
    restart(tr("Restart SOC Estimator?"), tr("Do you really want to reset the SOC estimator?"), QStringLiteral("RE1,"),
            QStringLiteral("2"));
}

void SocCustomProfile::slotRestartCbatEstimator()
{
    restart(tr("Restart Cbat Estimator?"), tr("Do you really want to reset the Cbat estimator?"), QStringLiteral("RE1"),
            QStringLiteral(",3"));
}
