#include "LabelToggleSwitch.h"

#include <QEvent>

LabelToggleSwitch::LabelToggleSwitch(QWidget* parent)
    : QWidget(parent)
{
    build();
}

LabelToggleSwitch::LabelToggleSwitch(const QString& text)
    : QWidget(nullptr)
{
    build();
    textLabel.setText(text);
}

LabelToggleSwitch::LabelToggleSwitch(const QString& text, const QFont& font)
    : QWidget(nullptr)
{
    build();
    textLabel.setText(text);
    setFont(font);
}

void LabelToggleSwitch::build()
{
    // Lets stateChanged cross queued connections and signal spies.
    qRegisterMetaType<LabelToggleSwitch::SwitchState>("LabelToggleSwitch::SwitchState");
    // The members are destroyed by the object itself: the layout must not
    // treat them as heap children.
    setLayout(&grid);
    grid.setSpacing(0);
    grid.setContentsMargins(0, 0, 0, 0);
    grid.addWidget(&textLabel, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid.addWidget(&switchWidget, 0, 1, Qt::AlignRight | Qt::AlignVCenter);
    connect(&switchWidget, &ToggleSwitch::toggled, this,
            [this](bool isOn) { emit stateChanged(isOn ? on : off); });
}

void LabelToggleSwitch::setState(SwitchState state)
{
    switchWidget.setState(state == on);
    emit stateChanged(state);
}

LabelToggleSwitch::SwitchState LabelToggleSwitch::state() const
{
    return switchWidget.state() ? on : off;
}

void LabelToggleSwitch::setText(const QString& text)
{
    const QString old = textLabel.text();
    textLabel.setText(text);
    emit textChanged(old, text);
}

QString LabelToggleSwitch::text() const
{
    return textLabel.text();
}

void LabelToggleSwitch::setFont(const QFont& font)
{
    textLabel.setStyleSheet(
        QStringLiteral("QLabel {font-size: %1pt; font-family: '%2';}").arg(font.pointSize()).arg(font.family()));
}

QFont LabelToggleSwitch::font() const
{
    return textLabel.font();
}

void LabelToggleSwitch::setLabelAlignment(Qt::Alignment a)
{
    grid.setAlignment(&textLabel, a);
}

void LabelToggleSwitch::setSwitchAlignment(Qt::Alignment a)
{
    grid.setAlignment(&switchWidget, a);
}

void LabelToggleSwitch::moveSlider(SwitchState state)
{
    switchWidget.setState(state == on);
}

bool LabelToggleSwitch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &switchWidget)
        return QWidget::eventFilter(watched, event);
    if (swallowed.contains(int(event->type())))
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        const bool now = !switchWidget.state();
        switchWidget.setState(now);
        emit stateChanged(now ? on : off);
        return true;
    }
    return false;
}
