// Configuration read-out over the real serial transport against the
// control-unit emulator, which paces both directions at 57600 baud: a query
// reaches it only after its bytes have crossed the wire, and its reply as
// late. The time of a full read of 559 ids as a ratio to what the read must
// spend: the bytes of every query and reply on the wire, one after the
// other, plus the 3 ms pause before every query.
#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "ControlUnitSim.h"
#include "Log.h"
#include "ParamReplyWait.h"
#include "SimLink.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kIds = 559;
constexpr int kFirstId = 0x0010;
constexpr double kBytesPerSecond = 57600.0 / 10.0; // 8 data bits, start and stop bit
constexpr double kQueryPauseS = 0.003;

double g_ratio = 0, g_wire = 0, g_pauses = 0;

QString idText(int id) { return QString::asprintf("%04X", id); }
QString valueText(int id) { return QString::number(quint32(id) * 0x10001u + 5u, 16).toUpper(); }
QString queryText(int id) { return "CF2," + idText(id) + ",?"; }
QString replyText(int id) { return "CF2," + idText(id) + "," + valueText(id); }

// What the configuration page does with the replies, in the main thread.
struct Page : QObject
{
    std::vector<std::unique_ptr<ConfigParamSlot>> records;
    std::vector<std::unique_ptr<ConfigParam>> params;
    ParamReplyWait replyWait;
    std::atomic<bool> loading{false};

    Page()
    {
        for (int i = 0; i < kIds; ++i) {
            auto slot = std::make_unique<ConfigParamSlot>();
            slot->id = kFirstId + i;
            auto p = std::make_unique<ConfigParam>();
            p->slot = slot.get();
            slot->params.append(p.get());
            params.push_back(std::move(p));
            records.push_back(std::move(slot));
        }
    }
    QList<ConfigParam*> paramList() const
    {
        QList<ConfigParam*> list;
        for (const auto& p : params)
            list.append(p.get());
        return list;
    }
    void receive(Y5ProtocolHandler& handler)
    {
        QString line;
        while (handler.getSentence(line)) {
            int id = 0;
            QString value;
            if (parseParamReplyLine(line, &id, &value))
                replyWait.noteReply(id, value);
        }
    }
};

} // namespace

static void BM_ConfigReadOut(benchmark::State& state)
{
    setLogSink([](const QString&, int) {});
    SimLink link;
    link.sim.setPacing(true);
    link.sim.setHandler("CF2", [](ControlUnitSim& s, const ControlUnitSim::Sentence& in) {
        if (in.fields.size() == 2 && in.fields[1] == "?")
            s.reply(replyText(in.fields[0].toInt(nullptr, 16)));
    });
    Page page;
    QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &page,
                     [&] { page.receive(link.handler); }, Qt::QueuedConnection);
    if (!link.start() || !link.waitLinked()) {
        state.SkipWithError("the emulator did not link");
        return;
    }

    double wireBytes = 0;
    for (int i = 0; i < kIds; ++i)
        wireBytes += ControlUnitSim::frame(queryText(kFirstId + i)).size()
            + ControlUnitSim::frame(replyText(kFirstId + i)).size();
    g_wire = wireBytes / kBytesPerSecond;
    g_pauses = kIds * kQueryPauseS;
    const double bound = g_wire + g_pauses;

    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        ConfigParamLoader::Hooks hooks;
        hooks.sendParamRequest = [&link](int id) { link.handler.sendParamRequest(quint16(id)); };
        hooks.replyWait = &page.replyWait;
        hooks.loadingFlag = &page.loading;
        hooks.linkUp = [&link] { return bool(link.comm->linked); };
        page.loading = true;
        auto* loader = new ConfigParamLoader(hooks);
        loader->queueParams(page.paramList());
        QEventLoop loop;
        QObject::connect(loader, &ConfigParamLoader::done, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QElapsedTimer t;
        t.start();
        ConfigParamLoader::start(loader, &page);
        loop.exec();
        const double seconds = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        total += seconds;
        ++runs;
    }
    g_ratio = runs ? total / runs / bound : 0;
    state.counters["ratio"] = g_ratio;
    state.counters["bound_s"] = bound;
    state.counters["wire_s"] = g_wire;
    state.counters["pauses_s"] = g_pauses;
    setLogSink(nullptr);
}
BENCHMARK(BM_ConfigReadOut)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    std::printf("configuration read-out of %d ids: %.2f x the bound of %.3f s (wire both ways %.3f s + pauses "
                "%.3f s; goal: within 1.05 x)\n",
                kIds, g_ratio, g_wire + g_pauses, g_wire, g_pauses);
    return 0;
}
