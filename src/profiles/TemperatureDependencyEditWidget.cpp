#include "TemperatureDependencyEditWidget.h"

#include "ProfilePlotStyle.h"
#include "Tip.h"
#include "ToolTipPlot.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <cmath>

namespace {

QString gText(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

TemperatureDependencyEditWidget::TemperatureDependencyEditWidget(const QString& name, const QString& unit,
                                                                 const QVector<TemperatureCoefficientSpec>& coefficients,
                                                                 EvaluateCallback evaluate, CommitCallback commit)
    : QWidget(nullptr)
    , m_specs(coefficients)
    , m_stored(coefficients.size(), 0.0)
    , m_evaluate(std::move(evaluate))
    , m_commit(std::move(commit))
{
    setWindowFlags(Qt::Dialog);
    setWindowTitle(QStringLiteral("%1 dependency on Temperature").arg(name));
    setBackgroundRole(QPalette::Light);
    setAutoFillBackground(true);
    setWindowModality(Qt::ApplicationModal);
    setMinimumSize(800, 400);

    auto tip = [](QWidget* target, const QString& text, int placement) {
        new Tip(target, text, placement, 200, 10000, 0);
    };

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* left = new QVBoxLayout;
    left->setContentsMargins(5, 5, 5, 5);
    left->setSpacing(5);
    row->addLayout(left);

    auto* panel = new QGridLayout;
    panel->setColumnStretch(1, 1);
    auto* nameLabel = new QLabel(QStringLiteral("%1 (at 20°C):").arg(name), this);
    nameLabel->setFixedWidth(122);
    nameLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_valueLabel = new QLabel(this);
    tip(m_valueLabel, tr("Temperature dependency will be applied to this parameter"), 2);
    panel->addWidget(nameLabel, 0, 0);
    panel->addWidget(m_valueLabel, 0, 1);
    panel->addWidget(new QLabel(unit, this), 0, 2);
    panel->setColumnStretch(3, 1);
    panel->setRowMinimumHeight(0, 30);
    panel->addWidget(new QLabel(tr("Polynomial Coeficients:"), this), 1, 0, 1, 4);

    for (int i = 0; i < m_specs.size(); ++i) {
        const TemperatureCoefficientSpec& spec = m_specs.at(i);
        const int gridRow = 3 + i;
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setFixedWidth(100);
        slider->setTickInterval(1);
        const double steps = stepsPerUnit(i);
        slider->setRange(int(std::lround(spec.minimum * steps)), int(std::lround(spec.maximum * steps)));
        auto* editor = new QLineEdit(QStringLiteral("0"), this);
        editor->setFixedWidth(50);
        tip(editor,
            tr("Coefficient (%1) of temperature dependant parameter.<br>Accepted range [%2;%3]")
                .arg(spec.name, QString::number(spec.minimum), QString::number(spec.maximum)),
            2);
        auto* power = new QLabel(spec.powerLabel, this);
        power->setFixedWidth(20);
        power->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

        panel->addWidget(new QLabel(QStringLiteral("%1:").arg(spec.name.toUpper()), this), gridRow, 0);
        panel->addWidget(slider, gridRow, 1);
        panel->addWidget(editor, gridRow, 2);
        panel->addWidget(power, gridRow, 3);
        m_sliders.append(slider);
        m_editors.append(editor);

        connect(slider, &QSlider::valueChanged, this, [this, i](int value) { sliderMoved(i, value); });
        connect(editor, &QLineEdit::editingFinished, this, [this, i]() { finishEdit(i); });
        connect(editor, &QLineEdit::textChanged, this, [this, i]() { markAcceptable(i); });
        markAcceptable(i);
    }
    panel->setRowStretch(3 + m_specs.size(), 1);
    left->addLayout(panel);

    auto* reset = new QPushButton(tr("Reset Coefficients"), this);
    reset->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    tip(reset, tr("Restores calibration values to original ones"), 3);
    auto* commitButton = new QPushButton(tr("Commit changes"), this);
    commitButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    tip(commitButton, tr("Commit changes to BMS"), 1);
    left->addWidget(reset);
    left->addWidget(commitButton);
    left->addWidget(new QLabel(this), 1);
    connect(reset, &QPushButton::clicked, this, &TemperatureDependencyEditWidget::resetCoefficients);
    connect(commitButton, &QPushButton::clicked, this, &TemperatureDependencyEditWidget::commitChanges);

    m_plot = new ToolTipPlot(this);
    ProfilePlotStyle::applyDark(m_plot);
    m_plot->xAxis->setLabel(QStringLiteral("Temperature, °C"));
    m_plot->xAxis->setRange(kLowestTemperature, kHighestTemperature);
    m_plot->yAxis->setLabel(QStringLiteral("%1, %2").arg(name, unit));
    m_curve = m_plot->addGraph();
    ProfilePlotStyle::styleCurve(m_curve, QStringLiteral("Temperature dependency"), Qt::magenta, false);
    row->addWidget(m_plot, 1);
}

TemperatureDependencyEditWidget::~TemperatureDependencyEditWidget() = default;

double TemperatureDependencyEditWidget::stepsPerUnit(int index) const
{
    return std::pow(10.0, m_specs.at(index).decimals);
}

bool TemperatureDependencyEditWidget::isAcceptable(int index) const
{
    bool ok = false;
    const double value = m_editors.at(index)->text().toDouble(&ok);
    const TemperatureCoefficientSpec& spec = m_specs.at(index);
    return ok && std::isfinite(value) && value >= spec.minimum && value <= spec.maximum;
}

void TemperatureDependencyEditWidget::markAcceptable(int index)
{
    m_editors.at(index)->setStyleSheet(isAcceptable(index) ? QStringLiteral("QLineEdit { border: 1px solid #1fb5ad; }")
                                                           : QStringLiteral("QLineEdit { border: 1px solid red; }"));
}

void TemperatureDependencyEditWidget::sliderMoved(int index, int value)
{
    m_editors.at(index)->setText(gText(value / stepsPerUnit(index)));
    updatePlot();
}

void TemperatureDependencyEditWidget::finishEdit(int index)
{
    // A text outside the range leaves the slider where it is: moved to its
    // end, the slider would rewrite the text and hide the mistake.
    if (isAcceptable(index)) {
        const double x = m_editors.at(index)->text().toDouble() * stepsPerUnit(index);
        QSlider* slider = m_sliders.at(index);
        slider->setValue(int(std::floor(x + 0.5)));
        // Finer than a step is rounded where the user sees it, also when the
        // slider stays: the editor holds only what the slider can.
        const QString stepText = gText(slider->value() / stepsPerUnit(index));
        if (m_editors.at(index)->text() != stepText)
            m_editors.at(index)->setText(stepText);
    }
    updatePlot();
}

void TemperatureDependencyEditWidget::setCoefficients(const QVector<double>& coefficients)
{
    if (coefficients.size() != m_specs.size())
        return;
    for (int i = 0; i < coefficients.size(); ++i) {
        m_editors.at(i)->setText(gText(coefficients.at(i)));
        finishEdit(i);
    }
    m_stored = coefficients;
    updatePlot();
}

void TemperatureDependencyEditWidget::setValueAt20(double value)
{
    m_valueLabel->setText(gText(value));
    updatePlot();
}

void TemperatureDependencyEditWidget::setValueRange(double lower, double upper)
{
    m_plot->yAxis->setRange(lower, upper);
}

QVector<double> TemperatureDependencyEditWidget::currentCoefficients() const
{
    QVector<double> result;
    for (int i = 0; i < m_editors.size(); ++i)
        result.append(isAcceptable(i) ? double(m_editors.at(i)->text().toFloat()) : m_stored.value(i));
    return result;
}

void TemperatureDependencyEditWidget::updatePlot()
{
    if (!m_evaluate)
        return;
    const QVector<double> c = currentCoefficients();
    const double y20 = m_valueLabel->text().toDouble();
    const double at20 = m_evaluate(20.0, c);
    QVector<double> keys;
    QVector<double> values;
    for (double t = kLowestTemperature; t <= kHighestTemperature; t += 1.0) {
        keys.append(t);
        values.append(y20 - at20 + m_evaluate(t, c));
    }
    m_curve->setData(keys, values, true);
    m_plot->rescaleAxes();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TemperatureDependencyEditWidget::resetCoefficients()
{
    for (int i = 0; i < m_editors.size(); ++i) {
        m_editors.at(i)->setText(gText(m_stored.value(i)));
        finishEdit(i);
    }
}

void TemperatureDependencyEditWidget::commitChanges()
{
    if (m_commit)
        m_commit(currentCoefficients());
}
