#pragma once

#include <QBrush>
#include <QTimer>
#include <QWidget>

// A sliding on/off switch: a rounded track and a round thumb that slides one
// pixel every 10 ms to the end that matches the state. Fixed at 46 x 24.
class ToggleSwitch : public QWidget
{
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    ToggleSwitch(const QColor& onColor, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Sets the state and slides the thumb there; emits nothing.
    void setState(bool on);
    bool state() const { return on; }

    void setBlocked(bool b) { blocked = b; }
    bool isBlocked() const { return blocked; }
    int thumbX() const { return x; }
    bool isSliding() const { return timer.isActive(); }

signals:
    // The user flipped the switch.
    void toggled(bool on);

public slots:
    void timercall();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void init();

    bool blocked = false;
    bool on = false;
    QBrush trackOn;
    QBrush trackOff;
    QBrush trackSpare;
    qreal radius = 9.0;
    qint16 x = 0;
    qint16 y = 0;
    QTimer timer;
    qint16 diameter = 18;
    qint16 margin = 3;
    QBrush thumb;
};
