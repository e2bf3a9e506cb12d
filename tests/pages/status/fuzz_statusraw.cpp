// Arbitrary lines through the Status page's raw decoders ("CMV1", "BW1",
// "MS2", the network frame) and on into the cell tables, as the page's raw
// hook hands them on. Whatever the device sends, nothing lands outside the
// tables and the decoded rows keep their shape.
#include "CellStringLayout.h"
#include "StatusLogic.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace StatusLogic;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    setCellStringCount(data[0] % 32);
    for (int s = 0; s < kCellStringRows; ++s)
        setCellsInString(s, data[1]);
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data + 2), int(size - 2));
    for (const QString& prefix : {QStringLiteral("CMV1,"), QStringLiteral("BW1,"), QStringLiteral("MS2,"),
                                  QStringLiteral("CN1,19B4FFFF,")}) {
        const QString s = prefix + line;
        const ModuleVersions m = parseModuleVersions(s);
        if (m.ok) {
            if (m.firstPosition + m.versions.size() > kCellModulePositions)
                std::abort();
            for (int i = 0; i < m.versions.size(); ++i)
                setCellModuleVersion(m.string, m.firstPosition + i, m.versions.at(i));
        }
        const WireBreaks w = parseWireBreaks(s);
        if (w.ok && !w.clearAll) {
            if (w.firstWord + w.words.size() > kWireBreakWords && !w.words.isEmpty())
                std::abort();
            for (int k = 0; k < w.words.size(); ++k)
                setWireBreakWord(w.string, w.firstWord + k, w.words.at(k));
        }
        const MasterSlaveRow r = decodeMasterSlaveRow(s, 2.0);
        if (r.decoded) {
            if (r.row < -1 || r.row >= kMasterSlaveRows || r.count < 0 || r.count > kMasterSlaveRows)
                std::abort();
            if (r.texts.size() != (r.full ? kMasterSlaveColumns : 5))
                std::abort();
        }
        decodeNetworkFrame(s);
    }
    return 0;
}
