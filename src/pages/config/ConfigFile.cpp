#include "ConfigFile.h"

#include <QIODevice>
#include <QRegularExpression>

namespace ConfigFile {

namespace {

const int kCalibrationIds[] = {0x1002, 0x1007, 0x1008, 0x1009, 0x1100, 0x1103, 0x1105};

int widthCode(int id)
{
    return (id >> 8) & 3;
}

QString stripLineEnd(QByteArray raw)
{
    if (raw.endsWith('\n'))
        raw.chop(1);
    if (raw.endsWith('\r'))
        raw.chop(1);
    return QString::fromUtf8(raw);
}

bool isPrintableWithoutComma(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QLatin1Char(','))
            return false;
    return true;
}

} // namespace

bool isCalibrationId(int id)
{
    for (int c : kCalibrationIds)
        if (c == id)
            return true;
    return false;
}

quint32 widthMasked(int id, quint32 value)
{
    switch (widthCode(id)) {
    case 0:
        return value & 0xFFu;
    case 1:
        return value & 0xFFFFu;
    default:
        return value;
    }
}

QString paramLine(int id, quint32 value)
{
    static const int digits[] = {2, 4, 8};
    const int code = widthCode(id);
    if (code == 3)
        return QString();
    return QStringLiteral("CF2,%1,%2")
        .arg(id & 0xFFFF, 4, 16, QLatin1Char('0'))
        .arg(widthMasked(id, value), digits[code], 16, QLatin1Char('0'))
        .toUpper();
}

Writer::Writer(const QString& versionLine)
{
    addLine(QStringLiteral("BMSCFG"));
    addLine(versionLine);
}

void Writer::addLine(const QString& line)
{
    m_bytes += line.toLatin1();
    m_bytes += "\r\n";
}

void Writer::addParam(int id, quint32 value)
{
    const QString line = paramLine(id, value);
    if (!line.isEmpty())
        addLine(line);
}

void Writer::addStateOfCharge(int percent)
{
    addLine(QStringLiteral("SC1,%1").arg(qBound(0, percent, 100), 2, 16, QLatin1Char('0')).toUpper());
}

void Writer::addPasswords(const QString& level2, const QString& level1)
{
    addLine(QStringLiteral("PW2,") + level2);
    addLine(QStringLiteral("PW2,") + level1);
}

bool read(QIODevice* device, const QString& connectedVersionLine, Contents* contents)
{
    *contents = Contents();
    QList<QString> lines;
    while (!device->atEnd()) {
        const QByteArray raw = device->readLine(kMaxLineLength + 1);
        if (raw.isEmpty())
            break;
        lines << stripLineEnd(raw);
    }
    contents->lineCount = lines.size();
    // A configuration file names itself and the unit it came from; anything
    // else (an empty file included) is refused before a sentence is sent.
    if (lines.size() < 2 || !lines.at(0).startsWith(QLatin1String("BMSCFG")))
        return false;
    const QString fileKind = lines.at(1).left(9);
    if (fileKind.size() < 9 || fileKind != connectedVersionLine.left(9))
        return false;

    static const QRegularExpression paramPattern(QStringLiteral("^CF2,([0-9A-Fa-f]{4}),([0-9A-Fa-f]{1,8})$"));
    static const QRegularExpression socPattern(QStringLiteral("^SC1,[0-9A-Fa-f]{2}$"));
    for (int i = 2; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (line.size() <= 3 || line.at(3) != QLatin1Char(','))
            continue; // blank lines and comments
        Entry e;
        e.line = line;
        e.name = line.left(4);
        e.parameters = line.mid(4);
        const QRegularExpressionMatch m = paramPattern.match(line);
        if (m.hasMatch()) {
            e.kind = Entry::Param;
            e.id = m.captured(1).toInt(nullptr, 16);
            e.valueText = m.captured(2);
        } else if (socPattern.match(line).hasMatch() && e.parameters.toInt(nullptr, 16) <= 100) {
            e.kind = Entry::StateOfCharge;
        } else if (e.name == QLatin1String("PW2,") && isPrintableWithoutComma(e.parameters)) {
            e.kind = Entry::Password;
        } else {
            contents->rejected << line;
            continue;
        }
        contents->entries << e;
    }
    return true;
}

} // namespace ConfigFile
