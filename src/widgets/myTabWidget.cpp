#include "myTabWidget.h"

#include "SignalWindowTab.h"

#include <QCursor>
#include <QMouseEvent>
#include <QShortcut>
#include <QTabBar>

#include <cstdlib>

myTabWidget::myTabWidget(const QList<QWidget*>& pageList, const QStringList& titleList,
                         const QList<QShortcut*>* shortcuts, QWidget* parent)
    : QTabWidget(parent)
{
    for (int i = 0; i < pageList.size(); ++i) {
        QWidget* page = pageList.at(i);
        const QString title = titleList.value(i);
        addTab(page, title);
        if (auto* tab = qobject_cast<SignalWindowTab*>(page))
            connect(tab, &SignalWindowTab::attachTab, this, &myTabWidget::showTab);
        pages.append(page);
        titles.append(title);
        docked.append(true);
        if (shortcuts && i < shortcuts->size() && shortcuts->at(i))
            connect(shortcuts->at(i), &QShortcut::activated, this, [this, i] { selectPage(i); });
    }
    dockedCount = pages.size();
    bar = tabBar();
    bar->installEventFilter(this);
    bar->setAutoFillBackground(true);
    dragging = false;
}

myTabWidget::~myTabWidget()
{
    // Undocked pages are windows without a parent: they go with their tab widget.
    for (QWidget* page : qAsConst(pages)) {
        if (!page->parentWidget())
            delete page;
    }
}

void myTabWidget::selectPage(int pageIndex)
{
    // The shortcut of a page shows that page, wherever its tab is now; a page
    // that has no tab (undocked or hidden) is left alone.
    QWidget* page = pages.at(pageIndex);
    if (indexOf(page) >= 0)
        setCurrentWidget(page);
}

bool myTabWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != bar)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        pressPoint = static_cast<QMouseEvent*>(event)->localPos().toPoint();
        break;
    case QEvent::MouseMove: {
        const auto* me = static_cast<QMouseEvent*>(event);
        // The tab bar tracks the mouse for its hover look: a move without a
        // button held is no drag.
        if (me->buttons() == Qt::NoButton)
            break;
        const QPoint pos = me->localPos().toPoint();
        if (armed) {
            const int distance = qMax(std::abs(pos.x() - pressPoint.x()), std::abs(pos.y() - pressPoint.y()));
            undockCurrentTab(distance);
        }
        if (dragging && draggedWindow) {
            armed = false;
            const QPoint c = QCursor::pos();
            draggedWindow->move(c.x() - draggedWindow->width() / 2, c.y() - 20);
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        dragging = false;
        armed = true;
        break;
    default:
        break;
    }
    return false;
}

void myTabWidget::undockCurrentTab(int distance)
{
    if (std::abs(distance) <= 20 || dockedCount < 2 || dragging || !undockAllowed)
        return;
    QWidget* page = currentWidget();
    const int i = pages.indexOf(page);
    if (!page || i < 0)
        return;
    page->setParent(nullptr);
    page->setWindowTitle(titles.at(i));
    page->show();
    page->adjustSize();
    --dockedCount;
    dragging = true;
    docked[i] = false;
    draggedWindow = page;
    emit tabDocked(i);
}

void myTabWidget::showTab(bool attach, QString title)
{
    const int i = titles.indexOf(title);
    if (!attach || i < 0)
        return;
    restoreTab(pages.at(i));
    docked[i] = true;
    emit tabDocked(i);
}

bool myTabWidget::isTabDocked(int pageIndex) const
{
    return docked.value(pageIndex, false);
}

void myTabWidget::removeTabAt(int tabIndex)
{
    if (tabIndex < 0 || tabIndex >= count())
        return;
    --dockedCount;
    removeTab(tabIndex);
}

void myTabWidget::restoreTab(QWidget* page)
{
    const int i = pages.indexOf(page);
    // A page that already has a tab stays where it is (and is not counted twice).
    if (i < 0 || indexOf(page) >= 0)
        return;
    ++dockedCount;
    // Count the pages before it that really have a tab: hidden and undocked
    // pages hold no position.
    int position = 0;
    for (int k = 0; k < i; ++k) {
        if (indexOf(pages.at(k)) >= 0)
            ++position;
    }
    insertTab(position, page, titles.at(i));
}

void myTabWidget::closeTabWindow(int pageIndex)
{
    // Only a page in a window of its own has something to close; closing a
    // docked page would just blank its tab.
    if (pageIndex < 0 || pageIndex >= pages.size() || docked.at(pageIndex))
        return;
    pages.at(pageIndex)->close();
}

void myTabWidget::setUndockLocked(bool locked)
{
    undockAllowed = !locked;
}

void myTabWidget::setTabEnabledFor(QWidget* page, bool enabled)
{
    for (int t = 0; t < count(); ++t) {
        if (widget(t) == page) {
            if (isTabEnabled(t) != enabled)
                setTabEnabled(t, enabled);
            return;
        }
    }
}
