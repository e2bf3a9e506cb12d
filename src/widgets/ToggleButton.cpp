#include "ToggleButton.h"

ToggleButton::ToggleButton(const QString& off, const QString& on, QWidget* parent)
    : QPushButton(off, parent)
    , offText(off)
    , onText(on)
{
    // Lets clicked(State) cross queued connections and signal spies.
    qRegisterMetaType<ToggleButton::State>("ToggleButton::State");
    connect(this, QOverload<bool>::of(&QAbstractButton::clicked), this, &ToggleButton::toggle);
}

void ToggleButton::toggle()
{
    if (state == on) {
        state = off;
        setText(offText);
    } else {
        state = on;
        setText(onText);
    }
    emit clicked(state);
}
