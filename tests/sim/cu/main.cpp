// bms-sim: the control-unit emulator as a program, with a coherent pack
// (4 x 16 cells by default, one invalid cell, one broken wire, a master/slave
// network sending its rows and frame every second), statistics and an event
// log, its CAN bus (EmulatedBus.h), and its serial bootloader.
// Prints the port path and runs until interrupted.
#include "BootloaderSim.h"
#include "EmulatedBus.h"
#include "ControlUnitSim.h"
#include "PackModel.h"
#include "StatisticsSim.h"

#include <QDateTime>
#include <QString>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <thread>

static volatile std::sig_atomic_t g_stop = 0;

static void onSignal(int)
{
    g_stop = 1;
}

static void usage()
{
    std::fprintf(stderr,
                 "usage: bms-sim [--link PATH] [--kind KIND] [--serial HEX] [--version VERSION] [--pace]\n"
                 "               [--boot] [--level N] [--strings N] [--cells N] [--bare]\n"
                 "  --link PATH   also reach the port through a symlink at PATH\n"
                 "  --kind, --serial, --version  the \"VR1\" reply (default VR1,BMS2,0001E240,2.1.4.2)\n"
                 "  --pace        send and receive at 57600-baud speed\n"
                 "  --boot        start in the bootloader\n"
                 "  --level N     login level at start (passwords: 1 \"1111\", 2 \"2222\")\n"
                 "  --strings N, --cells N  the pack's layout (default 4 x 16)\n"
                 "  --bare        no pack: answer only the link's own sentences\n"
                 "%s",
                 qPrintable(EmulatedBus::optionsHelp()));
}

int main(int argc, char** argv)
{
    QString link, kind = QStringLiteral("BMS2"), serial = QStringLiteral("0001E240"),
                  version = QStringLiteral("2.1.4.2");
    bool pace = false, boot = false, bare = false;
    int level = 0, strings = 4, cells = 16;
    BusOptions busOptions;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto next = [&]() -> QString {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return QString::fromLocal8Bit(argv[++i]);
        };
        if (!std::strcmp(a, "--link"))
            link = next();
        else if (!std::strcmp(a, "--kind"))
            kind = next();
        else if (!std::strcmp(a, "--serial"))
            serial = next();
        else if (!std::strcmp(a, "--version"))
            version = next();
        else if (!std::strcmp(a, "--pace"))
            pace = true;
        else if (!std::strcmp(a, "--boot"))
            boot = true;
        else if (!std::strcmp(a, "--level"))
            level = next().toInt();
        else if (!std::strcmp(a, "--strings"))
            strings = next().toInt();
        else if (!std::strcmp(a, "--cells"))
            cells = next().toInt();
        else if (!std::strcmp(a, "--bare"))
            bare = true;
        else if (EmulatedBus::parseOption(QString::fromLocal8Bit(a), busOptions))
            continue;
        else {
            usage();
            return 2;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    ControlUnitSim sim;
    sim.setVersion(kind, serial, version);
    sim.setPacing(pace);
    sim.setLoginLevel(level);
    if (boot)
        sim.setMode(ControlUnitSim::Mode::Bootloader);
    PackModel pack;
    // Its serial bootloader takes the legacy firmware frames.
    BootloaderSim bootloader(sim);
    StatisticsSim statistics;
    busOptions.cells = quint8(cells > 0 && cells < 256 ? cells : 12);
    busOptions.strings = quint8(strings > 0 && strings < 33 ? strings : 4);
    EmulatedBus bus(busOptions);
    if (!bare) {
        statistics.setUnitHistory(QDateTime::currentDateTimeUtc());
        statistics.install(sim);
        bus.install(sim);
        // The whole configuration at its factory values, and the features of
        // its ids; the pack follows the store's values.
        sim.holdFactoryConfiguration();
        const QMap<quint16, quint32> factory = ControlUnitSim::factoryConfiguration();
        for (quint16 id : {0x0010, 0x0111, 0x1600, 0x1800, 0x1E00})
            pack.setConfigValue(id, factory.value(id));
        pack.setLive(true);
        pack.setLayout(strings, cells);
        pack.setCellInvalid(2, 3);
        pack.setWireBroken(1, 5);
        pack.install(sim);
        pack.installConfigReplies(sim);
    }
    if (!sim.start(link)) {
        std::fprintf(stderr, "bms-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.portPath()));
    std::fflush(stdout);
    int seen = 0;
    int tenths = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!bare && ++tenths % 10 == 0)
            pack.sendMasterSlave(sim);
        const auto rec = sim.received();
        for (; seen < rec.size(); ++seen) {
            const auto& r = rec[seen];
            std::fprintf(stderr, "%8lld %s %s\n", static_cast<long long>(r.ms),
                         r.probeAnswer ? "#  " : (r.good ? "ok " : "bad"), r.raw.constData());
        }
    }
    bus.stop();
    sim.stop();
    return 0;
}
