#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// A small window asking for the momentary current measured with an external
// instrument; the page corrects the current reading with it.
class CurrentSensorCompensation : public QWidget
{
    Q_OBJECT
public:
    CurrentSensorCompensation(const QString& buttonText, const QString& title, const QString& helpText,
                              double minimum, double maximum);

    // Resets the entry and shows the window (not modal).
    void open();

    QLineEdit* valueEdit() const { return m_value; }
    QPushButton* applyButton() const { return m_apply; }
    QLabel* rangeLabel() const { return m_range; }

signals:
    void ApplyCompensation(float current);

private:
    void apply();

    QLineEdit* m_value = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_range = nullptr;
};
