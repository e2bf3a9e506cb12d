#include "ToggleSwitch.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

ToggleSwitch::ToggleSwitch(QWidget* parent)
    : QWidget(parent)
{
    init();
}

ToggleSwitch::ToggleSwitch(const QColor& onColor, QWidget* parent)
    : QWidget(parent)
{
    init();
    trackOn = QBrush(onColor);
}

void ToggleSwitch::init()
{
    trackOn = QBrush(QColor("#6ecff7"));
    trackOff = QBrush(QColor("#C1C1C1"));
    trackSpare = trackOff;
    thumb = QBrush(QColor("#FFFFFF"));
    connect(&timer, &QTimer::timeout, this, &ToggleSwitch::timercall);
    const QSize hint = sizeHint();
    setFixedSize(int(hint.width() * 1.1), hint.height());
    update();
}

QSize ToggleSwitch::sizeHint() const
{
    return QSize(2 * (diameter + margin), diameter + 2 * margin);
}

QSize ToggleSwitch::minimumSizeHint() const
{
    return sizeHint();
}

void ToggleSwitch::setState(bool state)
{
    on = state;
    timer.start(10);
}

void ToggleSwitch::timercall()
{
    if (on) {
        if (x < width() - diameter)
            ++x;
        else
            timer.stop();
    } else {
        if (x > diameter / 2)
            --x;
        else
            timer.stop();
    }
    repaint();
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    if (blocked)
        return;
    QPainter p(this);
    p.setPen(Qt::NoPen);
    p.setRenderHint(QPainter::Antialiasing, true);

    QPainterPath track;
    track.addRoundedRect(QRectF(margin + 1, margin - 1, (width() - 1) - 2 * margin, (height() - 1) - 2 * margin + 3),
                         radius, radius, Qt::AbsoluteSize);
    p.setOpacity(1.0);
    p.setBrush(on ? trackOn : trackOff);
    p.drawPath(track.simplified());

    p.setOpacity(1.0);
    p.setBrush(thumb);
    p.drawEllipse(QRectF(margin + x - diameter / 2 + 2, y + margin - diameter / 2, diameter, diameter));
}

void ToggleSwitch::mousePressEvent(QMouseEvent* e)
{
    if (blocked)
        return;
    if (e->buttons() & Qt::LeftButton)
        e->accept();
    else
        e->ignore();
}

void ToggleSwitch::mouseReleaseEvent(QMouseEvent* e)
{
    if (blocked)
        return;
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    e->accept();
    on = !on;
    timer.start(10);
    emit toggled(on);
}

void ToggleSwitch::enterEvent(QEvent* e)
{
    setCursor(Qt::PointingHandCursor);
    QWidget::enterEvent(e);
}

void ToggleSwitch::resizeEvent(QResizeEvent* e)
{
    // The thumb goes to the end that matches the state: an "on" switch must
    // not be drawn "off" after a resize.
    x = on ? qint16(width() - diameter) : qint16(diameter / 2);
    y = diameter / 2;
    QWidget::resizeEvent(e);
    repaint();
}
