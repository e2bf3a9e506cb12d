#include "ImageFiles.h"

#include <QIODevice>
#include <QPair>
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
const char* const kNoFirmware = QT_TRANSLATE_NOOP("UpdatePage", "The file holds no firmware!");
const char* const kBadHexRecord = QT_TRANSLATE_NOOP("UpdatePage", "Line %1 is not a valid Intel HEX record!");
const char* const kRecordAfterEnd = QT_TRANSLATE_NOOP("UpdatePage", "Line %1 comes after the end-of-file record!");
const char* const kNoEndRecord = QT_TRANSLATE_NOOP("UpdatePage", "The file has no end-of-file record!");
const char* const kRecordsForCanopenDevice = QT_TRANSLATE_NOOP(
    "UpdatePage", "A record file cannot update a device of product code %1: only codes up to 15 take one!");
const char* const kImageForRouteDevice = QT_TRANSLATE_NOOP(
    "UpdatePage", "A firmware image cannot update a device of product code %1: only codes above 15 take one!");
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
    // Three metadata frames and nothing after them: nothing to write.
    if (r.image.isEmpty())
        return refused(QString::fromLatin1(kNoFirmware), true);
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

constexpr int kData = 0;
constexpr int kEndOfFile = 1;
constexpr uint kLastRouteProduct = 15;

// The type of one whole Intel HEX record (':' then digit pairs: count,
// address, type, data, checksum), or -1 when it is not a valid one.
int hexRecordType(const QByteArray& text)
{
    if (text.size() < 11 || text.at(0) != ':' || (text.size() - 1) % 2 != 0)
        return -1;
    QByteArray bytes;
    for (int i = 1; i < text.size(); i += 2) {
        const int hi = hexValue(text.at(i));
        const int lo = hexValue(text.at(i + 1));
        if (hi < 0 || lo < 0)
            return -1;
        bytes.append(char(hi * 16 + lo));
    }
    const int count = quint8(bytes.at(0));
    if (bytes.size() != count + 5)
        return -1;
    quint8 sum = 0;
    for (char b : bytes)
        sum = quint8(sum + quint8(b));
    const int type = quint8(bytes.at(3));
    if (sum != 0 || type > 5 || (type == kEndOfFile && count != 0))
        return -1;
    return type;
}

// What is wrong with the records of a record file, or an empty text.
ImageFileMessage recordFileProblem(const QList<QPair<int, QByteArray>>& records, uint product)
{
    auto message = [](const char* text, uint number) {
        return ImageFileMessage{QString::fromLatin1(text), true, QString::number(number)};
    };
    if (records.isEmpty())
        return {QString::fromLatin1(kNoFirmware), true};
    if (product > kLastRouteProduct)
        return message(kRecordsForCanopenDevice, product);
    int endLine = 0;
    bool data = false;
    for (const auto& record : records) {
        if (endLine != 0)
            return message(kRecordAfterEnd, uint(record.first));
        const int type = hexRecordType(record.second);
        if (type < 0)
            return message(kBadHexRecord, uint(record.first));
        if (type == kEndOfFile)
            endLine = record.first;
        data = data || type == kData;
    }
    if (endLine == 0)
        return {QString::fromLatin1(kNoEndRecord), true};
    // Address records alone write nothing: the update would report an
    // outcome for a device that was never touched.
    if (!data)
        return {QString::fromLatin1(kNoFirmware), true};
    return {};
}

// Refused at open: the page keeps no image and shows no target.
void refuseCanImage(CanImageFile& r, const ImageFileMessage& message)
{
    r.messages.append(message);
    r.outcome = CanImageFile::Refused;
    r.image.clear();
    r.targetKnown = false;
    r.versionValue.clear();
    r.showReleaseDate = false;
    r.releaseDateValue.clear();
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
        QList<QPair<int, QByteArray>> records; // file line number, text
        for (int number = 2; !file.atEnd(); ++number) {
            const QString line = readTextLine(file);
            const QByteArray text = withoutLineEnd(line).toUtf8();
            if ((line.contains(QLatin1Char(':')) && line.size() >= 15) || hexRecordType(text) == kEndOfFile) {
                r.image.append(text);
                records.append({number, text});
            } else {
                r.messages.append({QString::fromLatin1(kBadRecordLine), true});
                r.image.clear();
                r.targetKnown = false;
                r.versionValue.clear();
                refusedLine = true;
            }
        }
        r.outcome = refusedLine ? CanImageFile::Refused : CanImageFile::Loaded;
        if (!refusedLine) {
            // The route updater sends records and nothing else: every one is
            // checked now, not halfway through an update.
            const ImageFileMessage problem = recordFileProblem(records, product);
            if (!problem.text.isEmpty())
                refuseCanImage(r, problem);
        }
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
    if (r.productCode <= kLastRouteProduct) {
        // Devices up to 15 take route records, never a binary image.
        r.recordImage = false;
        refuseCanImage(r, {QString::fromLatin1(kImageForRouteDevice), true, QString::number(r.productCode)});
        return r;
    }
    r.targetKnown = true;
    r.versionValue = QLatin1Char('v') + m.versionText;
    r.showReleaseDate = true;
    r.releaseDateValue = dateText(m);
    r.image = file.readAll();
    r.outcome = CanImageFile::Loaded;
    return r;
}
