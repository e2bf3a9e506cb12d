#include "CurrentSensorCompensation.h"

#include "Tip.h"

#include <QDoubleValidator>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CurrentSensorCompensation::CurrentSensorCompensation(const QString& buttonText, const QString& title,
                                                     const QString& helpText, double minimum, double maximum)
{
    setFixedSize(350, 120);
    setWindowTitle(title);
    auto* grid = new QGridLayout(this);

    grid->addWidget(new QLabel(QStringLiteral("Enter momentary current value:")), 0, 0);
    m_value = new QLineEdit;
    auto* validator = new QDoubleValidator(minimum, maximum, 1, m_value);
    validator->setNotation(QDoubleValidator::StandardNotation);
    m_value->setValidator(validator);
    m_value->setAlignment(Qt::AlignRight);
    m_value->setFixedWidth(120);
    new Tip(m_value, helpText, 1, 200, 10000, 0);
    grid->addWidget(m_value, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("A")), 0, 2);
    grid->setColumnStretch(0, 1);

    m_range = new QLabel(QStringLiteral("Value range: from ") + QString::number(minimum, 'g', 6)
                             + QStringLiteral("A to ") + QString::number(maximum, 'g', 6) + QStringLiteral("A"),
                         this);
    m_range->hide();
    grid->addWidget(m_range, 2, 0);

    m_apply = new QPushButton(buttonText);
    grid->addWidget(m_apply, 3, 0, 1, 3);
    connect(m_apply, &QPushButton::clicked, this, &CurrentSensorCompensation::apply);
}

void CurrentSensorCompensation::open()
{
    m_value->setStyleSheet(QStringLiteral("background-color: #ffffff"));
    m_value->setText(QStringLiteral("0.0"));
    show();
}

void CurrentSensorCompensation::apply()
{
    QString text = m_value->text();
    if (text.isEmpty()) {
        m_value->setStyleSheet(QStringLiteral("background-color: #ffaaaa"));
        return;
    }
    // A decimal comma is accepted.
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    m_value->setText(text);
    int position = 0;
    if (m_value->validator()->validate(text, position) == QValidator::Acceptable) {
        m_range->hide();
        emit ApplyCompensation(text.toFloat());
        hide();
    } else {
        m_range->show();
        m_value->setStyleSheet(QStringLiteral("background-color: #ffaaaa"));
    }
}
