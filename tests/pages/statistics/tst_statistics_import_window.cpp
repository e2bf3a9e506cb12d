// "Import Statistics" in the main window, linked to the control-unit emulator
// (its statistics store and its pack answering the status polling) through
// the real serial transport: a damaged saved store is refused before
// anything reaches the unit, and the box names what is wrong; a sound store
// writes back what differs; values the unit does not take are named.
#include "ConfigUnitRig.h"

#include "HeldBox.h"
#include "StatisticsPage.h"
#include "StatisticsSim.h"

#include <QAction>
#include <QSettings>

#include <functional>

namespace {

// Sentences that change the unit's statistics or its mode.
QStringList unitWrites(const ConfigUnitRig& rig)
{
    QStringList writes;
    for (const QString& s : rig.sim.goodSentences())
        if (s.startsWith("SR1") || s.startsWith("SR2") || s.startsWith("CM1"))
            writes << s;
    return writes;
}

} // namespace

class TestStatisticsImportWindow : public QObject
{
    Q_OBJECT
private slots:
    void savedStoresFromTheImportAction();
};

void TestStatisticsImportWindow::savedStoresFromTheImportAction()
{
    ConfigUnitRig rig;
    StatisticsSim& statistics = rig.unit.statistics();
    QVERIFY(rig.startEmulator());
    QSettings(kStatisticsOrganisation, kManualStatisticsStore).clear();
    // The status polling brings the charging state, by which the window
    // offers its statistics actions.
    QSettings().setValue("ActivePolling", true);
    rig.presentUnit("0000BEEF", 2, batteryPackValues());
    QVERIFY(rig.openWindow());
    QStringList boxes;
    StatisticsPage::Dialogs dialogs;
    dialogs.critical = [&boxes](const QString& title, const QString& text) {
        testkit::holdLikeABox();
        boxes << title + "|" + text;
    };
    rig.window->statisticsPage()->setDialogs(dialogs);
    QVERIFY(rig.loadConfiguration());
    QAction* import = rig.window->importStatisticsAction();

    // The unit's own statistics 0 to 39, as an export saves them.
    auto unitSet = [&statistics]() {
        QStringList set;
        for (int i = 0; i <= 39; ++i)
            set << statistics.statisticLine(i);
        return set;
    };
    // The unit's set with statistic i saved with another value.
    auto changed = [&statistics](QStringList set, int i) {
        StatisticsSim::Statistic s = statistics.statistic(i);
        ++s.value;
        set[i] = QStringLiteral("SS1,%1,%2,%3,%4")
                     .arg(i, 2, 16, QChar('0'))
                     .arg(s.value, 0, 16)
                     .arg(s.info, 0, 16)
                     .arg(s.time, 8, 16, QChar('0'))
                     .toUpper();
        return set;
    };
    struct Row
    {
        const char* name;
        std::function<QStringList()> saved;
        bool marked;
        QStringList says;       // parts of the one box; empty: no box
        bool refusedBeforeSend; // nothing reaches the unit, not even its mode
        bool imported;          // the store is emptied and the action greys out
        int writeBack;          // the statistic written back, or -1
        int unitRefuses = -1;   // the unit does not take this statistic
    };
    const Row rows[] = {
        {"damaged value", [&] { QStringList s = unitSet(); s[8] = "SS1,08,ZZZ,0,00000000"; return s; }, true,
         {"nothing was sent", "SS1,08,ZZZ,0,00000000: the value is not hexadecimal digits"}, true, false, -1},
        {"one-digit index", [&] { QStringList s = changed(unitSet(), 8); s[8].replace("SS1,08,", "SS1,8,"); return s; },
         true, {"the index is not two upper-case hexadecimal digits", "SS1,8,"}, true, false, -1},
        {"second series cut short", [&] { return unitSet() << "SS2,03,1,2"; }, true,
         {"SS2,03,1,2: not a statistics sentence of four fields"}, true, false, -1},
        // A file cut short loses the mark first: its values may be partial.
        {"lost mark", [&] { return changed(unitSet(), 5); }, false, {"lost its \"Statistics\" mark"}, true, false, -1},
        {"value the unit does not take", [&] { return changed(unitSet(), 6); }, true,
         {"Importing saved statistic values failed.\nPlease try again.", "did not take these values:\nSS1,06,"}, false,
         false, 6, 6},
        {"one value differs", [&] { return changed(unitSet(), 5); }, true, {}, false, true, 5},
        {"all equal", [&] { return unitSet(); }, true, {}, false, true, -1},
    };
    for (const Row& row : rows) {
        statistics.setRefusedWriteBack(row.unitRefuses);
        const QStringList saved = row.saved();
        {
            QSettings store(kStatisticsOrganisation, kManualStatisticsStore);
            store.clear();
            if (row.marked)
                store.setValue("Statistics", 0);
            for (const QString& key : saved)
                store.setValue(key, 0);
        }
        QTRY_VERIFY2_WITH_TIMEOUT(import->isEnabled(), row.name, ConfigUnitRig::kLinkTimeoutMs);
        rig.sim.clearReceived();
        boxes.clear();
        const int writeBacksBefore = statistics.writeBacks().size();
        import->trigger();

        const QString shown = boxes.join("\n----\n");
        QVERIFY2(boxes.size() == (row.says.isEmpty() ? 0 : 1), qPrintable(QString("%1: %2").arg(row.name, shown)));
        for (const QString& part : row.says)
            QVERIFY2(shown.contains(part), qPrintable(QString("%1: no \"%2\" in %3").arg(row.name, part, shown)));
        if (row.refusedBeforeSend)
            QVERIFY2(unitWrites(rig).isEmpty(), qPrintable(QString("%1: %2").arg(row.name, unitWrites(rig).join(" "))));
        const QStringList sent = statistics.writeBacks().mid(writeBacksBefore);
        const QStringList expected =
            row.writeBack < 0 ? QStringList() : QStringList{QString(saved.at(row.writeBack)).replace(0, 3, "SR1")};
        QVERIFY2(sent == expected, qPrintable(QString("%1: %2").arg(row.name, sent.join(" "))));
        QSettings store(kStatisticsOrganisation, kManualStatisticsStore);
        if (row.imported) {
            QVERIFY2(store.allKeys().isEmpty(), row.name);
            QVERIFY2(!import->isEnabled(), row.name);
            if (row.writeBack >= 0)
                QCOMPARE(statistics.statisticLine(row.writeBack), saved.at(row.writeBack));
        } else {
            // The saved values stay for a later try; the action with them.
            for (const QString& key : saved)
                QVERIFY2(store.contains(key), qPrintable(QString("%1: %2 lost").arg(row.name, key)));
            QCOMPARE(store.contains("Statistics"), row.marked);
            QVERIFY2(import->isEnabled(), row.name);
        }
    }
}

QTEST_MAIN(TestStatisticsImportWindow)
#include "tst_statistics_import_window.moc"
