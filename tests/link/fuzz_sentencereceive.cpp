// Bytes in any chunking -> lines -> check -> queue. The first byte of each
// chunk header picks its length, so the fuzzer explores every split.
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    muteLogOnce();

    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    t.linked = size > 0 && (data[0] & 1);
    size_t pos = size > 0 ? 1 : 0;
    QByteArray fed;
    while (pos < size) {
        size_t len = size_t(data[pos]) * 8 + 1;
        ++pos;
        len = std::min(len, size - pos);
        fed.append(reinterpret_cast<const char*>(data + pos), int(len));
        t.feedRaw(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        if (t.nBytesInDataBuffer_ < 0 || t.nBytesInDataBuffer_ > Communicator::DATA_BUF_LEN - 1)
            __builtin_trap();
    }
    QString s;
    while (h.getSentence(s)) {
        // Every queued line came whole from the input, with a check suffix
        // that holds, and fits the receive buffer.
        QByteArray line = s.toLatin1();
        if (line.size() > 1020 || line.contains('\r') || line.contains('\n'))
            __builtin_trap();
        const int at = fed.indexOf(line + ',');
        if (at < 0)
            __builtin_trap();
        int n = line.size() + 3;
        if (at + n > fed.size())
            __builtin_trap();
    }
    // Only probe answers are ever written by the receive path.
    for (char c : t.written)
        if (c != '#')
            __builtin_trap();
    return 0;
}
