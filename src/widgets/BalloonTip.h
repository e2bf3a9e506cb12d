#pragma once

#include <QWidget>

// A small notification window with a bold title and a message near the
// bottom-right corner of the first screen. It closes after its time (unless
// the mouse is over it) or on a click. At most one is shown at a time.
class BalloonTip : public QWidget
{
    Q_OBJECT
public:
    // A negative time means 10000 ms; 0 keeps the balloon until clicked.
    // showArrow has no visible effect.
    static BalloonTip* showBalloon(const QString& title, const QString& message, int msecs = -1,
                                   bool showArrow = true);
    static void hideBalloon();
    static BalloonTip* current();

    BalloonTip(const QString& title, const QString& message, QWidget* parent = nullptr);
    ~BalloonTip() override;

protected:
    void timerEvent(QTimerEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void balloon(int msecs);

    int timerId = -1;
};
