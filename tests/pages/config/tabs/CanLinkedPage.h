#pragma once

// The configuration page linked to the emulated control unit's CAN bus, as
// the window links it, for the CAN Devices section's tests.
#include "../ConfigPageFixture.h"

#include "../../../can/CanSimRig.h"
#include "HeldBox.h"
#include "canConfig.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int kJobTimeoutMs = 60000;

CanBusSim::Device device(quint16 type, quint32 serial, quint32 base, quint8 cells)
{
    CanBusSim::Device d;
    d.type = type;
    d.serial = serial;
    d.baseId = base;
    d.cells = cells;
    d.version = 0x00020503;
    return d;
}

// The page linked to the emulated unit's CAN bus as the window links it;
// the boxes it shows are recorded and answered Ok.
struct LinkedPage
{
    CanSimRig rig;
    PageFixture f;
    QStringList boxes;
    QSignalSpy status{rig.cc, &canConfig::sigCanDeviceOperationStatus};

    LinkedPage()
    {
        // 11-bit identifiers; devices from 0x10, the unit at 0x15.
        rig.params = {{0x0D03, 0x0010}, {0x0D00, 0x0015}};
        f.page->setModalBoxRunner([this](QMessageBox* box) {
            testkit::holdLikeABox();
            boxes << (box->informativeText().isEmpty() ? box->text() : box->informativeText());
            box->setResult(QMessageBox::Ok);
        });
        f.page->setResetPause([](int) {});
        QObject::connect(rig.cc, &canConfig::sigCanDeviceOperationStatus, f.page.get(),
                         &ConfigPage::slotCanDeviceOperationStatus);
        QObject::connect(rig.cc, &canConfig::sigCanDeviceSortingRequest, f.page.get(),
                         &ConfigPage::slotCanDeviceSortingRequest);
        QObject::connect(rig.cc, &canConfig::sigCGMGen2StatusUpdate, f.page.get(),
                         &ConfigPage::slotCGMGen2StatusUpdate);
    }
    ~LinkedPage() { g_canConfig = nullptr; }

    bool start()
    {
        if (!rig.start())
            return false;
        g_canConfig = rig.cc;
        f.reply(0x1600, 0x200);      // CAN enabled: the tab is usable
        f.reply(0x0D03, 0x0010, 4);  // "Device CAN ID Base:"
        return true;
    }
    // A load ends with this stored mapping.
    void load(const QList<quint32>& serials)
    {
        for (int k = 0; k < serials.size(); ++k) {
            const ConfigPage::ModuleRecord& r = f.page->moduleRecords[k];
            static_cast<QLineEdit*>(r.serialEdit)->setText(QString::number(serials.at(k) & 0xFFFF));
            static_cast<QLineEdit*>(r.stringEdit)->setText("0");
            static_cast<QLineEdit*>(r.cellCountEdit)->setText("12");
        }
        static_cast<QLineEdit*>(f.page->moduleCountEdit)->setText(QString::number(serials.size()));
        f.page->finishLoading();
    }
    // The first end (finished or failed) of the operation since the spy
    // was last cleared; -1 when none came.
    int waitEnd(int operation)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kJobTimeoutMs) {
            for (const QList<QVariant>& s : qAsConst(status))
                if (s.at(1).toInt() == operation && s.at(0).toInt() != 0)
                    return s.at(0).toInt();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return -1;
    }
    bool discover()
    {
        status.clear();
        if (!f.page->discoverButton->isEnabled())
            return false;
        QTest::mouseClick(f.page->discoverButton, Qt::LeftButton);
        const bool done = waitEnd(CanOpDiscovery) == CanOpFinished;
        rig.cc->hideProgress();
        return done;
    }
    QString record(int k) const
    {
        const ConfigPage::ModuleRecord& r = f.page->moduleRecords[k];
        return static_cast<QLineEdit*>(r.serialEdit)->text() + "/" + static_cast<QLineEdit*>(r.stringEdit)->text()
               + "/" + static_cast<QLineEdit*>(r.cellCountEdit)->text();
    }
};

// The CAN jobs' signal types queued across threads; their debug lines off.
inline void prepareCanJobTest()
{
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false"));
}

} // namespace
