#pragma once

#include "SOCOCVCurveEditWidget.h"

#include <QHash>
#include <QStringList>
#include <QVector>
#include <QWidget>

class CellModelParamHost;
class ProfileDialogs;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TemperatureDependencyEditWidget;

// The cell model the unit's state-of-charge estimator works with: the cell's
// equivalent-circuit values, its capacity, the SOC-OCV reference curve, the
// temperature dependency of the SOC and the estimator's tuning, plus Set SOC
// and the estimator restarts. Every value is a configuration parameter of
// the host (the configuration page), which loads, shows and writes it; the
// page adds the layout, the two editor windows and the moving of values
// between them and the parameters.
class SocCustomProfile : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kFeature = 110;
    static constexpr int kSocPointId = 0x2420; // + slot
    static constexpr int kOcvPointId = 0x2540; // + 2 * slot
    static constexpr int kTempDepC1Id = 0x2A04; // + 4 * (k - 1)
    static constexpr int kCurvePoints = 32;
    static constexpr int kMinCommitPoints = 5;

    SocCustomProfile(CellModelParamHost* host, QWidget* parent);
    ~SocCustomProfile() override;

    // The boxes and the SOC prompt go here; null: real dialogs.
    void setDialogs(ProfileDialogs* dialogs);

    SOCOCVCurveEditWidget* curveEditor() const { return m_curveEditor; }
    TemperatureDependencyEditWidget* temperatureEditor() const { return m_temperatureEditor; }

    // The temperature polynomial c1·t + ... + c5·t⁵; 0 unless c holds five values.
    static double evaluateTemperature(double t, const QVector<double>& c);

public slots:
    void slotEditSocOcvCurve();
    void slotEditTemperatureDependency();
    void slotSetSoc();
    void slotRestartEstimator();
    void slotRestartSocEstimator();
    void slotRestartCbatEstimator();

private:
    void commitCurve(const SOCOCVCurveEditWidget::PointMap& points);
    void commitTemperatureCoefficients(const QVector<double>& c);
    void restart(const QString& title, const QString& question, const QString& name, const QString& parameter);
    // A parameter the page keeps but never shows (curve points, coefficients).
    void declareHidden(const QString& name, int id, int valueType, double minimum, double maximum, double step);
    // Writes one of them; a value not written is added to notWritten by name.
    void write(int id, const QString& text, QStringList* notWritten);
    // Tells the user which values of a commit did not reach the unit.
    void reportNotWritten(const QStringList& notWritten);
    QWidget* buildCellModelPanel(int editorWidth);
    QWidget* buildTuningPanel(int editorWidth);

    CellModelParamHost* m_host; // not owned
    ProfileDialogs* m_dialogs;
    SOCOCVCurveEditWidget* m_curveEditor = nullptr;
    TemperatureDependencyEditWidget* m_temperatureEditor = nullptr;
    bool m_committingCurve = false;
    QHash<int, QString> m_hiddenNames; // id -> name as declared
};
