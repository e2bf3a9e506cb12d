// Pictures of the whole program for a person to look at: the first window as
// it opens, then linked to the unit on the port that BMS_SERIAL_PORTS names
// (./scripts/screenshots starts the emulator there), every page and every
// tab, every window a "..." button or the menu's About opens, and the tips
// that once showed wrongly. Run under an X server; writes PNGs of the screen
// to the folder given.
#include "BmsGui.h"
#include "ConfigPage.h"
#include "GeneralTab.h"
#include "StartupRules.h"
#include "Tip.h"
#include "myTabWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QScreen>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QString g_folder;
int g_count = 0;

QString fileSafe(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.remove(QLatin1String("..."));
    text.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    return text.toLower().remove(QRegularExpression(QStringLiteral("^-+|-+$")));
}

void shoot(const QString& name)
{
    QCoreApplication::processEvents();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString file = QStringLiteral("%1-%2.png").arg(++g_count, 3, 10, QLatin1Char('0')).arg(name);
    const QString path = QDir(g_folder).filePath(file);
    screen.save(path);
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QTest::qWait(50);
    return condition();
}

QSet<QWidget*> shownWindows()
{
    QSet<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !(w->windowFlags() & Qt::ToolTip) && w->windowType() != Qt::Popup)
            windows.insert(w);
    return windows;
}

// Closes a modal window the way its Cancel or No would.
void dismiss(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        for (QAbstractButton* b : box->buttons()) {
            const auto role = box->buttonRole(b);
            if (role == QMessageBox::RejectRole || role == QMessageBox::NoRole) {
                b->click();
                return;
            }
        }
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

// Presses a button; the window it opens is taken and closed again.
void pressAndShoot(const std::function<void()>& press, const QString& name)
{
    const QSet<QWidget*> before = shownWindows();
    bool shot = false;
    QTimer watch;
    watch.setInterval(700);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (!shot) {
                shoot(name);
                shot = true;
            }
            dismiss(modal);
        }
    });
    watch.start();
    press();
    waitFor([&] { return shot || !(shownWindows() - before).isEmpty(); }, 3000);
    QTest::qWait(700);
    watch.stop();
    for (QWidget* w : shownWindows() - before) {
        if (!shot) {
            shoot(name);
            shot = true;
        }
        w->close();
    }
    QTest::qWait(200);
}

void hoverAndShoot(QWidget* target, const QString& name)
{
    QCursor::setPos(target->mapToGlobal(target->rect().center()));
    // A virtual X server without a window manager may not tell the tip that
    // the pointer came in.
    for (Tip* tip : target->findChildren<Tip*>(QString(), Qt::FindDirectChildrenOnly)) {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(tip, &enter);
    }
    QTest::qWait(900);
    shoot(name);
    QCursor::setPos(QPoint(1, 1));
    QTest::qWait(300);
}

// The "..." buttons of what is on screen now.
QList<QPushButton*> windowButtons(QWidget* within)
{
    QList<QPushButton*> buttons;
    for (QPushButton* b : within->findChildren<QPushButton*>())
        if (b->isVisible() && b->isEnabled() && b->text().endsWith(QLatin1String("...")))
            buttons << b;
    return buttons;
}

// The tab widgets of a page that lie in no other tab widget.
QList<QTabWidget*> outerTabs(QWidget* page)
{
    QList<QTabWidget*> outer;
    for (QTabWidget* tabs : page->findChildren<QTabWidget*>()) {
        bool inner = false;
        for (QWidget* p = tabs->parentWidget(); p && p != page; p = p->parentWidget())
            inner = inner || qobject_cast<QTabWidget*>(p);
        if (!inner)
            outer << tabs;
    }
    return outer;
}

void shootTabs(QTabWidget* tabs, const QString& prefix, QSet<QPushButton*>* pressed)
{
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QTest::qWait(400);
        const QString name = prefix + QLatin1Char('-') + fileSafe(tabs->tabText(i));
        shoot(name);
        for (QTabWidget* inner : outerTabs(tabs->widget(i)))
            if (inner->isVisible())
                shootTabs(inner, name, pressed);
        for (QPushButton* b : windowButtons(tabs->widget(i))) {
            if (pressed->contains(b))
                continue;
            pressed->insert(b);
            pressAndShoot([b] { b->click(); }, name + QLatin1Char('-') + fileSafe(b->text()));
        }
    }
}

