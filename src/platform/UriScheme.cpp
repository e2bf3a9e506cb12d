#include "UriScheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

QStringList uriSchemeRegistryCommands(const QString& programPath)
{
    const QString scheme = QString::fromLatin1(kUriScheme);
    const QString key = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Classes\\") + scheme;
    const QString q = QStringLiteral("\"");
    QString winPath = programPath;
    winPath.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString exeName = QFileInfo(programPath).fileName();
    // The program path and the "%1" placeholder are quoted separately so that
    // a path with blanks and a URL with blanks each stay one argument.
    return {
        QStringLiteral("REG Add ") + key + QStringLiteral(" /f /ve /t REG_SZ /d ") + q + QStringLiteral("URL:") + scheme + q,
        QStringLiteral("REG Add ") + key + QStringLiteral("\\DefaultIcon /f /ve /t REG_SZ /d ") + q + exeName + QStringLiteral(", 1") + q,
        QStringLiteral("REG Add ") + key + QStringLiteral("\\shell\\open\\command /f /ve /t REG_SZ /d ") + q
            + QStringLiteral("\\\"") + winPath + QStringLiteral("\\\" -uri \\\"%1\\\"") + q,
    };
}

namespace {
// Quoting of an Exec argument in a desktop entry.
QString desktopQuote(const QString& arg)
{
    QString out = arg;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    out.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    out.replace(QLatin1Char('`'), QStringLiteral("\\`"));
    out.replace(QLatin1Char('$'), QStringLiteral("\\$"));
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + out + QLatin1Char('"');
}
} // namespace

QString uriSchemeDesktopEntry(const QString& programPath)
{
    const QString scheme = QString::fromLatin1(kUriScheme);
    // %u is expanded by the launcher into exactly one argument, so the URL
    // arrives whole even with blanks in it.
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=KEPO BMS Dadevoz Arezi\n"
                          "Exec=%1 -uri %u\n"
                          "NoDisplay=true\n"
                          "MimeType=x-scheme-handler/%2;\n")
        .arg(desktopQuote(programPath), scheme);
}

void registerUriScheme(const QString& programPath)
{
#ifdef Q_OS_WIN
    const QString key = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Classes\\") + QString::fromLatin1(kUriScheme);
    QSettings reg(key, QSettings::NativeFormat);
    reg.setValue(QStringLiteral("URL Protocol"), QString());
    reg.setValue(QStringLiteral("/shell/open/command/"), QString());
    for (const QString& cmd : uriSchemeRegistryCommands(programPath))
        QProcess::execute(cmd);
    reg.sync();
#else
    const QString appsDir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                .filePath(QStringLiteral("applications"));
    if (!QDir().mkpath(appsDir))
        return;
    QSaveFile entry(QDir(appsDir).filePath(QString::fromLatin1(kUriSchemeDesktopFile)));
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    entry.write(uriSchemeDesktopEntry(programPath).toUtf8());
    if (!entry.commit())
        return;

    // Make it the default handler of the scheme, keeping the user's other
    // associations as they are.
    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(configDir);
    const QString mimeapps = QDir(configDir).filePath(QStringLiteral("mimeapps.list"));
    QStringList lines;
    {
        QFile in(mimeapps);
        if (in.open(QIODevice::ReadOnly | QIODevice::Text))
            lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QString assoc = QStringLiteral("x-scheme-handler/") + QString::fromLatin1(kUriScheme) + QLatin1Char('=')
        + QString::fromLatin1(kUriSchemeDesktopFile);
    const QString prefix = QStringLiteral("x-scheme-handler/") + QString::fromLatin1(kUriScheme) + QLatin1Char('=');
    int section = lines.indexOf(QStringLiteral("[Default Applications]"));
    if (section < 0) {
        lines << QStringLiteral("[Default Applications]") << assoc;
    } else {
        int i = section + 1;
        bool replaced = false;
        for (; i < lines.size() && !lines.at(i).startsWith(QLatin1Char('[')); ++i) {
            if (lines.at(i).startsWith(prefix)) {
                lines[i] = assoc;
                replaced = true;
            }
        }
        if (!replaced)
            lines.insert(section + 1, assoc);
    }
    QSaveFile out(mimeapps);
    if (out.open(QIODevice::WriteOnly | QIODevice::Text)) {
        out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        out.commit();
    }
#endif
}
