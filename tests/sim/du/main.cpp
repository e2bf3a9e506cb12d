// Standalone display-unit emulator: prints the port to open. Start the tool
// with BMS_SERIAL_PORTS set to that path to reach it.
//   bms_du_sim [--link PATH] [--serial HEX] [--boot]

#include "DisplayUnitSim.h"

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
    DisplayUnitSim::Options options;
    QString link;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--link" && i + 1 < args.size())
            link = args[++i];
        else if (args[i] == "--serial" && i + 1 < args.size())
            options.serial = args[++i].toUInt(nullptr, 16);
        else if (args[i] == "--boot")
            options.startInBootloader = true;
    }
    DisplayUnitSim unit(options);
    if (!unit.start(link)) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", unit.portPath().toLocal8Bit().constData());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!quit)
        usleep(100 * 1000);
    return 0;
}
