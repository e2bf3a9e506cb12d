#include "Tip.h"

#include <QCursor>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScreen>
#include <QTimer>

namespace {

QLabel* makeArrowLabel()
{
    auto* l = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    l->setAttribute(Qt::WA_TranslucentBackground);
    l->setAutoFillBackground(true);
    l->hide();
    return l;
}

QWidget* makeCorner()
{
    auto* w = new QWidget(nullptr, Qt::FramelessWindowHint);
    w->setAttribute(Qt::WA_TranslucentBackground);
    return w;
}

QString twoHex(int v)
{
    return QString::number(v, 16).rightJustified(2, QLatin1Char('0'));
}

} // namespace

Tip::Tip(QWidget* target, const QString& text, int placement, int showDelayMs, int lifeMs, int mode)
    : QWidget(target)
    , target(target)
    , tipText(text)
    , tipPlacement(placement)
    , textEmpty(text.isEmpty())
    , mode(mode)
    , showDelay(showDelayMs)
    , lifeTime(lifeMs)
{
    // The bubble is built at its first showing: most tips are never shown,
    // and a window with its layout, style and arrows for each of them is
    // most of the cost of building a page.
    waitTimer = new QTimer(this);
    lifeTimer = new QTimer(this);
    showAgainTimer = new QTimer(this);
    unstuckTimer = new QTimer(this);
    connect(waitTimer, &QTimer::timeout, this, &Tip::stopTipWaitTimer);
    connect(lifeTimer, &QTimer::timeout, this, &Tip::stopTipLifeTimer);
    connect(showAgainTimer, &QTimer::timeout, this, &Tip::stopShowAgainTimer);
    connect(unstuckTimer, &QTimer::timeout, this, &Tip::stopUnstuckTimer);

    setMouseTracking(true);
    installEventFilter(this);
    if (target) {
        resize(target->size());
        // The catcher follows the target's size as it changes, instead of a
        // timer per tip checking it.
        target->installEventFilter(this);
        // A child made after its window was shown is not shown by Qt itself,
        // also when the target waits on a hidden page to be shown.
        show();
    }
}

Tip::~Tip()
{
    // The bubble has no parent: it goes with the tip.
    delete bubbleWindow;
}

void Tip::buildBubble()
{
    if (bubbleWindow)
        return;
    bubbleWindow = new QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    bubbleWindow->setAttribute(Qt::WA_TranslucentBackground);
    bubbleWindow->setAttribute(Qt::WA_NoSystemBackground);
    bubbleWindow->setStyleSheet(QStringLiteral("background: transparent;"));
    shadow = new QGraphicsDropShadowEffect(bubbleWindow);
    shadow->setBlurRadius(4);
    shadow->setColor(Qt::darkGray);
    shadow->setOffset(0, 0);
    bubbleWindow->setGraphicsEffect(shadow);

    auto* grid = new QGridLayout(bubbleWindow);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    cornerTopLeft = makeCorner();
    cornerTopRight = makeCorner();
    cornerBottomLeft = makeCorner();
    cornerBottomRight = makeCorner();
    arrowTop = makeArrowLabel();
    arrowBottom = makeArrowLabel();
    arrowRight = makeArrowLabel();
    arrowLeft = makeArrowLabel();
    body = new QFrame;
    body->setFrameShape(QFrame::Box);
    grid->addWidget(cornerTopLeft, 0, 0);
    grid->addWidget(cornerTopRight, 0, 2);
    grid->addWidget(cornerBottomLeft, 2, 0);
    grid->addWidget(cornerBottomRight, 2, 2);
    grid->addWidget(arrowTop, 0, 1, Qt::AlignHCenter);
    grid->addWidget(arrowLeft, 1, 0, Qt::AlignVCenter);
    grid->addWidget(arrowRight, 1, 2, Qt::AlignVCenter);
    grid->addWidget(body, 1, 1);
    grid->addWidget(arrowBottom, 2, 1, Qt::AlignHCenter);
    for (QWidget* c : {cornerTopLeft, cornerTopRight, cornerBottomLeft, cornerBottomRight})
        c->setFixedSize(arrowDepth, arrowDepth);

    auto* bodyGrid = new QGridLayout(body);
    bodyGrid->setSpacing(0);
    bodyGrid->setContentsMargins(0, 0, 0, 0);
    textLabel = new QLabel(tipText);
    textLabel->setTextFormat(Qt::RichText);
    if (fontSet)
        textLabel->setFont(tipFont);
    bodyGrid->addWidget(textLabel, 0, 0);

    updateArrow(Qt::white);
    applyBodyStyle();
    bubbleWindow->adjustSize();
}

