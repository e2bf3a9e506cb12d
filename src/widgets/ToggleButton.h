#pragma once

#include <QPushButton>

// A push button that flips between an "off" and an "on" text at every click
// and reports the new state. The owner may set state and text itself.
class ToggleButton : public QPushButton
{
    Q_OBJECT
public:
    enum State : quint8 { off = 0, on = 1 };
    Q_ENUM(State)

    ToggleButton(const QString& offText, const QString& onText, QWidget* parent = nullptr);

    State state = off;
    QString offText;
    QString onText;

signals:
    // Overloads QPushButton::clicked(bool): connect with QOverload<ToggleButton::State>.
    void clicked(ToggleButton::State state);

public slots:
    void toggle();
};
