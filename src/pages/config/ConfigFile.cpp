#include "ConfigFile.h"

#include <QCoreApplication>
#include <QHash>
#include <QIODevice>

namespace ConfigFile {

namespace {

const int kCalibrationIds[] = {0x1002, 0x1007, 0x1008, 0x1009, 0x1100, 0x1103, 0x1105};
constexpr int kShownLineLength = 60;
constexpr int kPasswordLines = 2;

QString tr(const char* text)
{
    return QCoreApplication::translate("ConfigFile", text);
}

int widthCode(int id)
{
    return (id >> 8) & 3;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool isHexText(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!isHexDigit(c))
            return false;
    return true;
}

bool isBlank(const QByteArray& raw)
{
    for (char c : raw)
        if (c != ' ' && c != '\t')
            return false;
    return true;
}

// The line as a message can show it: short, and with what cannot be seen
// (a NUL, a control character) written out.
QString shownText(const QByteArray& raw)
{
    QString text;
    const QByteArray head = raw.left(kShownLineLength);
    for (int i = 0; i < head.size();) {
        const uchar c = uchar(head.at(i));
        if (c < 0x20 || c == 0x7F) {
            text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
            ++i;
            continue;
        }
        int j = i;
        while (j < head.size() && uchar(head.at(j)) >= 0x20 && uchar(head.at(j)) != 0x7F)
            ++j;
        text += QString::fromUtf8(head.constData() + i, j - i);
        i = j;
    }
    if (raw.size() > kShownLineLength)
        text += QStringLiteral("...");
    return text;
}

QString hexId(int id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper();
}

class Checker
{
public:
    explicit Checker(Contents* contents)
        : m_contents(contents)
    {
    }

    void line(int number, const QByteArray& raw, bool tooLong)
    {
        if (!tooLong && (isBlank(raw) || raw.startsWith('#')))
            return; // blank lines and comments
        if (tooLong)
            return problem(number, raw, tr("longer than %1 characters").arg(kMaxLineLength));
        if (raw.contains('\0'))
            return problem(number, raw, tr("holds a NUL byte"));
        for (char c : raw)
            if (uchar(c) < 0x20 || uchar(c) == 0x7F)
                return problem(number, raw, tr("holds a control character"));
        const QString text = QString::fromUtf8(raw.constData(), raw.size());
        if (text.size() <= 3 || text.at(3) != QLatin1Char(','))
            return problem(number, raw, tr("not a sentence: its fourth character is not a comma"));

        Entry e;
        e.lineNumber = number;
        e.line = text;
        e.name = text.left(4);
        e.parameters = text.mid(4);
        if (e.name == QLatin1String("CF2,"))
            param(raw, e);
        else if (e.name == QLatin1String("SC1,"))
            stateOfCharge(raw, e);
        else if (e.name == QLatin1String("PW2,"))
            password(raw, e);
        else
            problem(number, raw, tr("%1 is not a sentence a configuration file carries").arg(text.left(3)));
    }

private:
    void param(const QByteArray& raw, Entry& e)
    {
        const QString idText = e.parameters.section(QLatin1Char(','), 0, 0);
        if (idText.size() != 4 || !isHexText(idText) || e.parameters.size() < 5)
            return problem(e.lineNumber, raw, tr("the id is not four hexadecimal digits followed by a comma"));
        e.id = idText.toInt(nullptr, 16);
        e.valueText = e.parameters.mid(5);
        if (e.valueText.isEmpty())
            return problem(e.lineNumber, raw, tr("the value is missing"));
        if (!isHexText(e.valueText))
            return problem(e.lineNumber, raw, tr("the value is not hexadecimal digits"));
        const int digits = valueDigits(e.id);
        if (digits == 0)
            return problem(e.lineNumber, raw, tr("no parameter has id %1").arg(hexId(e.id)));
        if (e.valueText.size() != digits)
            return problem(e.lineNumber, raw,
                           tr("the value has %1 digits; id %2 takes %3").arg(e.valueText.size()).arg(hexId(e.id)).arg(digits));
        const int first = m_paramLines.value(e.id);
        if (first)
            return problem(e.lineNumber, raw, tr("id %1 is given again (first on line %2)").arg(hexId(e.id)).arg(first));
        m_paramLines.insert(e.id, e.lineNumber);
        e.kind = Entry::Param;
        keep(e);
    }

