#pragma once

#include <QStackedWidget>

// A stack of pages that asks for the room of the page it shows, not of its
// largest page: a tall page elsewhere in the stack does not put scroll bars
// on a short one. It never asks for less than the page's own size hint.
class CurrentPageStack : public QStackedWidget
{
    Q_OBJECT
public:
    explicit CurrentPageStack(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};
