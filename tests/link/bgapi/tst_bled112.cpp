// The dongle driver byte by byte: scripted dongle messages in, the exact
// commands out, and the user events between them.

#include "Bled112.h"
#include "BgapiTestKit.h"

#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(std::function<int()>)

namespace {

const QByteArray kModuleAddress = hex("a1a2a3a4a5a6");
const QByteArray kOtherAddress = hex("b1b2b3b4b5b6");

QByteArray wire(const UuidEntry& e)
{
    QByteArray b;
    for (int i = e.length - 1; i >= 0; --i)
        b.append(char(e.uuid[i]));
    return b;
}

QByteArray connStatus(int conn, int flags, int interval, int bonding)
{
    return evt(3, 0, Pl().u8(conn).u8(flags).raw(kModuleAddress).u8(0).u16(interval).u16(100).u16(0).u8(bonding));
}

QByteArray scanResponse(const QByteArray& address, const QByteArray& data)
{
    return evt(6, 0, Pl().u8(0xC4).u8(0).raw(address).u8(1).u8(0xFF).arr(data));
}

QByteArray moduleAdvert(quint32 value = 0x01020304)
{
    return hex("020106") + char(17) + char(7) + wire(BLED112_SERVICE_UUID) + Pl().u8(7).u8(0xFF).u16(0x0059).u32(value).b;
}

QByteArray nameAdvert(const QByteArray& name) { return QByteArray(1, char(name.size() + 1)) + char(9) + name; }

QByteArray infoFound(int handle, const QByteArray& uuid) { return evt(4, 4, Pl().u8(0).u16(handle).arr(uuid)); }
QByteArray completed(int result, int handle) { return evt(4, 1, Pl().u8(0).u16(result).u16(handle)); }

QByteArray statusRecord(quint32 word, quint32 passkey, int lock)
{
    return Pl().u32(word).u32(passkey).u32(0).u8(lock);
}

// Handles of the emulated module's attributes.
enum { kNotify = 0x12, kCccd = 0x13, kData = 0x15, kCommand = 0x17, kStatus = 0x19 };

void openDone(DriverRig& rig)
{
    rig.feed(rsp(0, 6, Pl().u8(1)) + connStatus(0, 0, 0, 0xFF));
}

void scanFound(DriverRig& rig)
{
    QCOMPARE(BLED112_startScan(), int(BLED_OK));
    rig.feed(scanResponse(kModuleAddress, moduleAdvert()));
}

// Connect, discover and encrypt up to the passkey request.
void upToPasskey(DriverRig& rig)
{
    openDone(rig);
    scanFound(rig);
    QCOMPARE(BLED112_connect(1), int(BLED_OK));
    rig.feed(rsp(6, 3, Pl().u16(0).u8(0)) + connStatus(0, 0x05, 40, 0xFF));
    rig.feed(evt(4, 2, Pl().u8(0).u16(0x10).u16(0x19).arr(wire(BLED112_SERVICE_UUID))) + completed(0, 0xFFFF));
    rig.feed(infoFound(0x11, hex("0328")) + infoFound(kNotify, wire(BLED112_NOTIFY_UUID)) + infoFound(kCccd, hex("0229"))
             + infoFound(0x14, hex("0328")) + infoFound(kData, wire(BLED112_DATA_UUID))
             + infoFound(0x16, hex("0328")) + infoFound(kCommand, wire(BLED112_COMMAND_UUID))
             + infoFound(0x18, hex("0328")) + infoFound(kStatus, wire(BLED112_STATUS_UUID)) + completed(0, 0x19));
    rig.feed(evt(5, 3, Pl().u8(0)));
}

void toReady(DriverRig& rig, const QByteArray& status = statusRecord(0x11223344, 123456, 0))
{
    upToPasskey(rig);
    QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_OK));
    rig.feed(rsp(5, 4, Pl().u16(0)) + connStatus(0, 0x03, 40, 0));
    rig.feed(evt(4, 5, Pl().u8(0).u16(kStatus).u8(0).arr(status)));
    rig.feed(rsp(4, 5, Pl().u8(0).u16(0)) + completed(0, kCccd));
}

} // namespace

