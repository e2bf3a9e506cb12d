#pragma once

// The main window linked to the emulated unit with the CAN bus bms-sim runs
// (CurrentSensorBench.h): the user discovers the devices on the CAN Devices
// tab, then, where asked, opens "Advanced configuration..." and discovers
// the temperature boards.
#include "../ISAConfig/CurrentSensorBench.h"

#include "ModuleMappingTables.h"
#include "TempBreakOutBoardSupport.h"

#include <QTableWidget>
#include <QTreeWidget>

namespace {

constexpr int kDiscoveryMs = 60000;

BusOptions parsed(const QStringList& args)
{
    BusOptions options;
    for (const QString& a : args)
        if (!EmulatedBus::parseOption(a, options))
            qWarning("not a bus option: %s", qPrintable(a));
    return options;
}

// The rows of the unconfigured devices list as the user reads them:
// part number, serial, cell count, id.
QStringList treeRows(QTreeWidget* tree)
{
    QStringList rows;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = tree->topLevelItem(i);
        rows << QStringList{it->text(0), it->text(1), it->text(2), it->text(3)}.join(' ');
    }
    return rows;
}

QStringList boardRows(TempBreakOutBoardSupport* window)
{
    QStringList rows;
    QTableWidget* t = window->table();
    for (int r = 0; r < t->rowCount(); ++r)
        rows << t->item(r, 0)->text() + ' ' + t->item(r, 1)->text();
    return rows;
}

// The rows the discovery lists (devices) and, unless boards is null, the
// temperature board window's rows after its own discovery, with bms-sim's
// options given.
inline void discoverOnBus(const QString& port, const QStringList& options, const QStringList& devices,
                          const QStringList* boards)
{
    Bench b(true, parsed(options));
    b.sim.setParam(0x1600, 0x200); // its CAN bus in use
    QCOMPARE(b.start(port), QString());
    ConfigPage* page = b.page();
    page->setModalBoxRunner([&b](QMessageBox* box) {
        testkit::holdLikeABox();
        b.prompter.asked << (box->informativeText().isEmpty() ? box->text() : box->informativeText());
        box->setResult(QMessageBox::Ok);
    });
    page->tabWidget->setCurrentWidget(page->canDevicesTab);
    QTRY_VERIFY_WITH_TIMEOUT(page->discoverButton->isVisible() && page->discoverButton->isEnabled(), kJobMs);

    QTest::mouseClick(page->discoverButton, Qt::LeftButton);
    QCOMPARE(b.prompter.asked, QStringList{kConfigModeText});
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor() && page->discoverButton->isEnabled(), kDiscoveryMs);
    QCOMPARE(treeRows(page->unconfiguredTree), devices);
    QCOMPARE(b.prompter.asked.size(), 1); // no failure box
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    for (int i = 0; i < b.bus.deviceCount(); ++i)
        QVERIFY2(!b.bus.device(i).configMode, qPrintable(QString::number(b.bus.device(i).serial)));
    if (!boards)
        return;

    QTest::mouseClick(page->advancedButton, Qt::LeftButton);
    TempBreakOutBoardSupport* window = page->tempBoardWindow;
    QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), kJobMs);
    QTest::mouseClick(window->discoverButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->discoverButton()->isEnabled(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(window->discoverButton()->isEnabled(), kDiscoveryMs);
    QCOMPARE(boardRows(window), *boards);
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
}

// The first-generation modules as the list shows them.
inline QStringList firstGenerationRows()
{
    return {"MWB140 20001 16 1", "MWB140 20002 16 2", "MWB140 20003 16 3"};
}

} // namespace

