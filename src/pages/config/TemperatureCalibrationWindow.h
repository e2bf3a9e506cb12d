#pragma once

#include "TemperatureCalibrationMath.h"

#include <QVector>
#include <functional>
#include <QWidget>

class ConfigPage;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QLineEdit;
class QPushButton;
class QSlider;
class QTableWidget;

// "External Temperature Calibration": fits the conversion of a cell
// module's external thermistor input to the user's own NTC thermistor. Plots
// the goal curve (from resistances typed into the curve data table) and the
// current curve (the module type's default curve bent by β, γ and Δ), and
// sends the coefficients to one module or all in a "TC2" sentence. Built
// once, hidden, by the configuration page; closing only hides it.
class TemperatureCalibrationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TemperatureCalibrationWindow(ConfigPage* page);
    ~TemperatureCalibrationWindow() override;

    // The General tab's "Calibrate External Temperature ..." button.
    void openWindow();
    // Where "TC2" goes; by default the page's guarded send.
    void setSender(std::function<void(const QString& name, const QString& parameters)> send)
    {
        m_send = std::move(send);
    }

    // For the tests and the page.
    QCustomPlot* plot() const { return m_plot; }
    QWidget* curveDataWindow() const { return m_dataWindow; }
    QTableWidget* curveTable() const { return m_table; }
    QComboBox* moduleBox() const { return m_moduleBox; }
    QLineEdit* moduleIdEdit() const { return m_moduleIdEdit; }
    QCheckBox* selectAllBox() const { return m_selectAll; }
    QSlider* betaSlider() const { return m_beta; }
    QSlider* gammaSlider() const { return m_gamma; }
    QSlider* deltaSlider() const { return m_delta; }
    QLineEdit* betaEdit() const { return m_betaEdit; }
    QLineEdit* gammaEdit() const { return m_gammaEdit; }
    QLineEdit* deltaEdit() const { return m_deltaEdit; }
    QPushButton* button(const QString& text) const;
    int pointCount() const { return m_set.temperatures.size(); }
    const QVector<double>& goalKeys() const { return m_goalKeys; }
    const QVector<double>& goalValues() const { return m_goalValues; }
    const QVector<double>& currentKeys() const { return m_currentKeys; }
    const QVector<double>& currentValues() const { return m_currentValues; }
    int currentRefreshes() const { return m_currentRefreshes; }

public slots:
    void slotCellModuleChanged(int index);
    void calibrate();
    void resetCalibration();
    void refreshGoalCurve();
    void refreshCurrentCurve();

private:
    void buildControls(QWidget* left);
    void buildCurveDataWindow();
    void styleAxes();
    void fillTable();
    TemperatureCalibration::Coefficients coefficients() const;
    void setModuleIdBorder(const QString& rule);

    ConfigPage* m_page;
    std::function<void(const QString&, const QString&)> m_send;
    TemperatureCalibration::CurveSet m_set;
    QVector<double> m_goalKeys, m_goalValues, m_currentKeys, m_currentValues;
    int m_currentRefreshes = 0;

    QCustomPlot* m_plot = nullptr;
    QComboBox* m_moduleBox = nullptr;
    QLineEdit* m_moduleIdEdit = nullptr;
    QString m_moduleIdStyle;
    QCheckBox* m_selectAll = nullptr;
    QSlider* m_beta = nullptr;
    QSlider* m_gamma = nullptr;
    QSlider* m_delta = nullptr;
    QLineEdit* m_betaEdit = nullptr;
    QLineEdit* m_gammaEdit = nullptr;
    QLineEdit* m_deltaEdit = nullptr;
    QWidget* m_dataWindow = nullptr; // parentless, owned
    QTableWidget* m_table = nullptr;
};
