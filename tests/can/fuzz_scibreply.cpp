// Any received line through the SCiB reply rule, and any drag text through
// the SCiB payload reader.
#include "ToshibaSCiBMappingTables.h"
#include "ToshibaSCiBModuleConfig.h"

#include <QMimeData>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    int module = 0;
    uint8_t cells = 0;
    if (ToshibaSCiBModuleConfig::parseReply(QString::fromLatin1(bytes), &module, &cells)) {
        if (module < 1 || module > 32 || (cells != 9 && cells != 12))
            __builtin_trap();
    }
    QMimeData mime;
    mime.setData(QStringLiteral("SCiB/text"), bytes);
    uint32_t id = 0;
    (void)scib::parsePayload(&mime, &id, &cells);
    return 0;
}