class TestBled112 : public QObject
{
    Q_OBJECT

private slots:
    // Open: five commands; leftover connections are ended and opening ends
    // with the last status.
    void openSequence()
    {
        DriverRig rig;
        QCOMPARE(rig.pieces, (QList<QByteArray>{hex("00000604"), hex("0001050101"), hex("00030503000702"),
                                                hex("0001070c0e"), hex("00000006")}));
        rig.pieces.clear();
        QVERIFY(BLED112_isOpening());
        rig.feed(rsp(0, 6, Pl().u8(3)));
        rig.feed(connStatus(0, 0x01, 40, 0xFF));
        rig.feed(connStatus(1, 0x00, 0, 0xFF));
        QVERIFY(BLED112_isOpening());
        rig.feed(connStatus(2, 0x03, 60, 0));
        QVERIFY(!BLED112_isOpening());
        QCOMPARE(rig.commands(), (QList<Cmd>{{3, 0, hex("00")}, {3, 0, hex("02")}}));
        QVERIFY(rig.events.isEmpty());
    }

    void openWithoutConnectionSlots()
    {
        DriverRig rig;
        rig.feed(rsp(0, 6, Pl().u8(0)));
        QVERIFY(!BLED112_isOpening());
    }

    // The service filter is added once however often a scan starts.
    void scanStart()
    {
        DriverRig rig;
        openDone(rig);
        rig.pieces.clear();
        QCOMPARE(BLED112_startScan(), int(BLED_OK));
        QCOMPARE(BLED112_startScan(), int(BLED_OK));
        QCOMPARE(scanFilterCount(), 1);
        const Cmd params{6, 7, hex("4b003200" "01")};
        const Cmd discover{6, 2, hex("01")};
        QCOMPARE(rig.commands(), (QList<Cmd>{params, discover, params, discover}));
        QCOMPARE(rig.kinds(), (QVector<int>{BLED112_SCAN_STARTED, BLED112_SCAN_STARTED}));
        rig.pieces.clear();
        BLED112_stopScan();
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({6, 4, {}})});
        QCOMPARE(rig.kinds().last(), int(BLED112_SCAN_STOPPED));
    }

    void scanResponses()
    {
        DriverRig rig;
        openDone(rig);
        BLED112_startScan();
        rig.events.clear();
        rig.feed(scanResponse(kModuleAddress, nameAdvert("BMS Kiel")));          // name only: no event
        rig.feed(scanResponse(kOtherAddress, hex("03030d18") + nameAdvert("HRM"))); // 16-bit service: no event
        rig.feed(scanResponse(kModuleAddress, moduleAdvert(0xCAFE)));
        rig.feed(scanResponse(kModuleAddress, moduleAdvert(0xCAFE)));
        rig.feed(scanResponse(kOtherAddress, Pl().u8(17).u8(7).raw(wire(BLED112_DATA_UUID)).b)); // other 128-bit
        QCOMPARE(rig.kinds(), (QVector<int>{BLED112_DEVICE_FOUND, BLED112_DEVICE_FOUND}));
        QCOMPARE(rig.events[0].index, 1);
        QCOMPARE(rig.events[0].name, QByteArray("BMS Kiel"));
        QCOMPARE(rig.events[0].value, quint32(0xCAFE));
        QCOMPARE(rig.events[1].index, 1);

        const QByteArray third = hex("c1c2c3c4c5c6");
        rig.feed(scanResponse(third, moduleAdvert()));
        QCOMPARE(rig.events.last().index, 3); // the other advertiser holds index 2
        QVERIFY(scanFindDevice(2));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(scanFindDevice(3)->address), 6), third);

        // A new scan starts a new list: an index names one module only.
        BLED112_startScan();
        rig.feed(scanResponse(third, moduleAdvert()));
        QCOMPARE(rig.events.last().index, 1);
        QCOMPARE(scanDeviceCount(), 1);
    }

    // A crowd of other advertisers neither grows the list without bound nor
    // hides the module, and the index reported still names it.
    void crowdedScan()
    {
        DriverRig rig;
        openDone(rig);
        BLED112_startScan();
        rig.feed(scanResponse(kModuleAddress, moduleAdvert()));
        for (int i = 0; i < 400; ++i)
            rig.feed(scanResponse(Pl().u16(i).u32(0xEEEEEEEE).b, nameAdvert("phone")));
        QCOMPARE(scanDeviceCount(), BLED112_MAX_DEVICES);
        const QByteArray late = hex("c1c2c3c4c5c6");
        rig.feed(scanResponse(late, moduleAdvert()));
        const UserEvent* found = rig.last(BLED112_DEVICE_FOUND);
        QVERIFY(found->index >= 1 && found->index <= 255);
        const ScanDevice* d = scanFindDevice(found->index);
        QVERIFY(d);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d->address), 6), late);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(scanFindDevice(1)->address), 6), kModuleAddress);
    }

    // Connect → discovery → encryption → passkey → status read →
    // notifications → ready, with every command as sent.
    void connectToReady()
    {
        DriverRig rig;
        openDone(rig);
        scanFound(rig);
        rig.pieces.clear();
        QCOMPARE(BLED112_connect(7), int(BLED_INVALID));
        QVERIFY(rig.pieces.isEmpty());
        upToPasskey(rig);
        QCOMPARE(rig.kinds().last(), int(BLED112_PASSKEY_REQUESTED));
        QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_OK));
        rig.feed(rsp(5, 4, Pl().u16(0)) + connStatus(0, 0x03, 40, 0));
        rig.feed(evt(4, 5, Pl().u8(0).u16(kStatus).u8(0).arr(statusRecord(0x11223344, 654321, 0))));
        QCOMPARE(BLED112_write(reinterpret_cast<const uint8_t*>("x"), 1), int(BLED_NOT_READY));
        rig.feed(rsp(4, 5, Pl().u8(0).u16(0)) + completed(0, kCccd));

        QList<Cmd> cmds = rig.commands();
        // Opening and the scan ran before; compare from the connection on.
        while (!cmds.isEmpty() && !(cmds.first().cls == 6 && cmds.first().id == 3))
            cmds.removeFirst();
        QCOMPARE(cmds, (QList<Cmd>{
            {6, 3, kModuleAddress + hex("01" "0600" "2700" "9600" "0000")},
            {4, 1, hex("00" "0100" "ffff" "02" "0028")},
            {4, 3, hex("00" "1100" "1900")},
            {5, 0, hex("0001")},
            {5, 4, hex("00" "40e20100")},
            {4, 4, hex("00" "1900")},
            {4, 5, hex("00" "1300" "02" "0100")},
        }));
        const UserEvent* c = rig.last(BLED112_CONNECTED);
        QVERIFY(c);
        QCOMPARE(c->locked, 0);
        QCOMPARE(c->statusWord, quint32(0x11223344));
        QCOMPARE(c->value, quint32(0x01020304));
        QCOMPARE(BLED112_getModuleState(), int(BLED_OK));
        char digits[6];
        QCOMPARE(BLED112_getPasskey(digits), int(BLED_OK));
        QCOMPARE(QByteArray(digits, 6), QByteArray("654321"));
        QCOMPARE(BLED112_startScan(), int(BLED_NOT_READY));
        QCOMPARE(BLED112_connect(1), int(BLED_NOT_READY));

        // Notifications now reach the user.
        rig.feed(evt(4, 5, Pl().u8(0).u16(kNotify).u8(1).arr("VR1,?")));
        QCOMPARE(rig.events.last().kind, int(BLED112_DATA_RECEIVED));
        QCOMPARE(rig.events.last().data, QByteArray("VR1,?"));
    }

    void notificationsBeforeReadyDropped()
    {
        DriverRig rig;
        upToPasskey(rig);
        rig.feed(evt(4, 5, Pl().u8(0).u16(kNotify).u8(1).arr("x")));
        QVERIFY(!rig.last(BLED112_DATA_RECEIVED));
    }

    void statusRecordOf12Bytes()
    {
        DriverRig rig;
        upToPasskey(rig);
        BLED112_enterPasskey("123456");
        rig.feed(connStatus(0, 0x03, 40, 0));
        rig.pieces.clear();
        rig.feed(evt(4, 5, Pl().u8(0).u16(kStatus).u8(0).arr(statusRecord(1, 2, 0).left(12))));
        QVERIFY(rig.pieces.isEmpty());
        QVERIFY(!rig.last(BLED112_CONNECTED));
        QCOMPARE(BLED112_getModuleState(), int(BLED_NOT_READY));
    }

    void chunking_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QVector<int>>("chunks");
        QTest::newRow("0") << 0 << QVector<int>{};
        QTest::newRow("20") << 20 << QVector<int>{20};
        QTest::newRow("41") << 41 << QVector<int>{20, 20, 1};
        QTest::newRow("45") << 45 << QVector<int>{20, 20, 5};
    }
    void chunking()
    {
        QFETCH(int, length);
        QFETCH(QVector<int>, chunks);
        DriverRig rig;
        toReady(rig);
        rig.pieces.clear();
        QByteArray data;
        for (int i = 0; i < length; ++i)
            data.append(char('A' + i % 26));
        QCOMPARE(BLED112_write(reinterpret_cast<const uint8_t*>(data.constData()), length), int(BLED_OK));
        QVector<int> sizes;
        QByteArray joined;
        for (const Cmd& c : rig.commands()) {
            QCOMPARE(c.cls, 4);
            QCOMPARE(c.id, 6);
            QCOMPARE(c.payload.left(4), Pl().u8(0).u16(kData).u8(c.payload.size() - 4).b);
            sizes.append(c.payload.size() - 4);
            joined += c.payload.mid(4);
        }
        QCOMPARE(sizes, chunks);
        QCOMPARE(joined, data);
    }

    // A failed write response is reported and later writes still go out.
    void writeRefusedByDongle()
    {
        DriverRig rig;
        toReady(rig);
        rig.feed(rsp(4, 6, Pl().u8(0).u16(0x0182)));
        QCOMPARE(rig.events.last().stage, 15);
        QCOMPARE(rig.events.last().text, QString("Device has run out of memory"));
        rig.feed(completed(0x0401, 0)); // no procedure running: stage 9
        QCOMPARE(rig.events.last().stage, 9);
        rig.pieces.clear();
        QCOMPARE(BLED112_write(reinterpret_cast<const uint8_t*>("abc"), 3), int(BLED_OK));
        QCOMPARE(rig.commands().size(), 1);
    }

    void moduleCommands_data()
    {
        QTest::addColumn<quint32>("passkey");
        QTest::addColumn<int>("lock");
        QTest::addColumn<std::function<int()>>("op");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("bytes"); // empty: nothing written
        const quint32 none = 0xFFFFFFFF;
        auto name = [](QByteArray n) { return std::function<int()>([n] {
            return BLED112_setName(reinterpret_cast<const uint8_t*>(n.constData()), n.size()); }); };
        QTest::newRow("set name") << quint32(1) << 0 << name("BMS Kiel") << 0 << QByteArray("BMS Kiel");
        QTest::newRow("name of 20") << quint32(1) << 0 << name(QByteArray(20, 'n')) << 0 << QByteArray(20, 'n');
        QTest::newRow("empty name") << quint32(1) << 0 << name("") << 3 << QByteArray();
        QTest::newRow("name of 21") << quint32(1) << 0 << name(QByteArray(21, 'n')) << 3 << QByteArray();
        QTest::newRow("name starting 0xFF") << quint32(1) << 0 << name(hex("ff41")) << 2 << QByteArray();
        QTest::newRow("clear name") << quint32(1) << 0 << std::function<int()>(BLED112_clearName) << 0 << hex("ff51");
        QTest::newRow("set pin") << quint32(1) << 0 << std::function<int()>([] { return BLED112_setPin("012345"); }) << 0 << hex("ff52") + "012345";
        QTest::newRow("pin not digits") << quint32(1) << 0 << std::function<int()>([] { return BLED112_setPin("01234x"); }) << 2 << QByteArray();
        QTest::newRow("clear pin") << quint32(1) << 0 << std::function<int()>(BLED112_clearPin) << 0 << hex("ff53");
        QTest::newRow("clear pin, none") << none << 0 << std::function<int()>(BLED112_clearPin) << 2 << QByteArray();
        QTest::newRow("clear pin, none, locked") << none << 1 << std::function<int()>(BLED112_clearPin) << 2 << QByteArray();
        QTest::newRow("lock") << quint32(1) << 0 << std::function<int()>(BLED112_lock) << 0 << hex("ff54");
        QTest::newRow("reset") << quint32(1) << 0 << std::function<int()>(BLED112_reset) << 0 << hex("ff55");
        QTest::newRow("locked: name") << quint32(1) << 1 << name("x") << 4 << QByteArray();
        QTest::newRow("locked: clear name") << quint32(1) << 1 << std::function<int()>(BLED112_clearName) << 4 << QByteArray();
        QTest::newRow("locked: pin") << quint32(1) << 1 << std::function<int()>([] { return BLED112_setPin("012345"); }) << 4 << QByteArray();
        QTest::newRow("locked: clear pin") << quint32(1) << 1 << std::function<int()>(BLED112_clearPin) << 4 << QByteArray();
        QTest::newRow("locked: lock") << quint32(1) << 1 << std::function<int()>(BLED112_lock) << 4 << QByteArray();
        QTest::newRow("locked: reset") << quint32(1) << 1 << std::function<int()>(BLED112_reset) << 4 << QByteArray();
    }
    void moduleCommands()
    {
        QFETCH(quint32, passkey);
        QFETCH(int, lock);
        QFETCH(std::function<int()>, op);
        QFETCH(int, result);
        QFETCH(QByteArray, bytes);
        DriverRig rig;
        QCOMPARE(op(), int(BLED_NOT_READY));
        toReady(rig, statusRecord(0, passkey, lock));
        QCOMPARE(BLED112_getModuleState(), lock ? int(BLED_LOCKED) : int(BLED_OK));
        rig.pieces.clear();
        QCOMPARE(op(), result);
        if (bytes.isEmpty()) {
            QVERIFY(rig.pieces.isEmpty());
        } else {
            const QList<Cmd> sent{Cmd{4, 6, Pl().u8(0).u16(kCommand).arr(bytes).b}};
            QCOMPARE(rig.commands(), sent);
        }
    }

    void passkeyText_data()
    {
        QTest::addColumn<quint32>("stored");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("digits");
        QTest::newRow("leading zeros") << quint32(123) << 0 << QByteArray("000123");
        QTest::newRow("last six digits") << quint32(1234567) << 0 << QByteArray("234567");
        QTest::newRow("none") << quint32(0xFFFFFFFF) << 2 << QByteArray("------");
    }
    void passkeyText()
    {
        QFETCH(quint32, stored);
        QFETCH(int, result);
        QFETCH(QByteArray, digits);
        DriverRig rig;
        char out[6] = {'-', '-', '-', '-', '-', '-'};
        QCOMPARE(BLED112_getPasskey(out), int(BLED_NOT_READY));
        toReady(rig, statusRecord(0, stored, 0));
        QCOMPARE(BLED112_getPasskey(nullptr), result);
        QCOMPARE(BLED112_getPasskey(out), result);
        QCOMPARE(QByteArray(out, 6), digits);
    }

    // A mistyped passkey can be entered again; a valid entry ends the request.
    void passkeyEntry()
    {
        DriverRig rig;
        openDone(rig);
        QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_NOT_READY));
        upToPasskey(rig);
        rig.pieces.clear();
        QCOMPARE(BLED112_enterPasskey("12a456"), int(BLED_INVALID));
        QCOMPARE(BLED112_enterPasskey(nullptr), int(BLED_INVALID));
        QVERIFY(rig.pieces.isEmpty());
        QCOMPARE(BLED112_enterPasskey("000042"), int(BLED_OK));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({5, 4, hex("00" "2a000000")})});
        QCOMPARE(BLED112_enterPasskey("000042"), int(BLED_NOT_READY));
    }

    // A wrong passkey ends the connection instead of leaving it unusable.
    void wrongPasskey()
    {
        DriverRig rig;
        upToPasskey(rig);
        BLED112_enterPasskey("999999");
        rig.pieces.clear();
        rig.feed(evt(5, 1, Pl().u8(0).u16(0x0304)));
        QCOMPARE(rig.kinds().last(), int(BLED112_INCORRECT_PASSKEY));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({3, 0, hex("00")})});
        rig.feed(rsp(3, 0, Pl().u8(0).u16(0)) + evt(3, 4, Pl().u8(0).u16(0x0216)));
        QCOMPARE(rig.kinds().last(), int(BLED112_DISCONNECTED));
        // A new attempt starts from scratch.
        rig.pieces.clear();
        QCOMPARE(BLED112_connect(1), int(BLED_OK));
        QCOMPARE(rig.commands().size(), 1);
    }

    void bondingFailure()
    {
        DriverRig rig;
        openDone(rig);
        scanFound(rig);
        BLED112_connect(1);
        rig.feed(connStatus(0, 0x05, 40, 2)); // a bond from an earlier pairing
        rig.feed(evt(4, 2, Pl().u8(0).u16(0x10).u16(0x11).arr(wire(BLED112_SERVICE_UUID))) + completed(0, 0xFFFF));
        rig.feed(completed(0, 0x11));
        rig.pieces.clear();
        rig.events.clear();
        // The module lost the bond: drop it and pair again.
        rig.feed(evt(5, 1, Pl().u8(0).u16(0x0206)));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({5, 2, hex("02")})});
        rig.pieces.clear();
        rig.feed(rsp(5, 2, Pl().u16(0)));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({5, 0, hex("0001")})});
        QVERIFY(rig.events.isEmpty());
        // Failing again without a bond is an error, not another deletion.
        rig.pieces.clear();
        rig.feed(evt(5, 1, Pl().u8(0).u16(0x0206)));
        QVERIFY(rig.pieces.isEmpty());
        QCOMPARE(rig.events.last().kind, int(BLED112_ERROR));
        QCOMPARE(rig.events.last().stage, 1);
        QCOMPARE(rig.events.last().code, 0x0206);
        QCOMPARE(rig.events.last().text, QString("Pairing failed because of missing PIN, or authentication failed because of missing Key."));
        rig.feed(evt(5, 1, Pl().u8(0).u16(0x0305)));
        QCOMPARE(rig.events.last().stage, 1);
    }

    void bondDeleteFails()
    {
        DriverRig rig;
        openDone(rig);
        scanFound(rig);
        BLED112_connect(1);
        rig.feed(connStatus(0, 0x05, 40, 2));
        rig.feed(evt(5, 1, Pl().u8(0).u16(0x0206)));
        rig.feed(rsp(5, 2, Pl().u16(0x0181)));
        QCOMPARE(rig.events.last().stage, 1);
        QCOMPARE(rig.events.last().text, QString("Bonding delete error."));
    }

    // Disconnecting before the module is ready still ends a held connection.
    void disconnectBeforeReady()
    {
        DriverRig rig;
        openDone(rig);
        rig.pieces.clear();
        QCOMPARE(BLED112_disconnect(), int(BLED_NOT_READY));
        QVERIFY(rig.pieces.isEmpty());
        upToPasskey(rig);
        rig.pieces.clear();
        rig.events.clear();
        QCOMPARE(BLED112_disconnect(), int(BLED_OK));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({3, 0, hex("00")})});
        QCOMPARE(rig.events.size(), 1);
        QCOMPARE(rig.events[0].stage, 0);
        QCOMPARE(rig.events[0].text, QString("Warning: BLED112_disconnect() called while BLED112_connect() still in processing."));
        QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_NOT_READY));
    }

    void disconnectWhileConnecting()
    {
        DriverRig rig;
        openDone(rig);
        scanFound(rig);
        BLED112_connect(1);
        rig.pieces.clear();
        QCOMPARE(BLED112_disconnect(), int(BLED_OK));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({6, 4, {}})});
    }

    void disconnectWhenReady()
    {
        DriverRig rig;
        toReady(rig);
        rig.pieces.clear();
        QCOMPARE(BLED112_disconnect(), int(BLED_OK));
        QCOMPARE(rig.commands(), QList<Cmd>{Cmd({3, 0, hex("00")})});
        QCOMPARE(BLED112_write(reinterpret_cast<const uint8_t*>("x"), 1), int(BLED_NOT_READY));
        rig.feed(evt(3, 4, Pl().u8(0).u16(0x0216)));
        QCOMPARE(rig.kinds().last(), int(BLED112_DISCONNECTED));
    }

    void linkLost()
    {
        DriverRig rig;
        toReady(rig);
        rig.feed(evt(3, 4, Pl().u8(1).u16(0x0208))); // not ours
        QCOMPARE(BLED112_getModuleState(), int(BLED_OK));
        rig.feed(evt(3, 4, Pl().u8(0).u16(0x0208)));
        QCOMPARE(rig.kinds().last(), int(BLED112_DISCONNECTED));
        QCOMPARE(BLED112_getModuleState(), int(BLED_NOT_READY));
        QCOMPARE(BLED112_startScan(), int(BLED_OK));
    }

    void responseErrors_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("stage"); // -1: not reported
        QTest::addColumn<QString>("text");
        QTest::newRow("connect_direct") << rsp(6, 3, Pl().u16(0x0185).u8(0)) << 3 << "Command or Procedure failed due to timeout";
        QTest::newRow("discover") << rsp(6, 2, Pl().u16(0x0181)) << 4 << "Device is in wrong state to receive command";
        QTest::newRow("scan parameters") << rsp(6, 7, Pl().u16(0x0180)) << 4 << "Command contained invalid parameter";
        QTest::newRow("end_procedure, wrong state") << rsp(6, 4, Pl().u16(0x0181)) << -1 << "";
        QTest::newRow("end_procedure, other") << rsp(6, 4, Pl().u16(0x0999)) << 5 << "Unknown";
        QTest::newRow("disconnect") << rsp(3, 0, Pl().u8(0).u16(0x0186)) << 0 << "Connection handle passed is to command is not a valid handle";
        QTest::newRow("passkey entry") << rsp(5, 4, Pl().u16(0x0180)) << 1 << "Command contained invalid parameter";
        QTest::newRow("application error") << rsp(6, 3, Pl().u16(0x0480).u8(0)) << 3
                                            << "Application error code defined by a higher layer specification.";
        QTest::newRow("unsupported group type") << rsp(6, 3, Pl().u16(0x0410).u8(0)) << 3
                                                << "The attribute type is not a supported grouping attribute as defined by a higher layer specification.";
    }
    void responseErrors()
    {
        QFETCH(QByteArray, response);
        QFETCH(int, stage);
        QFETCH(QString, text);
        DriverRig rig;
        openDone(rig);
        rig.feed(response);
        if (stage < 0) {
            QVERIFY(rig.events.isEmpty());
            return;
        }
        QCOMPARE(rig.events.size(), 1);
        QCOMPARE(rig.events[0].kind, int(BLED112_ERROR));
        QCOMPARE(rig.events[0].stage, stage);
        QCOMPARE(rig.events[0].text, text);
    }

    // Close ends the connection and writes nothing afterwards.
    void close()
    {
        QList<QByteArray> after;
        {
            DriverRig rig;
            toReady(rig);
            rig.pieces.clear();
            rig.events.clear();
            QCOMPARE(BLED112_close(), int(BLED_OK));
            QCOMPARE(rig.commands(), (QList<Cmd>{{6, 4, {}}, {3, 0, hex("00")}}));
            QVERIFY(rig.events.isEmpty());
            rig.pieces.clear();
            rig.feed(rsp(0, 6, Pl().u8(1)) + connStatus(0, 5, 40, 0));
            QCOMPARE(BLED112_startScan(), int(BLED_OK));
            QVERIFY(rig.pieces.isEmpty());
        }
        DriverRig rig;
        QCOMPARE(BLED112_close(), int(BLED_NOT_READY));
        QCOMPARE(rig.events.size(), 1); // still opening: a warning
        QCOMPARE(rig.events[0].text, QString("Warning: BLED112_close() called while BLED112_open() still in processing."));
    }
};

QTEST_APPLESS_MAIN(TestBled112)
#include "tst_bled112.moc"
