#include "CurrentPageStack.h"

CurrentPageStack::CurrentPageStack(QWidget* parent)
    : QStackedWidget(parent)
{
    connect(this, &QStackedWidget::currentChanged, this, [this] { updateGeometry(); });
}

QSize CurrentPageStack::sizeHint() const
{
    const QWidget* page = currentWidget();
    return page ? page->sizeHint().expandedTo(page->minimumSize()) : QStackedWidget::sizeHint();
}

// Pages are laid out for the room they ask for; some would let themselves be
// squeezed far below it (their editors then overlap): scroll instead.
QSize CurrentPageStack::minimumSizeHint() const
{
    return sizeHint();
}
