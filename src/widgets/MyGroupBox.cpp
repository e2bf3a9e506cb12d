#include "MyGroupBox.h"

#include <QEvent>

MyGroupBox::MyGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent)
{
}

bool MyGroupBox::event(QEvent* e)
{
    if (e->type() == QEvent::MouseButtonPress)
        return false;
    return QGroupBox::event(e);
}