    void stateOfCharge(const QByteArray& raw, Entry& e)
    {
        if (e.parameters.size() != 2 || !isHexText(e.parameters))
            return problem(e.lineNumber, raw, tr("the state of charge is not two hexadecimal digits"));
        const int percent = e.parameters.toInt(nullptr, 16);
        if (percent > 100)
            return problem(e.lineNumber, raw, tr("the state of charge %1 % is above 100 %").arg(percent));
        if (m_socLine)
            return problem(e.lineNumber, raw, tr("the state of charge is given again (first on line %1)").arg(m_socLine));
        m_socLine = e.lineNumber;
        e.kind = Entry::StateOfCharge;
        keep(e);
    }

    void password(const QByteArray& raw, Entry& e)
    {
        // It travels as one field of a sentence, and the file is ASCII.
        for (QChar c : e.parameters)
            if (c == QLatin1Char(',') || c.unicode() > 0x7E)
                return problem(e.lineNumber, raw, tr("the password holds a comma or a character other than ASCII"));
        if (++m_passwordLines > kPasswordLines)
            return problem(e.lineNumber, raw, tr("more than two passwords"));
        e.kind = Entry::Password;
        keep(e);
    }

    void keep(const Entry& e)
    {
        // Once the file is refused, what it would send is of no use.
        if (m_contents->problemCount == 0)
            m_contents->entries << e;
    }

    void problem(int number, const QByteArray& raw, const QString& reason)
    {
        if (m_contents->problemCount++ == 0)
            m_contents->entries.clear();
        if (m_contents->problems.size() < Contents::kMaxProblems)
            m_contents->problems << Problem{number, shownText(raw), reason};
    }

    Contents* m_contents;
    QHash<int, int> m_paramLines; // id -> line of its first value
    int m_socLine = 0;
    int m_passwordLines = 0;
};

// The next line without its end; tooLong when it went past the longest line
// (its rest is read and dropped).
bool readLine(QIODevice* device, QByteArray* raw, bool* tooLong)
{
    *tooLong = false;
    if (device->atEnd())
        return false;
    *raw = device->readLine(kMaxLineLength + 2);
    if (raw->isEmpty())
        return false;
    if (raw->endsWith('\n')) {
        raw->chop(1);
    } else if (!device->atEnd()) {
        *tooLong = true;
        QByteArray rest;
        do {
            rest = device->readLine(64 * 1024);
        } while (!rest.isEmpty() && !rest.endsWith('\n'));
    }
    if (raw->endsWith('\r'))
        raw->chop(1);
    if (raw->size() > kMaxLineLength)
        *tooLong = true;
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

int valueDigits(int id)
{
    static const int digits[] = {2, 4, 8, 0};
    return digits[widthCode(id)];
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
    const int digits = valueDigits(id);
    if (digits == 0)
        return QString();
    return QStringLiteral("CF2,%1,%2")
        .arg(id & 0xFFFF, 4, 16, QLatin1Char('0'))
        .arg(widthMasked(id, value), digits, 16, QLatin1Char('0'))
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
    QByteArray raw;
    bool tooLong = false;
    QByteArray header[2];
    for (QByteArray& h : header) {
        if (!readLine(device, &raw, &tooLong))
            return false;
        ++contents->lineCount;
        h = raw;
    }
    // An editor may have put a byte order mark before the first line.
    if (header[0].startsWith("\xEF\xBB\xBF"))
        header[0].remove(0, 3);
    // A configuration file names itself and the unit it came from; anything
    // else (an empty file included) is refused before a sentence is sent.
    if (!header[0].startsWith("BMSCFG"))
        return false;
    const QString fileKind = QString::fromUtf8(header[1].constData(), header[1].size()).left(9);
    if (fileKind.size() < 9 || fileKind != connectedVersionLine.left(9))
        return false;

    Checker checker(contents);
    while (readLine(device, &raw, &tooLong))
        checker.line(++contents->lineCount, raw, tooLong);
    return true;
}

QString describeProblems(const Contents& contents, int maxLines)
{
    QString text;
    const int shown = qMin(maxLines, contents.problems.size());
    for (int i = 0; i < shown; ++i) {
        const Problem& p = contents.problems.at(i);
        text += tr("line %1: %2: %3").arg(p.lineNumber).arg(p.text, p.reason) + QLatin1Char('\n');
    }
    if (contents.problemCount > shown)
        text += tr("and %1 more damaged lines").arg(contents.problemCount - shown) + QLatin1Char('\n');
    return text;
}

} // namespace ConfigFile
