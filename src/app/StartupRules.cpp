#include "StartupRules.h"

#include "FeatureSupportTable.h"
#include "MainWindowServices.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

#include <algorithm>

const char* const pageIds[5] = {"status", "stats", "config", "update", "ext_devs"};
QString g_language;
QString g_uriFirst;
QString g_uriSecond;

QRect splashGeometry(const QSize& screen)
{
    const int w = screen.width();
    const int h = screen.height();
    const int side = int(std::min(w, h) / 2.25);
    return QRect((w - side) / 2, (h - side) / 2, side, side);
}

QRect fitWindowGeometry(const QSize& needed, const QSize& screen)
{
    const int screenWidth = screen.width() - 40;
    const int screenHeight = screen.height() - 60;
    const int w = std::min(needed.width(), screenWidth);
    const int h = std::min(needed.height(), screenHeight);
    return QRect((screenWidth - w) / 2, (screenHeight - h) / 2, w, h);
}

void parseCommandLine(const QStringList& arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("-m"))
            g_factoryMode = true;
        else if (arguments.at(i) == QLatin1String("-uri") && i + 1 < arguments.size())
            parseUri(arguments.at(i + 1));
    }
}

void parseUri(const QString& text)
{
    if (!text.contains(QLatin1Char(':'))) {
        qDebug() << "Wrong uri string";
        return;
    }
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() == 2) {
        g_uriFirst = parts.at(0);
        g_uriSecond = parts.at(1);
    } else if (parts.size() == 3) {
        g_uriFirst = parts.at(1);
        g_uriSecond = parts.at(2);
    }
}

QString titlePortText(const QString& portName)
{
    const int cut = portName.indexOf(QLatin1String(" - "));
    return cut < 0 ? portName : portName.left(cut);
}

uint32_t serialFromHex(const QString& field)
{
    bool ok = false;
    const uint32_t v = field.toUInt(&ok, 16);
    return ok ? v : 0;
}

static QString tr(const char* text)
{
    return QCoreApplication::translate("BMS_GUI", text);
}

QString connectingTitle(int dots)
{
    QString t = tr("Trying to connect");
    for (int i = 0; i < 5; ++i)
        t += i < dots ? QLatin1Char('.') : QLatin1Char(' ');
    return t;
}

QString bootloaderTitle(const QString& portText)
{
    return portText + tr(": BMS in bootloader mode");
}

QString linkedTitle(const QString& portText, const QString& serialHex, const QString& version)
{
    return portText + tr(": BMS SN:") + QString::number(serialFromHex(serialHex)) + tr(" ver.:") + version;
}

QString windowTitleFor(const QString& linkText)
{
    return linkText + QStringLiteral(" - ") + QLatin1String(kApplicationName);
}

bool chargingAfterCsLine(const QString& line, bool charging)
{
    const QString field = line.split(QLatin1Char(',')).value(1);
    if (line.startsWith(QLatin1String("CS1")))
        return field == QLatin1String("01");
    if (line.startsWith(QLatin1String("CS2")) || line.startsWith(QLatin1String("CS3"))
        || line.startsWith(QLatin1String("CS4")))
        return field == QLatin1String("01") ? true : charging;
    return charging;
}

bool readStyleSheet(const QString& path, QString* styleSheet)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    *styleSheet = QString::fromUtf8(bytes);
    return true;
}
