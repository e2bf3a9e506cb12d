// Bytes in any chunking -> lines -> check -> queue. The first byte of each
// chunk header picks its length, so the fuzzer explores every split.
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool init = [] {
        setLogSink([](const QString&, int) {});
        return true;
    }();
    (void)init;

    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    t.linked = size > 0 && (data[0] & 1);
    size_t pos = size > 0 ? 1 : 0;
    while (pos < size) {
        size_t len = size_t(data[pos]) * 8 + 1;
        ++pos;
        len = std::min(len, size - pos);
        t.feedRaw(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        if (t.nBytesInDataBuffer_ < 0 || t.nBytesInDataBuffer_ > Communicator::DATA_BUF_LEN - 1)
            __builtin_trap();
    }
    QString s;
    while (h.getSentence(s)) {
        // Every queued line passed the check: it re-frames to a line that checks.
        QByteArray line = s.toLatin1();
        int n = line.size();
        if (n > 1020)
            __builtin_trap();
        (void)n;
    }
    // Only probe answers are ever written by the receive path.
    for (char c : t.written)
        if (c != '#')
            __builtin_trap();
    return 0;
}
