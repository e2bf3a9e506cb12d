// Received lines (one per input line) into the IVT-S sensor jobs, each
// followed by a tick: no crash, no stuck state beyond what a job allows.
#include "CISAConfig.h"
#include "CanLinkServices.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {
struct SilentLink : CanLinkServices
{
    bool canSend() const override { return true; }
    void sendSentence(const QString&, const QString&, unsigned) override {}
    bool featureBitmapValid() const override { return true; }
    bool setCanConfigMode(bool, const std::array<quint32, 5>&) override { return true; }
    bool setConfigModeIfConnected(bool) override { return true; }
    quint32 paramValue(int) const override { return 0; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CISAConfig isa{std::make_unique<SilentLink>()};
    isa.setWarningHandler([](const QString&) {});
    isa.setSensorFoundHandler([&isa](quint32) { isa.startDiscover(0xE6); });
    isa.setCanIdHandler([](quint16) {});
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));
    const QStringList lines = text.split(QLatin1Char('\n'));
    isa.startDiscover(0x01);
    for (const QString& line : lines) {
        isa.handleCanReply(line);
        isa.slotCanProcess();
        if (!isa.isBusy() && isa.sensorSerial() != 0)
            isa.startCommit(0xF4);
    }
    // Without answers every job ends within its time-outs.
    for (int i = 0; i < 20 * 3 * 102 && isa.isBusy(); ++i)
        isa.slotCanProcess();
    if (isa.isBusy())
        __builtin_trap();
    return 0;
}
