// Standalone BLE dongle emulator: prints the port to open and, with --echo,
// sends every byte written to the module back as a notification.
//   bms_ble_dongle_sim [--link PATH] [--passkey DIGITS] [--echo]

#include "BleDongleEmulator.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t quit = 0;
void onSignal(int) { quit = 1; }
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    BleDongleEmulator::Options options;
    QString link;
    bool echo = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--link" && i + 1 < args.size())
            link = args[++i];
        else if (args[i] == "--passkey" && i + 1 < args.size())
            options.passkey = args[++i].toLatin1();
        else if (args[i] == "--echo")
            echo = true;
    }
    BleDongleEmulator dongle(options);
    if (echo)
        dongle.setPeerSink([&dongle](const QByteArray& bytes) { dongle.sendFromPeer(bytes); });
    else
        dongle.setPeerSink([](const QByteArray& bytes) { std::printf("> %s\n", bytes.toHex(' ').constData()); std::fflush(stdout); });
    if (!dongle.start(link)) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", dongle.portPath().toLocal8Bit().constData());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!quit)
        usleep(100 * 1000);
    return 0;
}