QWidget* Tip::bubble()
{
    buildBubble();
    return bubbleWindow;
}

void Tip::applyBodyStyle()
{
    body->setStyleSheet(QStringLiteral("border: 0; border-radius: %1px; background-color: %2; padding: %3")
                            .arg(rounded ? padding : 0)
                            .arg(backgroundColor)
                            .arg(padding));
}

void Tip::setText(const QString& newText)
{
    tipText = newText;
    textEmpty = tipText.isEmpty();
    if (textLabel)
        textLabel->setText(tipText);
    // An emptied text takes a waiting or shown bubble with it.
    if (textEmpty) {
        waitTimer->stop();
        lifeTimer->stop();
        hideBubble();
    }
}

void Tip::setPlacement(int placement)
{
    tipPlacement = placement;
}

void Tip::setGap(int g)
{
    gap = g;
}

void Tip::setPadding(int p)
{
    padding = p;
}

void Tip::setRounded(bool r)
{
    rounded = r;
}

void Tip::setBackgroundColor(const QColor& c)
{
    backgroundColor = QLatin1Char('#') + twoHex(c.alpha()) + twoHex(c.red()) + twoHex(c.green()) + twoHex(c.blue());
}

void Tip::setTipFont(const QFont& font)
{
    tipFont = font;
    fontSet = true;
    if (textLabel)
        textLabel->setFont(font);
}

void Tip::setArrowVisible(bool visible)
{
    arrowVisible = visible;
}

bool Tip::isBubbleVisible() const
{
    return bubbleWindow && bubbleWindow->isVisible();
}

void Tip::hideBubble()
{
    if (bubbleWindow)
        bubbleWindow->hide();
}

QLabel* Tip::arrowLabel(int placement) const
{
    switch (placement) {
    case 0: return arrowRight;
    case 1: return arrowBottom;
    case 2: return arrowLeft;
    case 3: return arrowTop;
    default: return nullptr;
    }
}

void Tip::updateArrow(const QColor& color)
{
    buildBubble();
    bubbleWindow->adjustSize();
    arrowDepth = int(bubbleWindow->width() * 0.001 + 10);
    arrowBase = int(bubbleWindow->height() * 0.01 + 16);
    const QColor fill = arrowVisible ? color : QColor(Qt::transparent);
    const int d = arrowDepth;
    const int b = arrowBase;
    auto draw = [&](QLabel* label, const QSize& size, const QPolygon& triangle) {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPolygon(triangle);
        p.end();
        label->setPixmap(pm);
    };
    draw(arrowBottom, QSize(b, d), QPolygon({QPoint(b, 0), QPoint(0, 0), QPoint(b / 2, d)}));
    draw(arrowTop, QSize(b, d), QPolygon({QPoint(b / 2, 0), QPoint(0, d), QPoint(b, d)}));
    draw(arrowLeft, QSize(d, b), QPolygon({QPoint(d, 0), QPoint(0, b / 2), QPoint(d, b)}));
    draw(arrowRight, QSize(d, b), QPolygon({QPoint(0, 0), QPoint(d, b / 2), QPoint(0, b)}));
}

