// The GATT client's discovery and procedures, and the advertisement parser,
// driven by dongle messages byte by byte.

#include "Bgapi.h"
#include "BgapiTestKit.h"
#include "Gatt.h"

#include <QTest>

namespace {

QByteArray sentBytes;
void capture(size_t n1, const uint8_t* d1, size_t n2, const uint8_t* d2)
{
    sentBytes.append(reinterpret_cast<const char*>(d1), int(n1));
    if (n2)
        sentBytes.append(reinterpret_cast<const char*>(d2), int(n2));
}

struct BusEvent {
    int kind;
    int handle;
    int stage;
    int code;
};
QVector<BusEvent> bus;
void listen(int kind, const void* p)
{
    BusEvent e{kind, -1, -1, -1};
    if (kind == DRV_ERROR) {
        e.stage = static_cast<const DriverError*>(p)->stage;
        e.code = static_cast<const DriverError*>(p)->code;
    } else if (kind == DRV_NOTIFICATION_ENABLED || kind == DRV_VALUE_WRITTEN) {
        e.handle = static_cast<const DriverHandle*>(p)->handle;
    } else if (kind == DRV_VALUE_READ || kind == DRV_VALUE_NOTIFIED) {
        e.handle = static_cast<const DriverValue*>(p)->handle;
    }
    bus.append(e);
}

void feed(const QByteArray& bytes) { bgapiReceive(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())); }

// UUIDs least-significant byte first, as the dongle delivers them.
QByteArray wire(const UuidEntry& e)
{
    QByteArray b;
    for (int i = e.length - 1; i >= 0; --i)
        b.append(char(e.uuid[i]));
    return b;
}

const QByteArray kDecl = hex("0328");
const QByteArray kCccd = hex("0229");

QByteArray infoFound(int handle, const QByteArray& uuid) { return evt(4, 4, Pl().u8(0).u16(handle).arr(uuid)); }
QByteArray completed(int result, int handle) { return evt(4, 1, Pl().u8(0).u16(result).u16(handle)); }

// Discovery of the module service with the given attribute list.
void discover(const QList<QByteArray>& attributes)
{
    gattBegin(0);
    gattAddWantedService(BLED112_SERVICE_UUID);
    QCOMPARE(gattDiscoverServices(), int(BLED_OK));
    feed(evt(4, 2, Pl().u8(0).u16(0x10).u16(0x10 + attributes.size()).arr(wire(BLED112_SERVICE_UUID))));
    feed(completed(0, 0xFFFF));
    for (const QByteArray& a : attributes)
        feed(a);
    feed(completed(0, 0x10 + attributes.size()));
}

} // namespace

