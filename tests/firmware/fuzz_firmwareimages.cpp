// Any bytes as a firmware file: opening never reads outside the file, and a
// loaded image is no larger than what the file holds. The second run puts a right
// digest in front, so the header and metadata of SHA-1 images are reached.
#include "ImageFiles.h"

#include <QBuffer>
#include <QCryptographicHash>

#include <cstdint>

namespace {

void open(QByteArray file)
{
    for (const char* kind : {"BMS3", "BMS1"}) {
        QBuffer b(&file);
        b.open(QIODevice::ReadOnly);
        const ControlUnitImageFile r = readControlUnitImage(b, QString::fromLatin1(kind), 7);
        if (r.ok != r.message.text.isEmpty())
            __builtin_trap();
        if (r.image.size() > file.size())
            __builtin_trap();
    }
    QBuffer b(&file);
    b.open(QIODevice::ReadOnly);
    const CanImageFile c = readCanImage(b);
    // Record lines are text: a byte that is not UTF-8 comes back as U+FFFD.
    if (c.image.size() > (c.recordImage ? 3 * file.size() : file.size()))
        __builtin_trap();
    if (c.outcome == CanImageFile::Loaded && !c.messages.isEmpty())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    open(bytes);
    open(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1) + bytes);
    return 0;
}
