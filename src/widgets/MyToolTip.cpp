#include "MyToolTip.h"

#include <QApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QStylePainter>
#include <QTextDocument>

MyTipLabel* MyTipLabel::instance = nullptr;

namespace {

QPalette& tipPalette()
{
    static QPalette palette;
    return palette;
}

} // namespace

MyTipLabel::MyTipLabel(const QString& text, QWidget* w)
    : QLabel(w, Qt::ToolTip | Qt::BypassGraphicsProxyWidget)
{
    delete instance;
    instance = this;
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setPalette(tipPalette());
    ensurePolished();
    setMargin(1 + style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, this));
    setFrameStyle(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft);
    setIndent(1);
    setWindowOpacity(style()->styleHint(QStyle::SH_ToolTipLabel_Opacity, nullptr, this) / 255.0);
    setMouseTracking(true);
    reuseTip(text);
}

MyTipLabel::~MyTipLabel()
{
    if (instance == this)
        instance = nullptr;
}

void MyTipLabel::setTipRect(QWidget* w, const QRect& r)
{
    if (!rect.isNull() && !w) {
        qWarning("MyToolTip::setTipRect: Cannot pass null widget if rect is set");
        return;
    }
    widget = w;
    rect = r;
}

void MyTipLabel::reuseTip(const QString& text)
{
    setWordWrap(Qt::mightBeRichText(text));
    setText(text);
    const QFontMetrics fm(font());
    QSize extra(1, 0);
    // Fonts with a descent of 2 clip the last line by one pixel.
    if (fm.descent() == 2 && fm.ascent() >= 11)
        ++extra.rheight();
    resize(sizeHint() + extra);
    expiryMs = 10000 + 40 * qMax(0, text.length() - 100);
    expireTimer.start(expiryMs, this);
    hideTimer.stop();
}

void MyTipLabel::hideTipImmediately()
{
    if (closing)
        return;
    closing = true;
    // A closed label only waits for its deletion: it must not react any more.
    qApp->removeEventFilter(this);
    close();
    deleteLater();
}

void MyTipLabel::placeTip(const QPoint& pos, QWidget* w)
{
    Q_UNUSED(w);
    const QRect screen = screenFor(pos)->geometry();
    QPoint p = pos + QPoint(2, 16);
    if (p.x() + width() > screen.x() + screen.width())
        p.rx() -= 4 + width();
    if (p.y() + height() > screen.y() + screen.height())
        p.ry() -= 24 + height();
    if (p.y() < screen.y())
        p.setY(screen.y());
    if (p.x() + width() > screen.x() + screen.width())
        p.setX(screen.x() + screen.width() - width());
    if (p.x() < screen.x())
        p.setX(screen.x());
    if (p.y() + height() > screen.y() + screen.height())
        p.setY(screen.y() + screen.height() - height());
    move(p);
}

bool MyTipLabel::tipChanged(const QPoint& pos, const QString& text, QObject* o) const
{
    if (text != this->text())
        return true;
    if (o != widget)
        return true;
    return pos != this->pos();
}

QScreen* MyTipLabel::screenFor(const QPoint& pos)
{
    if (QScreen* s = QGuiApplication::screenAt(pos))
        return s;
    return QGuiApplication::primaryScreen();
}

bool MyTipLabel::eventFilter(QObject* o, QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Leave:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::Wheel:
        hideTipImmediately();
        break;
    case QEvent::MouseMove:
        if (o == widget && !rect.isNull()
            && !rect.contains(static_cast<QMouseEvent*>(e)->pos()))
            hideTipImmediately();
        break;
    default:
        break;
    }
    return false;
}

void MyTipLabel::timerEvent(QTimerEvent* e)
{
    // Neither timer closes the tip: it goes only by the closing events.
    Q_UNUSED(e);
}

void MyTipLabel::mouseMoveEvent(QMouseEvent* e)
{
    if (!rect.isNull()) {
        QPoint pos = e->globalPos();
        if (widget)
            pos = widget->mapFromGlobal(pos);
        if (!rect.contains(pos))
            hideTipImmediately();
    }
    QLabel::mouseMoveEvent(e);
}

void MyTipLabel::paintEvent(QPaintEvent* e)
{
    QStylePainter p(this);
    QStyleOptionFrame opt;
    opt.initFrom(this);
    p.drawPrimitive(QStyle::PE_PanelTipLabel, opt);
    p.end();
    QLabel::paintEvent(e);
}

void MyTipLabel::resizeEvent(QResizeEvent* e)
{
    QStyleHintReturnMask frameMask;
    QStyleOption option;
    option.init(this);
    if (style()->styleHint(QStyle::SH_ToolTip_Mask, &option, this, &frameMask))
        setMask(frameMask.region);
    QLabel::resizeEvent(e);
}

void MyToolTip::showText(const QPoint& pos, const QString& text, QWidget* w)
{
    showText(pos, text, w, QRect());
}

void MyToolTip::showText(const QPoint& pos, const QString& text, QWidget* w, const QRect& rect)
{
    MyTipLabel* label = MyTipLabel::instance;
    if (label && label->isVisible()) {
        if (text.isEmpty()) {
            label->hideTipImmediately();
            return;
        }
        label->reuseTip(text);
        label->setTipRect(w, rect);
        label->placeTip(pos, w);
        return;
    }
    if (text.isEmpty())
        return;
    label = new MyTipLabel(text, w);
    label->setTipRect(w, rect);
    label->placeTip(pos, w);
    label->setObjectName(QStringLiteral("MyToolTip_label"));
    label->show();
    // Watching starts once the label is up: the events of its own showing
    // (a focus change of the window under it) must not close it again.
    qApp->installEventFilter(label);
}

void MyToolTip::setTipRect(QWidget* w, const QRect& rect)
{
    if (MyTipLabel::instance)
        MyTipLabel::instance->setTipRect(w, rect);
}

bool MyToolTip::isVisible()
{
    return MyTipLabel::instance && MyTipLabel::instance->isVisible();
}

QString MyToolTip::text()
{
    return MyTipLabel::instance ? MyTipLabel::instance->text() : QString();
}

QPalette MyToolTip::palette()
{
    return tipPalette();
}

void MyToolTip::setPalette(const QPalette& palette)
{
    tipPalette() = palette;
    if (MyTipLabel::instance)
        MyTipLabel::instance->setPalette(palette);
}

QFont MyToolTip::font()
{
    return QApplication::font("MyTipLabel");
}

void MyToolTip::setFont(const QFont& font)
{
    QApplication::setFont(font, "MyTipLabel");
}
