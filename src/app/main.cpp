// The program: splash, identity, font, URL scheme, translators, command line,
// style sheet, the main window and the event loop. The window shows itself at
// the first link-status update.
#include "BmsGui.h"
#include "StartupRules.h"
#include "UriScheme.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>
#include <QTranslator>

#include <future>

int main(int argc, char** argv)
{
    // Nothing here draws with OpenGL: on X11, loading the GL stack for the
    // first window would take a large share of the start-up.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    // The splash picture is decoded while the application connects to the
    // display.
    std::future<QImage> splashImage =
        std::async(std::launch::async, [] { return QImage(QStringLiteral(":/images/splash.png")); });
    QGuiApplication::setDesktopSettingsAware(false);
    QApplication app(argc, argv);
    QTranslator qtTranslator;
    QTranslator appTranslator;

    const QPixmap splashPicture = QPixmap::fromImage(splashImage.get());
    const QRect splashRect = splashGeometry(QGuiApplication::primaryScreen()->geometry().size());
    QSplashScreen splash(splashPicture.scaledToHeight(splashRect.height(), Qt::SmoothTransformation));
    splash.move(splashRect.topLeft());
    splash.show();
    app.processEvents();

    QCoreApplication::setOrganizationName(QLatin1String(kOrganisationName));
    QCoreApplication::setOrganizationDomain(QLatin1String(kOrganisationDomain));
    QCoreApplication::setApplicationName(QLatin1String(kApplicationName));
    QCoreApplication::setApplicationVersion(QLatin1String(kApplicationVersion));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/appicon.ico")));
    QFontDatabase::addApplicationFont(QStringLiteral(":/tahoma.ttf"));
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));

    registerUriScheme(QCoreApplication::applicationFilePath());

    g_language = QStringLiteral("en_US");
    if (qtTranslator.load(QStringLiteral(":/languages/qt_") + g_language,
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
    if (appTranslator.load(QStringLiteral(":/languages/BMS_GUI_") + g_language))
        QCoreApplication::installTranslator(&appTranslator);

    parseCommandLine(QCoreApplication::arguments());

    QString styleSheet;
    if (!readStyleSheet(QStringLiteral(":/stylesheet.css"), &styleSheet)) {
        QMessageBox::critical(nullptr, QStringLiteral("Runtime error"), QStringLiteral("Cannot find stylesheet file"),
                              QMessageBox::Ok);
        return 1;
    }

    // The style sheet goes on once the window is built: every widget moved
    // into another while one is in force is restyled with all it holds, over
    // and over while the pages are put together.
    BMS_GUI window;
    app.setStyleSheet(styleSheet);
    QObject::connect(&app, &QApplication::focusChanged, &window, &BMS_GUI::focusChanged);
    window.addQuitAction();
    splash.finish(&window);
    // The first frame is on screen: the page it did not need is built now.
    QTimer::singleShot(0, &window, [&window] { window.configPage(); });
    return app.exec();
}