class TestGatt : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        sentBytes.clear();
        bus.clear();
        bgapiResetReceiver();
        bgapiClearHandlers();
        gattInstallHandlers();
        bgapiSetOutput(capture);
        driverClearListeners();
        driverAddListener(listen);
        gattReset();
    }
    void cleanup()
    {
        driverClearListeners();
        bgapiSetOutput(nullptr);
        gattReset();
    }

    // Only wanted services are kept; a short UUID is never taken for a long
    // one that starts with the same bytes.
    void serviceMatching_data()
    {
        QTest::addColumn<QByteArray>("groupUuid");
        QTest::addColumn<bool>("kept");
        QTest::newRow("module service") << wire(BLED112_SERVICE_UUID) << true;
        QTest::newRow("other 128-bit") << wire(BLED112_NOTIFY_UUID) << false;
        QTest::newRow("16-bit equal to the first two bytes") << hex("46bb") << false;
        QTest::newRow("GAP service") << hex("0018") << false;
    }
    void serviceMatching()
    {
        QFETCH(QByteArray, groupUuid);
        QFETCH(bool, kept);
        gattBegin(0);
        gattAddWantedService(BLED112_SERVICE_UUID);
        QCOMPARE(gattDiscoverServices(), int(BLED_OK));
        const QList<Cmd> readGroups{Cmd{4, 1, hex("000100ffff020028")}};
        QCOMPARE(cutCommands(sentBytes), readGroups);
        feed(evt(4, 2, Pl().u8(0).u16(0x10).u16(0x19).arr(groupUuid)));
        QCOMPARE(gattServiceCount(), kept ? 1 : 0);
        QCOMPARE(gattFindService(BLED112_SERVICE_UUID) != nullptr, kept);
    }

    void characteristicDiscovery()
    {
        discover({infoFound(0x11, kDecl), infoFound(0x12, wire(BLED112_NOTIFY_UUID)), infoFound(0x13, kCccd),
                  infoFound(0x14, wire(BLED112_DATA_UUID)), // a value without a declaration
                  infoFound(0x15, kDecl), infoFound(0x16, wire(BLED112_STATUS_UUID))});
        const Cmd findInfo{4, 3, hex("0011001600")};
        QCOMPARE(cutCommands(sentBytes).value(1), findInfo);
        QCOMPARE(bus.size(), 1);
        QCOMPARE(bus[0].kind, int(DRV_DISCOVERY_COMPLETE));
        QCOMPARE(gattState(), GATT_IDLE);
        const GattService* s = gattFindService(BLED112_SERVICE_UUID);
        QVERIFY(s);
        QCOMPARE(int(s->characteristicCount), 2);
        const GattCharacteristic* notify = gattFindCharacteristic(s, BLED112_NOTIFY_UUID);
        QVERIFY(notify);
        QCOMPARE(int(notify->declarationHandle), 0x11);
        QCOMPARE(int(notify->valueHandle), 0x12);
        QCOMPARE(int(notify->configHandle), 0x13);
        QVERIFY(!gattFindCharacteristic(s, BLED112_DATA_UUID));
        const GattCharacteristic* status = gattFindCharacteristic(s, BLED112_STATUS_UUID);
        QVERIFY(status);
        QCOMPARE(int(status->valueHandle), 0x16);
        QCOMPARE(int(status->configHandle), 0);
    }

    void discoveryErrorEndsIt()
    {
        gattBegin(0);
        gattAddWantedService(BLED112_SERVICE_UUID);
        gattDiscoverServices();
        feed(completed(0x0185, 0));
        QCOMPARE(gattState(), GATT_IDLE);
        QCOMPARE(bus.size(), 1);
        QCOMPARE(bus[0].stage, 4);
        QCOMPARE(bus[0].code, 0x0185);
    }

    // Any completion, error or not, returns the client to idle, so later
    // requests (sentence writes above all) are not refused for ever.
    void completionReturnsToIdle_data()
    {
        QTest::addColumn<int>("procedure"); // 3 enable, 5 read
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("stage");     // -1: no error
        QTest::addColumn<int>("event");     // -1: none
        QTest::newRow("enable ok") << 3 << 0 << -1 << int(DRV_NOTIFICATION_ENABLED);
        QTest::newRow("enable error") << 3 << 0x0405 << 10 << -1;
        QTest::newRow("read error") << 5 << 0x0405 << 13 << -1;
    }
    void completionReturnsToIdle()
    {
        QFETCH(int, procedure);
        QFETCH(int, result);
        QFETCH(int, stage);
        QFETCH(int, event);
        discover({infoFound(0x11, kDecl), infoFound(0x12, wire(BLED112_NOTIFY_UUID)), infoFound(0x13, kCccd)});
        bus.clear();
        const GattCharacteristic* c = gattFindCharacteristic(gattFindService(BLED112_SERVICE_UUID), BLED112_NOTIFY_UUID);
        QVERIFY(c);
        QCOMPARE(procedure == 3 ? gattEnableNotification(c) : gattReadValue(c), int(BLED_OK));
        QCOMPARE(int(gattState()), procedure);
        const uint8_t b = 'x';
        QCOMPARE(gattWriteCommand(c, &b, 1), int(BLED_BUSY));
        QCOMPARE(gattReadValue(c), int(BLED_BUSY));
        feed(completed(result, procedure == 3 ? 0x13 : 0x12));
        QCOMPARE(gattState(), GATT_IDLE);
        QCOMPARE(bus.size(), 1);
        QCOMPARE(bus[0].kind, stage >= 0 ? int(DRV_ERROR) : event);
        if (stage >= 0)
            QCOMPARE(bus[0].stage, stage);
        sentBytes.clear();
        QCOMPARE(gattWriteCommand(c, &b, 1), int(BLED_OK));
        const QList<Cmd> write{Cmd{4, 6, hex("00120001") + "x"}};
        QCOMPARE(cutCommands(sentBytes), write);
    }

    // A refused read never completes: the client must not stay busy.
    void refusedReadReturnsToIdle()
    {
        discover({infoFound(0x11, kDecl), infoFound(0x12, wire(BLED112_STATUS_UUID))});
        const GattCharacteristic* c = gattFindCharacteristic(gattFindService(BLED112_SERVICE_UUID), BLED112_STATUS_UUID);
        QCOMPARE(gattReadValue(c), int(BLED_OK));
        feed(rsp(4, 4, Pl().u8(0).u16(0x0181)));
        QCOMPARE(gattState(), GATT_IDLE);
        QCOMPARE(bus.last().stage, 13);
    }

    void valueDelivery()
    {
        discover({infoFound(0x11, kDecl), infoFound(0x12, wire(BLED112_STATUS_UUID))});
        const GattCharacteristic* c = gattFindCharacteristic(gattFindService(BLED112_SERVICE_UUID), BLED112_STATUS_UUID);
        bus.clear();
        QCOMPARE(gattReadValue(c), int(BLED_OK));
        feed(evt(4, 5, Pl().u8(0).u16(0x12).u8(0).arr(hex("0102"))));
        QCOMPARE(gattState(), GATT_IDLE);
        feed(evt(4, 5, Pl().u8(0).u16(0x12).u8(1).arr(hex("03"))));
        feed(evt(4, 5, Pl().u8(0).u16(0x12).u8(2).arr(hex("04"))));
        feed(evt(4, 5, Pl().u8(1).u16(0x12).u8(1).arr(hex("05")))); // another connection
        QCOMPARE(bus.size(), 2);
        QCOMPARE(bus[0].kind, int(DRV_VALUE_READ));
        QCOMPARE(bus[1].kind, int(DRV_VALUE_NOTIFIED));
    }

    void requestChecks()
    {
        QCOMPARE(gattDiscoverServices(), int(BLED_NOT_READY));
        QCOMPARE(gattReadValue(nullptr), int(BLED_INVALID));
        GattCharacteristic other{};
        other.connection = 1;
        other.valueHandle = 5;
        gattBegin(0);
        QCOMPARE(gattReadValue(&other), int(BLED_NOT_READY));
        other.connection = 0;
        QCOMPARE(gattEnableNotification(&other), int(BLED_INVALID)); // no configuration handle
        QVERIFY(sentBytes.isEmpty());
    }

    void adverts_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("presence");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("uuid");
        QTest::addColumn<int>("uuidLength");
        QTest::addColumn<quint32>("value");
        const QByteArray service = wire(BLED112_SERVICE_UUID);
        const QByteArray serviceDisplay = hex("bb4600014a8baa9de5119a19c681ca6b");
        QTest::newRow("module") << hex("020106") + char(17) + char(7) + service + hex("07ff5900efbeadde") + hex("0509424d5331")
                                << 0xF << QByteArray("BMS1") << serviceDisplay << 16 << quint32(0xDEADBEEF);
        QTest::newRow("name cut to 29") << QByteArray(1, char(31)) + char(9) + QByteArray(30, 'N')
                                        << int(ADVERT_NAME) << QByteArray(29, 'N') << QByteArray(16, 0) << 0 << quint32(0);
        QTest::newRow("16-bit uuid fills the end") << hex("03030d18")
                                                   << int(ADVERT_SERVICE_UUID) << QByteArray() << QByteArray(14, 0) + hex("180d") << 2 << quint32(0);
        QTest::newRow("list keeps its first uuid") << QByteArray(1, char(33)) + char(6) + service + QByteArray(16, char(0x77))
                                                   << int(ADVERT_SERVICE_UUID) << QByteArray() << serviceDisplay << 16 << quint32(0);
        QTest::newRow("short uuid does not replace a long one") << QByteArray(1, char(17)) + char(7) + service + hex("03030d18")
                                                                << int(ADVERT_SERVICE_UUID) << QByteArray() << serviceDisplay << 16 << quint32(0);
        QTest::newRow("manufacturer data not 7 long") << hex("06ff5900efbead")
                                                      << 0 << QByteArray() << QByteArray(16, 0) << 0 << quint32(0);
        QTest::newRow("zero length stops") << hex("020106" "00" "0509424d5331")
                                           << int(ADVERT_FLAGS) << QByteArray() << QByteArray(16, 0) << 0 << quint32(0);
        QTest::newRow("overrunning structure stops") << hex("0509424d5331" "1e09414243")
                                                     << int(ADVERT_NAME) << QByteArray("BMS1") << QByteArray(16, 0) << 0 << quint32(0);
        QTest::newRow("empty") << QByteArray() << 0 << QByteArray() << QByteArray(16, 0) << 0 << quint32(0);
    }
    void adverts()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, presence);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, uuid);
        QFETCH(int, uuidLength);
        QFETCH(quint32, value);
        // The parser sees the bytes in a buffer of exactly their size, so
        // the sanitizer catches any read past them.
        QScopedArrayPointer<uint8_t> exact(new uint8_t[size_t(data.size()) + 1]);
        memcpy(exact.data(), data.constData(), size_t(data.size()));
        const AdvertSummary s = parseAdvertisement(exact.data(), size_t(data.size()));
        QCOMPARE(int(s.presence), presence);
        QCOMPARE(QByteArray(s.name), name);
        QCOMPARE(s.name[29], '\0');
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(s.uuid), 16), uuid);
        QCOMPARE(int(s.uuidLength), uuidLength);
        QCOMPARE(s.value, value);
    }
};

QTEST_APPLESS_MAIN(TestGatt)
#include "tst_gatt.moc"
