#pragma once

#include <QBasicTimer>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QRect>

class QScreen;

// A tool tip that follows the cursor: the cell graphs call showText on every
// mouse move, and the one label is moved and re-texted instead of flickering.
// Any click, wheel turn, focus or activation change or leave anywhere in the
// application closes it. GUI thread only.
class MyToolTip
{
public:
    static void showText(const QPoint& pos, const QString& text, QWidget* w = nullptr);
    // While the mouse moves inside w and leaves rect (w's coordinates), the tip closes.
    static void showText(const QPoint& pos, const QString& text, QWidget* w, const QRect& rect);
    // Forwards to the current label, if any.
    static void setTipRect(QWidget* w, const QRect& rect);

    static void hideText() { showText(QPoint(), QString()); }
    static bool isVisible();
    static QString text();
    static QPalette palette();
    static void setPalette(const QPalette& palette);
    static QFont font();
    static void setFont(const QFont& font);
};

// The one process-wide label window behind MyToolTip.
class MyTipLabel : public QLabel
{
    Q_OBJECT
public:
    MyTipLabel(const QString& text, QWidget* w);
    ~MyTipLabel() override;

    // The current label, or null.
    static MyTipLabel* instance;

    void setTipRect(QWidget* w, const QRect& rect);
    void reuseTip(const QString& text);
    void placeTip(const QPoint& pos, QWidget* w);
    // Closes the label and schedules its deletion.
    void hideTipImmediately();
    bool tipChanged(const QPoint& pos, const QString& text, QObject* o) const;

    // The period the expiry timer was last started with, in milliseconds.
    int expiryPeriod() const { return expiryMs; }

    static QScreen* screenFor(const QPoint& pos);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QBasicTimer hideTimer;
    QBasicTimer expireTimer;
    // Guarded: the label may outlive the widget it was last tied to.
    QPointer<QWidget> widget;
    QRect rect;
    int expiryMs = 0;
    bool closing = false;
};
