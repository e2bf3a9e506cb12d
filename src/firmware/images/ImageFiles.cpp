#include "ImageFiles.h"

#include <QIODevice>
#include <QtGlobal>

// Marked for the Update page's translation table (the page decides which
// it translates).
namespace ImageFileText {
const char* const kCouldNotOpen = QT_TRANSLATE_NOOP("UpdatePage", "Could not open the file!");
const char* const kNotY55 = QT_TRANSLATE_NOOP("UpdatePage", "The firmware is for Control Unit Y5.5!");
const char* const kY55Serial = QT_TRANSLATE_NOOP("UpdatePage", "The firmware is for Control Unit Y5.5 with serial number %1 !");
const char* const kBadFormat = QT_TRANSLATE_NOOP("UpdatePage", "Bad file format!");
const char* const kDifferentDevice = QT_TRANSLATE_NOOP("UpdatePage", "The firmware is for different device!");
const char* const kBadRecordLine = QT_TRANSLATE_NOOP("UpdatePage", "No ':' entry found, or too short entry, wrong file?");
const char* const kWrongFile = QT_TRANSLATE_NOOP("UpdatePage", "Wrong file specified!");
} // namespace ImageFileText

namespace {

using namespace ImageFileText;

ControlUnitImageFile refused(const QString& text, bool translated)
{
    ControlUnitImageFile r;
    r.message = {text, translated};
    return r;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A text field of a frame: up to its first NUL byte.
QString frameText(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

QString dateText(const FirmwareMetadata& m)
{
    return QString::asprintf("%04d.%02d.%02d", m.releaseYear(), m.releaseMonth(), m.releaseDay());
}

ControlUnitImageFile readSha1Image(QIODevice& file, const QString& deviceKind, quint32 unitSerial)
{
    bool ok = false;
    const FirmwareMetadata m = readFirmwareMetadata(file, &ok);
    if (!ok)
        return refused(QString::fromLatin1(kBadFormat), true);
    if (deviceKind != QLatin1String("BMS3"))
        return refused(QString::fromLatin1(kNotY55), true);
    if (m.serialLock != 0 && m.serialLock != unitSerial)
        return refused(QString::fromLatin1(kY55Serial).arg(m.serialLock), false);
    if (!file.seek(0))
        return refused(QString::fromLatin1(kCouldNotOpen), false);
    ControlUnitImageFile r;
    r.image = file.readAll();
    r.ok = true;
    r.sha1 = true;
    r.versionText = m.versionText;
    r.versionValue = QLatin1Char('v') + m.versionText;
    r.showReleaseDate = true;
    r.releaseDateValue = dateText(m);
    r.serialValue = m.serialLock == 0 ? QStringLiteral("Any") : QString::number(m.serialLock);
    return r;
}

// Hexadecimal text of frames: a big-endian 16-bit length, then that many
// bytes. Frames 1 to 3 are device kind, version and serial lock; the rest is
// the firmware, which keeps its length bytes.
ControlUnitImageFile readLegacyImage(QIODevice& file, const QString& deviceKind)
{
    const QByteArray text = file.readAll();
    ControlUnitImageFile r;
    qint64 i = 0; // index of the next byte
    qint64 S = 0; // start of the next frame
    qint64 H = 0; // high length byte x 256 of the current frame
    int j = 0;    // frames begun
    QByteArray header;
    for (int p = 0;; p += 2) {
        if (p >= text.size()) {
            // A file must end at a frame's end, and must carry the three
            // metadata frames: otherwise nothing about it was checked.
            if (i != S || j < 3)
                return refused(QString::fromLatin1(kBadFormat), false);
            break;
        }
        const int hi = hexValue(text[p]);
        const int lo = p + 1 < text.size() ? hexValue(text[p + 1]) : -1;
        if (hi < 0 || lo < 0)
            return refused(QString::fromLatin1(kBadFormat), true);
        const char b = char(hi * 16 + lo);
        if (i == S) {
            H = qint64(quint8(b)) * 256;
            if (j >= 3)
                r.image.append(b);
        } else if (i == S + 1) {
            S = S + H + quint8(b) + 2;
            if (j >= 3)
                r.image.append(b);
            ++j;
        } else if (j <= 3) {
            header.append(b);
        } else {
            r.image.append(b);
        }
        if (i == S - 1) {
            if (j == 1) {
                if (frameText(header) != deviceKind)
                    return refused(QString::fromLatin1(kDifferentDevice), true);
            } else if (j == 2) {
                r.versionText = frameText(header);
                r.versionValue = r.versionText;
            } else if (j == 3) {
                if (header.size() == 4) {
                    const auto* u = reinterpret_cast<const uchar*>(header.constData());
                    const quint32 serial = (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | u[3];
                    r.serialValue = QString::number(serial);
                } else {
                    r.serialValue = QStringLiteral("Any");
                }
            }
            header.clear();
        }
        ++i;
    }
    r.ok = true;
    return r;
}

// One line with its line end, as UTF-8 text up to a NUL byte, CR LF pairs
// removed (a lone LF stays, as in the header's length rule).
QString readTextLine(QIODevice& file)
{
    QByteArray bytes = file.readLine();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    QString line = QString::fromUtf8(bytes);
    line.remove(QStringLiteral("\r\n"));
    return line;
}

// A record line goes into the image without any line end: a bare LF (or CR)
// would otherwise travel inside the record text to the device.
QString withoutLineEnd(QString line)
{
    while (!line.isEmpty() && (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r'))))
        line.chop(1);
    return line;
}

uint hexField(const QStringList& fields, int index)
{
    bool ok = false;
    const uint v = fields.value(index).trimmed().toUInt(&ok, 16);
    return ok ? v : 0;
}

} // namespace

ControlUnitImageFile readControlUnitImage(QIODevice& file, const QString& deviceKind, quint32 unitSerial)
{
    if (!file.isReadable() || (file.pos() != 0 && !file.seek(0)))
        return refused(QString::fromLatin1(kCouldNotOpen), false);
    if (isFirmwareFileValid(file))
        return readSha1Image(file, deviceKind, unitSerial);
    return readLegacyImage(file, deviceKind);
}

CanImageFile readCanImage(QIODevice& file)
{
    CanImageFile r;
    if (!file.isReadable() || (file.pos() != 0 && !file.seek(0))) {
        r.messages.append({QString::fromLatin1(kCouldNotOpen), true});
        return r;
    }
    const QString first = readTextLine(file);
    if (first.contains(QLatin1Char('$')) && first.size() <= 14) {
        const QStringList fields = first.split(QLatin1Char('$'), Qt::KeepEmptyParts);
        const uint product = hexField(fields, 1);
        const uint version = hexField(fields, 2);
        r.recordImage = true;
        r.productCode = quint16(product);
        r.descriptionCode = product;
        r.targetKnown = true;
        r.versionValue = QString::asprintf("%u.%u", version / 10, version % 10);
        bool refusedLine = false;
        while (!file.atEnd()) {
            const QString line = readTextLine(file);
            if (line.contains(QLatin1Char(':')) && line.size() >= 15) {
                r.image.append(withoutLineEnd(line).toUtf8());
            } else {
                r.messages.append({QString::fromLatin1(kBadRecordLine), true});
                r.image.clear();
                r.targetKnown = false;
                r.versionValue.clear();
                refusedLine = true;
            }
        }
        r.outcome = refusedLine ? CanImageFile::Refused : CanImageFile::Loaded;
        return r;
    }
    bool ok = false;
    FirmwareMetadata m;
    if (isFirmwareFileValid(file))
        m = readFirmwareMetadata(file, &ok);
    if (!ok || !file.seek(0)) {
        r.messages.append({QString::fromLatin1(kWrongFile), true});
        return r;
    }
    r.productCode = quint16(m.productWord & 0xFFFF);
    r.descriptionCode = m.productWord & 0xFFFC;
    r.targetKnown = true;
    r.versionValue = QLatin1Char('v') + m.versionText;
    r.showReleaseDate = true;
    r.releaseDateValue = dateText(m);
    r.image = file.readAll();
    r.outcome = CanImageFile::Loaded;
    return r;
}
