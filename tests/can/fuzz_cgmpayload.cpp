// Any drag payload through the mapping widgets' parser: a parsed payload
// built again from its numbers parses to the same numbers.
#include "ModuleMappingTables.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CgmPayload p;
    if (!CgmPayload::parse(QByteArray(reinterpret_cast<const char*>(data), int(size)), &p))
        return 0;
    CgmPayload q;
    const QString again = CgmPayload::build(p.typeId, p.serial, p.cellCount, p.id);
    if (!CgmPayload::parse(again.toLatin1(), &q) || q.typeId != p.typeId || q.serial != p.serial || q.id != p.id)
        __builtin_trap();
    return 0;
}
