#include "RouteProtocol.h"

namespace route {

QByteArray addressed(quint8 code, quint16 typeId, quint32 serial)
{
    QByteArray b;
    b.append(char(code));
    b.append(char(complement(code)));
    putLe16(b, typeId);
    putLe32(b, serial);
    return b;
}

QByteArray withId(quint8 code, quint32 id, bool extended)
{
    QByteArray b;
    b.append(char(code));
    b.append(char(complement(code)));
    putLe32(b, idArgument(id, extended));
    return b;
}

} // namespace route
