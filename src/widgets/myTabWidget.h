#pragma once

#include <QList>
#include <QPoint>
#include <QStringList>
#include <QTabWidget>

class QShortcut;
class QTabBar;

// A tab widget whose tabs the user drags out into windows of their own (a
// drag of more than 20 pixels on the tab bar) and docks back by closing those
// windows. Each page keeps its page index, the position it was given at
// construction; its tab index changes as pages leave and return. Pages
// should be SignalWindowTab (their attachTab signal docks them back).
class myTabWidget : public QTabWidget
{
    Q_OBJECT
public:
    // shortcuts, when given, holds one shortcut per page in page order.
    myTabWidget(const QList<QWidget*>& pages, const QStringList& titles, const QList<QShortcut*>* shortcuts,
                QWidget* parent = nullptr);
    ~myTabWidget() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    void undockCurrentTab(int distance);
    bool isTabDocked(int pageIndex) const;
    // Hides the tab at tabIndex; the page keeps its docked flag.
    void removeTabAt(int tabIndex);
    // Shows the page's tab again at its place in construction order.
    void restoreTab(QWidget* page);
    // Closes an undocked page's window, which docks it back.
    void closeTabWindow(int pageIndex);
    void setUndockLocked(bool locked);
    int pageCount() const { return pages.size(); }
    void setTabEnabledFor(QWidget* page, bool enabled);

signals:
    void tabDocked(bool docked, int pageIndex);
    // After a page was undocked and after it was docked back, with its page index.
    void tabDocked(int pageIndex);

private slots:
    void showTab(bool attach, QString title);

private:
    void selectPage(int pageIndex);

    int dockedCount = 0;
    QTabBar* bar = nullptr;
    bool dragging = false;
    QPoint pressPoint;
    QList<QWidget*> pages;
    QStringList titles;
    QList<bool> docked;
    QWidget* draggedWindow = nullptr;
    bool armed = true;
    bool undockAllowed = true;
};
