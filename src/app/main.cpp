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
#include <QTranslator>

int main(int argc, char** argv)
{
    QGuiApplication::setDesktopSettingsAware(false);
    QApplication app(argc, argv);
    QTranslator qtTranslator;
    QTranslator appTranslator;

    QPixmap splashPicture(QStringLiteral(":/images/splash.png"));
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
    app.setStyleSheet(styleSheet);

    BMS_GUI window;
    QObject::connect(&app, &QApplication::focusChanged, &window, &BMS_GUI::focusChanged);
    window.addQuitAction();
    splash.finish(&window);
    return app.exec();
}
