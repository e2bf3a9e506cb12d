// bms-sim: the emulated control unit (EmulatedUnit) as a program. Prints the
// port path and runs until interrupted; every received line goes to stderr.
#include "EmulatedUnit.h"

#include <QStringList>

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
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    EmulatedUnit::Options options;
    QString link, error;
    QStringList rest;
    const bool parsed = EmulatedUnit::parseArguments(args, &options, &link, &rest, &error);
    if (rest.contains(QStringLiteral("--help")) || rest.contains(QStringLiteral("-h"))) {
        std::printf("%s", qPrintable(EmulatedUnit::helpText()));
        return 0;
    }
    if (!parsed || !rest.isEmpty()) {
        std::fprintf(stderr, "bms-sim: %s\n%s", qPrintable(parsed ? "unknown option " + rest.first() : error),
                     qPrintable(EmulatedUnit::helpText()));
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    EmulatedUnit unit(options);
    if (!unit.start(link)) {
        std::fprintf(stderr, "bms-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(unit.cu().portPath()));
    std::fflush(stdout);
    int seen = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto rec = unit.cu().received();
        for (; seen < rec.size(); ++seen) {
            const auto& r = rec[seen];
            std::fprintf(stderr, "%8lld %s %s\n", static_cast<long long>(r.ms),
                         r.probeAnswer ? "#  " : (r.good ? "ok " : "bad"), r.raw.constData());
        }
    }
    unit.stop();
    return 0;
}
