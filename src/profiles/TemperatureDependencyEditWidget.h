#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

#include <functional>

class QCPGraph;
class ToolTipPlot;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// One coefficient of the temperature polynomial: its name ("c1"), the label
// of its power of t ("·t²"), its accepted range and the decimals the slider
// counts in.
struct TemperatureCoefficientSpec
{
    QString name;
    QString powerLabel;
    double minimum = 0.0;
    double maximum = 0.0;
    int decimals = 0;
};

// The window in which the temperature dependency of one cell-model quantity
// is shaped: f(t) = c1·t + ... + c5·t⁵, drawn anchored at the quantity's
// value at 20 °C. One slider and editor per coefficient; the owner evaluates
// the polynomial and writes the coefficients through its callbacks.
class TemperatureDependencyEditWidget : public QWidget
{
    Q_OBJECT
public:
    using EvaluateCallback = std::function<double(double, const QVector<double>&)>;
    using CommitCallback = std::function<void(const QVector<double>&)>;

    static constexpr double kLowestTemperature = -45.0;
    static constexpr double kHighestTemperature = 85.0;

    TemperatureDependencyEditWidget(const QString& name, const QString& unit,
                                    const QVector<TemperatureCoefficientSpec>& coefficients,
                                    EvaluateCallback evaluate, CommitCallback commit);
    ~TemperatureDependencyEditWidget() override;

    // Ignored unless it holds one value per coefficient.
    void setCoefficients(const QVector<double>& coefficients);
    void setValueAt20(double value);
    void setValueRange(double lower, double upper);
    void updatePlot();
    // Each editor's value when acceptable, else the stored coefficient.
    QVector<double> currentCoefficients() const;
    const QVector<double>& storedCoefficients() const { return m_stored; }

    QLineEdit* editor(int index) const { return m_editors.value(index); }
    QSlider* slider(int index) const { return m_sliders.value(index); }
    ToolTipPlot* plot() const { return m_plot; }
    QCPGraph* curve() const { return m_curve; }
    QLabel* valueLabel() const { return m_valueLabel; }

public slots:
    void resetCoefficients();
    void commitChanges();

private:
    bool isAcceptable(int index) const;
    void markAcceptable(int index);
    void sliderMoved(int index, int value);
    void finishEdit(int index);
    double stepsPerUnit(int index) const;

    QVector<TemperatureCoefficientSpec> m_specs;
    QVector<double> m_stored;
    EvaluateCallback m_evaluate;
    CommitCallback m_commit;
    ToolTipPlot* m_plot = nullptr;
    QCPGraph* m_curve = nullptr;
    QLabel* m_valueLabel = nullptr;
    QVector<QLineEdit*> m_editors;
    QVector<QSlider*> m_sliders;
};
