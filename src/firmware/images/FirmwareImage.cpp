#include "FirmwareImage.h"

#include <QCryptographicHash>
#include <QIODevice>

namespace {

quint32 wordAt(const QByteArray& bytes, int offset)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + offset;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// Puts the position back where it was; false when the device refuses.
class PositionKeeper
{
public:
    explicit PositionKeeper(QIODevice& d) : d_(d), pos_(d.pos()) {}
    bool restore() { return d_.pos() == pos_ || d_.seek(pos_); }
    qint64 pos() const { return pos_; }

private:
    QIODevice& d_;
    qint64 pos_;
};

} // namespace

void scrambleMetadata(QByteArray& block, quint32 key)
{
    char* p = block.data();
    for (int i = 0; i < block.size(); ++i)
        p[i] = char(quint8(p[i]) ^ quint8(key >> (8 * (i % 4))));
}

bool isFirmwareFileValid(QIODevice& file)
{
    PositionKeeper keep(file);
    if (keep.pos() != 0 && !file.seek(0))
        return false;
    QByteArray stored(FirmwareImage::kDigestSize, '\0');
    const QByteArray head = file.read(FirmwareImage::kDigestSize);
    stored.replace(0, head.size(), head);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file)) {
        keep.restore();
        return false;
    }
    if (!keep.restore())
        return false;
    return hash.result() == stored;
}

FirmwareMetadata parseFirmwareMetadata(QByteArray block, quint32 key, bool* ok)
{
    scrambleMetadata(block, key);
    FirmwareMetadata m;
    bool whole = true;
    const auto* p = reinterpret_cast<const uchar*>(block.constData());
    const int n = block.size();
    int i = 0;
    while (n - i > 2) {
        const int type = p[i];
        const int length = p[i + 1] | (p[i + 2] << 8);
        i += 3;
        if (length > n - i) {
            whole = false;
            break;
        }
        const QByteArray value = block.mid(i, length);
        if (type == 1) {
            m.versionText = QString::fromLatin1(value);
        } else if (type == 2 && length == 4) {
            m.releaseDate = quint32(p[i]) | (quint32(p[i + 1]) << 8) | (quint32(p[i + 2]) << 16)
                | (quint32(p[i + 3]) << 24);
        } else if (type == 4 && length == 4) {
            m.serialLock = wordAt(block, i);
        }
        i += length;
    }
    if (ok)
        *ok = whole;
    return m;
}

FirmwareMetadata readFirmwareMetadata(QIODevice& file, bool* ok)
{
    if (ok)
        *ok = false;
    PositionKeeper keep(file);
    if (keep.pos() != 0 && !file.seek(0))
        return {};
    const QByteArray header = file.read(FirmwareImage::kHeaderSize);
    if (header.size() < FirmwareImage::kHeaderSize) {
        keep.restore();
        return {};
    }
    const quint32 key = wordAt(header, FirmwareImage::kKeyOffset);
    // 64-bit: (word ^ K) - 4 may be "negative" or larger than any file.
    const qint64 blockLength = qint64(wordAt(header, FirmwareImage::kLengthOffset) ^ key) - 4;
    const qint64 room = file.size() - FirmwareImage::kHeaderSize;
    if (blockLength < 0 || blockLength > room) {
        keep.restore();
        return {};
    }
    const QByteArray block = file.read(blockLength);
    const bool restored = keep.restore();
    if (block.size() != blockLength || !restored)
        return {};
    bool recordsOk = false;
    FirmwareMetadata m = parseFirmwareMetadata(block, key, &recordsOk);
    const quint32 product = wordAt(header, FirmwareImage::kProductOffset) ^ key;
    m.productGroup = product >> 4;
    m.productVariant = quint8(product & 0x0F);
    m.productWord = product;
    if (ok)
        *ok = recordsOk;
    return m;
}
