#pragma once

// What every control-unit update with a kept configuration must end with,
// whatever bootloader took the image.
#include "ConfigUnitRig.h"
#include "UpdatePage.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

namespace restore {
// The user's configuration, away from the factory values.
const QMap<quint16, quint32> kUsedValues = {
    {0x0C89, 0x20}, {0x1901, 650}, {0x0267, 18000}, {0x0804, 0x83}, {0x1100, 4321}, {0x2600, 0x3AC49BA6},
};
constexpr int kLongWaitMs = 60000;

// The emulator received this sentence after the first `from` records.
inline bool receivedSince(const ControlUnitSim& sim, int from, const QString& sentence)
{
    const QList<ControlUnitSim::Received> rec = sim.received();
    for (int i = from; i < rec.size(); ++i)
        if (rec[i].good && rec[i].sentence == sentence)
            return true;
    return false;
}

// After the image went in: the restarted unit is set to its factory values
// once, the kept copy (of the unit with this serial, in decimal) is written
// back, the password is asked once, and the unit ends up running its
// application with the window linked to it and the outcome on the page.
inline void checkRestoredAndRunning(ConfigUnitRig& rig, UpdatePage* update, const QString& serial,
                                    const QMap<quint16, quint32>& before, const QStringList& boxes)
{
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.factoryResets(), 1, kLongWaitMs);
    const int mark = rig.sim.received().size();
    QTRY_VERIFY_WITH_TIMEOUT(receivedSince(rig.sim, mark, "RS1,"), kLongWaitMs);
    QCOMPARE(rig.sim.factoryResets(), 1);
    QVERIFY(QSettings().allKeys().filter(QRegularExpression("^SN " + serial + "/")).isEmpty());
    const QMap<quint16, quint32> after = rig.sim.params();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(QString::number(it.key(), 16)));
    QCOMPARE(boxes, QStringList{});
    QCOMPARE(rig.prompter.asked.filter("did not confirm"), QStringList{});
    // The unit asked for its login at both logins of the restore; the
    // password typed at the first one was used again.
    QCOMPARE(rig.prompter.prompts.filter("Enter login password").size(), 1);

    // The unit ends up running its application (its bootloader, entered by
    // the restore's reset, starts it again), the window linked to that
    // application and not to the bootloader it passed through, and the page
    // still says how the update ended.
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.mode() == ControlUnitSim::Mode::Firmware && rig.linked()
                                 && !rig.window->protocolHandler()->isBootMode()
                                 && update->startUpdateButton->isEnabled(),
                             kLongWaitMs);
    QCOMPARE(update->statusText->text(), QString("Loading configuration complete."));
    QVERIFY(update->statusText->isVisible());
    QCOMPARE(update->progressBar->value(), 100);
    QVERIFY(!update->updateRunning);
}
} // namespace restore
