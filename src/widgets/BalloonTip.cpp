#include "BalloonTip.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimerEvent>

namespace {
BalloonTip* theBalloon = nullptr;
}

BalloonTip* BalloonTip::showBalloon(const QString& title, const QString& message, int msecs, bool showArrow)
{
    Q_UNUSED(showArrow);
    hideBalloon();
    theBalloon = new BalloonTip(title, message, nullptr);
    theBalloon->balloon(msecs < 0 ? 10000 : msecs);
    return theBalloon;
}

void BalloonTip::hideBalloon()
{
    if (!theBalloon)
        return;
    BalloonTip* b = theBalloon;
    theBalloon = nullptr;
    b->hide();
    delete b;
}

BalloonTip* BalloonTip::current()
{
    return theBalloon;
}

BalloonTip::BalloonTip(const QString& title, const QString& message, QWidget* parent)
    : QWidget(parent, Qt::ToolTip)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("BalloonTip"));

    auto* titleLabel = new QLabel;
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setText(title);
    QFont f = titleLabel->font();
    f.setBold(true);
    titleLabel->setFont(f);

    auto* messageLabel = new QLabel;
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setText(message);
    messageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int limit = screen ? screen->availableGeometry().width() / 3 : 0;
    if (limit > 0 && messageLabel->sizeHint().width() > limit) {
        messageLabel->setWordWrap(true);
        messageLabel->setFixedSize(limit, messageLabel->heightForWidth(limit));
    }

    auto* grid = new QGridLayout(this);
    grid->addWidget(titleLabel, 0, 0, 1, 2);
    grid->addWidget(messageLabel, 1, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setContentsMargins(3, 3, 3, 3);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(102, 178, 255));
    setPalette(pal);
}

BalloonTip::~BalloonTip()
{
    if (theBalloon == this)
        theBalloon = nullptr;
}

void BalloonTip::balloon(int msecs)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QRect scr = screens.isEmpty() ? QRect(0, 0, 800, 600) : screens.first()->geometry();
    const QPoint anchor = scr.bottomRight();
    // Sizes are final only once the style has had its say.
    ensurePolished();
    const QSize sh = sizeHint();
    const bool above = anchor.y() - sh.height() > 17;
    if (above)
        setContentsMargins(4, 3, 4, 21);
    else
        setContentsMargins(4, 21, 4, 3);
    const QSize size = sizeHint();  // with the margins just set
    const int y = above ? anchor.y() - size.height() : anchor.y();
    int x;
    if (anchor.x() + size.width() - 17 <= scr.width())
        x = qMax(anchor.x() - 18, scr.left() + 2);
    else
        x = qMin(anchor.x() - size.width() + 18, scr.right() - size.width() - 2);
    move(x, y);
    if (msecs > 0)
        timerId = startTimer(msecs);
    show();
}

void BalloonTip::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != timerId) {
        QWidget::timerEvent(e);
        return;
    }
    killTimer(timerId);
    timerId = -1;
    if (!underMouse())
        close();
}

void BalloonTip::mousePressEvent(QMouseEvent*)
{
    close();
}

void BalloonTip::paintEvent(QPaintEvent* e)
{
    QWidget::paintEvent(e);
}

void BalloonTip::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
}
