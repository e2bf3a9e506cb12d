#include "WidgetFold.h"

#include "WidgetResources.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPixmapCache>
#include <QPushButton>
#include <QTimer>

namespace {
const int FoldedHeight = 20;
const int Step = 32;
const int TickMs = 2;
const QSize IconSize(10, 8);

// Every fold shows one of the same two pictures: each is read once.
QIcon arrowIcon(const QString& path)
{
    QPixmap picture;
    if (!QPixmapCache::find(path, &picture)) {
        picture.load(path);
        QPixmapCache::insert(path, picture);
    }
    return QIcon(picture);
}
} // namespace

QString WidgetFold::arrowStyleSheet(int topMargin)
{
    QString s;
    s.append(QStringLiteral("QPushButton {min-width: ")).append(QStringLiteral("%1").arg(IconSize.width()));
    s.append(QStringLiteral("px; max-width: ")).append(QStringLiteral("%1").arg(IconSize.width()));
    s.append(QStringLiteral("px; min-height: ")).append(QStringLiteral("%1").arg(IconSize.height()));
    s.append(QStringLiteral("px; max-height: ")).append(QStringLiteral("%1").arg(IconSize.height()));
    s.append(QStringLiteral("px; border-radius: 0px; background: none; margin-left: 4px; margin-top: "));
    s.append(QStringLiteral("%1").arg(topMargin)).append(QStringLiteral("px; border: 0;}"));
    return s;
}

QString WidgetFold::arrowPicture(int foldedFlag)
{
    return QStringLiteral(":/WidgetFold/%1.png")
        .arg(foldedFlag == 1 ? QStringLiteral("arrow_up") : QStringLiteral("arrow_down"));
}

WidgetFold::WidgetFold(QWidget* content)
    : contentBox(qobject_cast<QGroupBox*>(content))
{
    initWidgetResources();
    Q_ASSERT_X(contentBox, "WidgetFold", "the content must be a QGroupBox");
    setContentsMargins(0, 0, 0, 0);
    layout = new QGridLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    rememberedHeight = content->frameGeometry().height();
    layout->addWidget(content, 0, 0, 1, 2, Qt::AlignTop);

    titleStrip = new QPushButton;
    titleStrip->setContentsMargins(0, 0, 0, 0);
    titleStrip->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
    titleStrip->setStyleSheet(QStringLiteral("background: none; border: 0;"));
    layout->addWidget(titleStrip, 0, 0, 1, 2, Qt::AlignTop);

    folded = 0;
    arrow = new QPushButton;
    arrow->setStyleSheet(arrowStyleSheet(6));
    arrow->setIcon(arrowIcon(arrowPicture(folded)));
    arrow->setIconSize(IconSize);
    layout->addWidget(arrow, 0, 1, Qt::AlignRight | Qt::AlignTop);

    connect(arrow, &QPushButton::clicked, this, &WidgetFold::processWidgetFolding);
    connect(titleStrip, &QPushButton::clicked, this, &WidgetFold::processWidgetFolding);
    slideTimer = new QTimer(this);
    connect(slideTimer, &QTimer::timeout, this, &WidgetFold::updateSliding);
    idle = true;
}

void WidgetFold::processWidgetFolding()
{
    if (!idle || !contentBox)
        return;
    if (!folded)
        rememberedHeight = contentBox->frameGeometry().height();
    folded = !folded;
    idle = false;
    slideTimer->start(TickMs);
}

void WidgetFold::updateSliding()
{
    const int h = contentBox->height();
    if (folded) {
        if (h <= FoldedHeight) {
            contentBox->setFixedHeight(FoldedHeight);
            finishSlide();
        } else {
            contentBox->setFixedHeight(qMax(h - Step, 0));
        }
    } else {
        if (h >= rememberedHeight) {
            contentBox->setFixedHeight(qMax(rememberedHeight, 0));
            // Let the box follow its content again: rows shown after the
            // fold must not be cut off at the old height.
            contentBox->setMinimumHeight(0);
            contentBox->setMaximumHeight(QWIDGETSIZE_MAX);
            finishSlide();
        } else {
            contentBox->setFixedHeight(qMax(h + Step, 0));
        }
    }
}

void WidgetFold::finishSlide()
{
    slideTimer->stop();
    idle = true;
    arrow->setIcon(arrowIcon(arrowPicture(folded)));
    arrow->setIconSize(IconSize);
    arrow->setStyleSheet(arrowStyleSheet(folded ? 13 : 6));
}
