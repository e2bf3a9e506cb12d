#include "SignalWindowTab.h"

#include <QCloseEvent>
#include <QMouseEvent>

SignalWindowTab::SignalWindowTab(QWidget* parent)
    : QWidget(parent)
{
}

void SignalWindowTab::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    setFocus(Qt::OtherFocusReason);
}

void SignalWindowTab::focusInEvent(QFocusEvent*)
{
    // No repaint on focus changes.
}

void SignalWindowTab::focusOutEvent(QFocusEvent*)
{
}

void SignalWindowTab::closeEvent(QCloseEvent* e)
{
    emit attachTab(true, windowTitle());
    e->accept();
}
