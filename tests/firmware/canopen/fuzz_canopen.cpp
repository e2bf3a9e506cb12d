// Any device answers -> the SDO client, the serial record window and the
// "CN1" line parser. Every transfer must end, and a download may only count
// as done once all its data went out.
#include "CANopen.h"
#include "CANopenInterface.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>

namespace {
// Answers each request with the next responses of the input: a count byte,
// then 8 bytes per response.
class FuzzClient : public CO::CANopen
{
public:
    FuzzClient(const uint8_t* data, size_t size) : CO::CANopen(nullptr, 1, nullptr), data_(data), size_(size) {}
    bool sawLastSegment = false;
    bool sawBlockEnd = false;
    int sent = 0;

protected:
    void sendCanMessage(const CO::CanMessage& m) override
    {
        ++sent;
        const quint8 b0 = m.data[0];
        if ((b0 >> 5) == 0 && (b0 & 1))
            sawLastSegment = true;
        if ((b0 >> 5) == 6 && (b0 & 3) == 1)
            sawBlockEnd = true;
        if (pos_ >= size_)
            return;
        const int count = data_[pos_++] % 3;
        for (int i = 0; i < count && pos_ + 8 <= size_; ++i) {
            CO::CanMessage r;
            r.cobId = (data_[pos_] & 0x80) ? 0x5FF : 0x581;
            r.length = 8;
            std::memcpy(r.data, data_ + pos_, 8);
            pos_ += 8;
            frameReceived(r);
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int mode = data[0] % 4;
    const uint8_t* rest = data + 2;
    const size_t restSize = size - 2;
    switch (mode) {
    case 0: { // download of 0..255 bytes
        const int n = data[1];
        FuzzClient c(rest, restSize);
        const int status = c.download(0x1F50, 1, QByteArray(n, '\x5A'), 1);
        if (status < 0 || status > 2)
            __builtin_trap();
        if (status == CO::Done && n > 4 && n <= 34 && !c.sawLastSegment)
            __builtin_trap();
        if (status == CO::Done && n > 34 && !c.sawBlockEnd)
            __builtin_trap();
        break;
    }
    case 1: { // upload
        FuzzClient c(rest, restSize);
        int status = -1;
        c.upload(0x1F57, data[1], 1, &status);
        if (status < 0 || status > 2)
            __builtin_trap();
        break;
    }
    case 2: { // serial records, byte by byte
        CANopenOverSerial t(nullptr, 1, nullptr);
        for (size_t i = 0; i < restSize; ++i)
            t.feedByte(rest[i]);
        break;
    }
    default: { // a received "CN1" line
        CanFrame f;
        const QString line = QStringLiteral("CN1,") + QString::fromLatin1(reinterpret_cast<const char*>(rest),
                                                                         int(restSize));
        if (CANopenOverSentences::parseSentence(line, &f) && f.length > 8)
            __builtin_trap();
        break;
    }
    }
    return 0;
}
