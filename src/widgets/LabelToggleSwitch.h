#pragma once

#include "ToggleSwitch.h"

#include <QGridLayout>
#include <QLabel>
#include <QList>
#include <QWidget>

// A text label with a ToggleSwitch beside it.
class LabelToggleSwitch : public QWidget
{
    Q_OBJECT
public:
    enum SwitchState : quint8 { off = 0, on = 1 };
    Q_ENUM(SwitchState)

    explicit LabelToggleSwitch(QWidget* parent = nullptr);
    explicit LabelToggleSwitch(const QString& text);
    LabelToggleSwitch(const QString& text, const QFont& font);

    // Moves the switch and emits stateChanged.
    void setState(SwitchState state);
    SwitchState state() const;
    // Emits textChanged(old, new), also when they are equal.
    void setText(const QString& text);
    QString text() const;
    // Styles the label only; the widget's own font is left alone.
    void setFont(const QFont& font);
    QFont font() const;

    void setLabelAlignment(Qt::Alignment a);
    void setSwitchAlignment(Qt::Alignment a);
    void moveSliderTo(SwitchState state) { moveSlider(state); }

    ToggleSwitch* toggleSwitch() { return &switchWidget; }
    QLabel* label() { return &textLabel; }

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void stateChanged(LabelToggleSwitch::SwitchState state);
    void textChanged(QString oldText, QString newText);

public slots:
    // Moves the switch without emitting stateChanged.
    void moveSlider(LabelToggleSwitch::SwitchState state);

private:
    void build();

    QGridLayout grid;
    ToggleSwitch switchWidget;
    QLabel textLabel;
    QList<int> swallowed{3, 4, 5, 6, 7, 31};
};
