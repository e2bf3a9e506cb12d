// status-sim: the control-unit emulator with the coherent pack (4 x 16 cells,
// one invalid cell, one broken wire, a master/slave network of three units
// sending its rows and frame every second). Prints the port path.
//   status-sim [--link PATH] [--strings N] [--cells N] [--version VERSION]
#include "ControlUnitSim.h"
#include "PackModel.h"

#include <QCoreApplication>
#include <QCommandLineParser>

#include <csignal>
#include <cstdio>
#include <thread>

static volatile std::sig_atomic_t g_stop = 0;

static void onSignal(int)
{
    g_stop = 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addOption({"link", "also reach the port through a symlink", "PATH"});
    cli.addOption({"strings", "cell strings", "N", "4"});
    cli.addOption({"cells", "cells a string", "N", "16"});
    cli.addOption({"version", "firmware version of the VR1 reply", "VERSION", "2.1.4.2"});
    cli.process(app);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    ControlUnitSim sim;
    sim.setVersion(QStringLiteral("BMS2"), QStringLiteral("0001E240"), cli.value("version"));
    // A recent firmware's features: one protection and warning word, the
    // pins of the status word, the vehicle and estimator rows, CAN devices.
    sim.setFeatureBitmap(0x80, {0xFFFFFFFFu, 0x0E347FFFu, 0x00800800u, 0x0008E182u});
    PackModel pack;
    pack.setLayout(cli.value("strings").toInt(), cli.value("cells").toInt());
    pack.setCellInvalid(2, 3);
    pack.setWireBroken(1, 5);
    pack.install(sim);
    pack.installConfigReplies(sim);
    if (!sim.start(cli.value("link"))) {
        std::fprintf(stderr, "status-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.portPath()));
    std::fflush(stdout);
    int tenths = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (++tenths % 10 == 0)
            pack.sendMasterSlave(sim);
    }
    sim.stop();
    return 0;
}
