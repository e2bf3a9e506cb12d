#pragma once

// The Statistics page on the control-unit emulator's statistics and event
// store, through the real serial transport and protocol handler, with the
// main window's sentence pump (its statistics capture included).
#include "SentencePump.h"
#include "SimLink.h"
#include "StatisticsFixture.h"
#include "StatisticsSim.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>

#include <optional>

// The application's store and the manual store, as the tool names them,
// both empty.
inline void useEmptyStatisticsStores()
{
    QCoreApplication::setOrganizationName(kStatisticsOrganisation);
    QCoreApplication::setApplicationName("KEPO BMS Dadevoz Arezi");
    QSettings().clear();
    QSettings(kStatisticsOrganisation, kManualStatisticsStore).clear();
}

inline QStringList statisticsKeys(QSettings& s)
{
    QStringList keys;
    for (const QString& k : s.allKeys())
        if (k.startsWith("SS1") || k.startsWith("SS2"))
            keys << k;
    keys.sort();
    return keys;
}

// The unit, the link, the page and the main window's pump.
struct Rig
{
    StatisticsSim store;
    SimLink link;
    std::optional<StatisticsFixture> fx;
    SentencePump pump;
    QTimer pumpTimer;

    bool start(const QSet<int>& features)
    {
        store.install(link.sim);
        if (!link.start() || !link.waitLinked())
            return false;
        fx.emplace(link.comm, &link.handler);
        fx->bits.features = features;
        pump.handler = &link.handler;
        pump.statisticsPage = fx->page.get();
        pump.featureTable = &fx->features;
        pump.rootMap = [this](const QString& line) { fx->map.dispatch(line); };
        QObject::connect(&pumpTimer, &QTimer::timeout, [this] { pump.drain(); });
        pumpTimer.start(20);
        fx->page->connectionStatusChanged(true);
        return true;
    }
    StatisticsPage& page() { return *fx->page; }
    ~Rig()
    {
        pumpTimer.stop();
        link.stop();
    }
};
