#include "ButtonImageGallery.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPixmap>

#include <algorithm>

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent, Qt::WindowFlags flags)
    : QLabel(text, parent, flags)
{
}

ClickableLabel::~ClickableLabel() = default;

void ClickableLabel::mousePressEvent(QMouseEvent*)
{
    emit pressed();
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent*)
{
    emit released();
    emit clicked();
}

void ButtonImageGallery::createItem(const QString& picture, const QString& caption,
                                    const std::function<void()>& action)
{
    auto* label = new ClickableLabel(caption);
    label->setPixmap(QPixmap(picture));
    label->setScaledContents(true);
    label->setFixedWidth(kItemWidth);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    label->setStyleSheet(QStringLiteral("QLabel { border: 1px solid lightgrey; }"));
    label->installEventFilter(this);
    auto* effect = new QGraphicsOpacityEffect(label);
    effect->setOpacity(kRestingOpacity);
    label->setGraphicsEffect(effect);
    if (action)
        connect(label, &ClickableLabel::clicked, this, action);
    if (std::find(items.begin(), items.end(), label) == items.end())
        items.push_back(label);
}

bool ButtonImageGallery::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Enter && event->type() != QEvent::Leave)
        return false;
    auto* label = qobject_cast<ClickableLabel*>(watched);
    if (!label)
        return false;
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(label->graphicsEffect()))
        effect->setOpacity(event->type() == QEvent::Enter ? 1.0 : kRestingOpacity);
    return false;
}