bool Tip::cursorOnTarget() const
{
    if (!target)
        return false;
    const QRect r(target->mapToGlobal(QPoint(0, 0)), target->size());
    return r.contains(QCursor::pos());
}

bool Tip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == target && event->type() == QEvent::Resize)
        resizeWidgetMask();
    if (watched != this)
        return false;
    switch (event->type()) {
    case QEvent::Hide:
        if (mode == 1)
            deleteLater();
        return false;
    case QEvent::MouseButtonPress:
        hideBubble();
        event->ignore();
        return true;
    case QEvent::MouseButtonRelease:
        // Step aside for a moment so that the target gets the mouse itself.
        hide();
        showAgainTimer->start(50);
        if (cursorOnTarget())
            event->ignore();
        return true;
    case QEvent::Leave:
        if (arrow)
            arrow->hide();
        hideBubble();
        waitTimer->stop();
        lifeTimer->stop();
        return false;
    case QEvent::Enter:
        if (!textEmpty) {
            waitTimer->start(showDelay);
            unstuckTimer->start(400);
        }
        return false;
    default:
        return false;
    }
}

void Tip::stopTipWaitTimer()
{
    waitTimer->stop();
    if (textEmpty || !cursorOnTarget()) {
        hideBubble();
        return;
    }
    lifeTimer->start(lifeTime);
    buildBubble();
    positionBubble();
    bubbleWindow->show();
    for (QLabel* a : {arrowTop, arrowBottom, arrowRight, arrowLeft})
        a->hide();
    if (arrow)
        arrow->show();
}

void Tip::stopTipLifeTimer()
{
    lifeTimer->stop();
    hideBubble();
}

void Tip::stopShowAgainTimer()
{
    showAgainTimer->stop();
    show();
}

void Tip::stopUnstuckTimer()
{
    if (cursorOnTarget())
        return;
    hideBubble();
    unstuckTimer->stop();
}

void Tip::resizeWidgetMask()
{
    if (!target || size() == target->size())
        return;
    setFixedSize(target->size());
    if (!bubbleWindow)
        return;
    for (QWidget* c : {cornerTopLeft, cornerTopRight, cornerBottomLeft, cornerBottomRight})
        c->setFixedSize(arrowDepth, arrowDepth);
}

QPoint Tip::cornerFor(int placement, const QPoint& cursor) const
{
    const QPoint t = target->mapToGlobal(QPoint(0, 0));
    const int tw = target->width();
    const int th = target->height();
    const int bw = bubbleWindow->width();
    const int bh = bubbleWindow->height();
    switch (placement) {
    case 0: return QPoint(t.x() - bw - gap, t.y() + th / 2 - bh / 2);
    case 1: return QPoint(t.x() + tw / 2 - bw / 2, t.y() - bh - gap);
    case 2: return QPoint(t.x() + tw + gap, t.y() + th / 2 - bh / 2);
    case 3: return QPoint(t.x() + tw / 2 - bw / 2, t.y() + th + gap);
    default: return cursor;
    }
}

void Tip::positionBubble()
{
    const QPoint cursor = QCursor::pos();
    bubbleWindow->adjustSize();
    const QList<QScreen*> screens = QGuiApplication::screens();
    // The bubble must lie whole on one screen: screens of different sizes or
    // stacked screens leave gaps that a single bounding box would not show.
    auto fits = [&](const QRect& r) {
        for (const QScreen* s : screens) {
            if (s->geometry().contains(r))
                return true;
        }
        return false;
    };
    for (int tries = 0; tries < 3; ++tries) {
        const QPoint corner = cornerFor(tipPlacement, cursor);
        arrow = arrowLabel(tipPlacement);
        if (fits(QRect(corner, bubbleWindow->size()))) {
            bubbleWindow->move(corner);
            return;
        }
        tipPlacement = (tipPlacement + 1) % 3;
    }
    tipPlacement = 4;
    arrow = nullptr;
    bubbleWindow->move(cursor);
}