// Answers the login box with the emulator's password of the level asked.
void answerLogin()
{
    auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (!box)
        return;
    box->setTextValue(box->labelText().contains(QLatin1String("Level 2")) ? QStringLiteral("2222")
                                                                          : QStringLiteral("1111"));
    box->accept();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication::setDesktopSettingsAware(false);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_folder);
    // Dressed as the program dresses itself.
    QCoreApplication::setOrganizationName(QLatin1String(kOrganisationName));
    QCoreApplication::setApplicationName(QLatin1String(kApplicationName));
    QFontDatabase::addApplicationFont(QStringLiteral(":/tahoma.ttf"));
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));
    QString styleSheet;
    if (!readStyleSheet(QStringLiteral(":/stylesheet.css"), &styleSheet))
        return 1;
    app.setStyleSheet(styleSheet);
    // Whatever happens, the pictures taken so far stay and the run ends.
    QTimer::singleShot(300000, [] {
        std::fprintf(stderr, "screenshots: gave up after 5 minutes\n");
        std::exit(1);
    });

    BMS_GUI window;
    window.addQuitAction();
    if (!waitFor([&] { return window.isVisible(); }, 20000))
        return 1;
    QTest::qWait(500);
    shoot(QStringLiteral("first-window"));

    // Linked: the port row chooses the emulator by itself (auto-connection).
    if (!waitFor([&] { return window.windowTitle().contains(QLatin1String("BMS SN:")); }, 30000)) {
        std::fprintf(stderr, "screenshots: no link\n");
        shoot(QStringLiteral("no-link"));
        return 1;
    }
    ConfigPage* config = window.configPage();
    if (waitFor([&] { return config->loadQuestion() && config->loadQuestion()->isVisible(); }, 20000)) {
        shoot(QStringLiteral("load-question"));
        config->loadQuestion()->button(QMessageBox::Yes)->click();
        waitFor([&] { return config->configurationLoaded && !config->parametersLoading; }, 60000);
    }
    QTest::qWait(1500);
    shoot(QStringLiteral("linked"));

    QSet<QPushButton*> pressed;
    QListWidget* pages = window.pageList();
    QStackedWidget* stack = nullptr;
    for (QStackedWidget* s : window.findChildren<QStackedWidget*>())
        if (s->parentWidget() && s->parentWidget()->objectName() == QLatin1String("contentWidget"))
            stack = s;
    for (int row = 0; row < pages->count(); ++row) {
        pages->setCurrentRow(row);
        QTest::qWait(600);
        const QString page = fileSafe(pages->item(row)->text());
        shoot(page);
        QWidget* shown = stack ? stack->currentWidget() : nullptr;
        if (!shown)
            continue;
        for (QTabWidget* tabs : outerTabs(shown))
            if (tabs->isVisible())
                shootTabs(tabs, page, &pressed);
        for (QPushButton* b : windowButtons(shown)) {
            if (pressed.contains(b))
                continue;
            pressed.insert(b);
            pressAndShoot([b] { b->click(); }, page + QLatin1Char('-') + fileSafe(b->text()));
        }
    }

    // The menu's windows.
    for (QAction* menu : window.menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (QAction* a : menu->menu()->actions())
            if (a->isEnabled() && (a->text().endsWith(QLatin1String("...")) || a->text() == QLatin1String("About")))
                pressAndShoot([a] { a->trigger(); }, QStringLiteral("menu-") + fileSafe(a->text()));
    }

    // The tips: the current sensor type's pictures, and "Login..." right after a login.
    pages->setCurrentRow(2);
    config->tabWidget->setCurrentIndex(1);
    QTest::qWait(500);
    if (config->general && config->general->sensorTypeCombo)
        hoverAndShoot(config->general->sensorTypeCombo, QStringLiteral("tip-current-sensor-type"));
    config->tabWidget->setCurrentIndex(0);
    QTest::qWait(300);
    QTimer::singleShot(700, [] { answerLogin(); });
    config->loginButton->click();
    QTest::qWait(1500);
    hoverAndShoot(config->loginButton, QStringLiteral("tip-login-after-login"));

    // Closing would ask about the link: the pictures are written, so leave.
    std::fflush(stdout);
    std::_Exit(0);
}
