// Any received line through the "CN1" parser and the route-reply checks.
#include "CanTunnel.h"
#include "RouteProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));
    CanTunnelFrame f;
    if (cantunnel::parseLine(line, f)) {
        (void)route::isRouteReply(f);
        // A parsed frame composes back into at most 8 bytes.
        const QString again = cantunnel::composeParameters(f.id, f.data.data(), f.length, f.extended);
        CanTunnelFrame g;
        if (!cantunnel::parseLine(QStringLiteral("CN1,") + again, g) || g.length > 8)
            __builtin_trap();
    }
    return 0;
}
