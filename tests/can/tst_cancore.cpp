#include "CanDeviceCatalog.h"
#include "CanTunnel.h"
#include "RouteProtocol.h"

#include <QTest>

class TstCanCore : public QObject
{
    Q_OBJECT
private slots:
    void compose_data();
    void compose();
    void parse_data();
    void parse();
    void routeReplyNeedsComplementAndId_data();
    void routeReplyNeedsComplementAndId();
    void catalogue_data();
    void catalogue();
    void groupModuleTypes();
};

void TstCanCore::compose_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QString>("expected");
    QTest::newRow("11-bit, no data") << 0x514u << QByteArray() << false << "00000514,0,0,0,";
    QTest::newRow("read version of type 1 serial 0x102")
        << 0x1FFFFEE5u << QByteArray::fromHex("09F6010002010000") << true << "1FFFFEE5,1,0,8,09F6010002010000";
    QTest::newRow("29-bit mask") << 0xFFFFFFFFu << QByteArray::fromHex("AB") << true << "1FFFFFFF,1,0,1,AB";
    QTest::newRow("11-bit mask") << 0x1FFFu << QByteArray::fromHex("0102") << false << "000007FF,0,0,2,0102";
    QTest::newRow("never more than 8 bytes") << 0x10u << QByteArray::fromHex("00112233445566778899") << false
                                             << "00000010,0,0,8,0011223344556677";
}

void TstCanCore::compose()
{
    QFETCH(quint32, id);
    QFETCH(QByteArray, data);
    QFETCH(bool, extended);
    QFETCH(QString, expected);
    QCOMPARE(cantunnel::composeParameters(id, reinterpret_cast<const quint8*>(data.constData()), quint8(data.size()),
                                          extended),
             expected);
}

void TstCanCore::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("data"); // all 8 bytes
    QTest::newRow("route reply") << "CN1,1FFFFEE6,1,0,8,0BF4000000000000" << true << 0x1FFFFEE6u << 8
                                 << QByteArray::fromHex("0BF4000000000000");
    QTest::newRow("length 8, three bytes given") << "CN1,00000123,0,0,8,AABBCC" << true << 0x123u << 8
                                                 << QByteArray::fromHex("AABBCC0000000000");
    QTest::newRow("length read as decimal") << "CN1,00000123,0,0,10,AABBCCDDEEFF0011AABB" << true << 0x123u << 10
                                            << QByteArray::fromHex("AABBCCDDEEFF0011");
    QTest::newRow("bad characters read as 0") << "CN1,00000123,0,0,3,A?zz01" << true << 0x123u << 3
                                              << QByteArray::fromHex("0000010000000000");
    QTest::newRow("odd trailing digit") << "CN1,7,0,0,2,123" << true << 7u << 2
                                        << QByteArray::fromHex("1200000000000000");
    QTest::newRow("empty data") << "CN1,00000514,0,0,0," << true << 0x514u << 0 << QByteArray(8, 0);
    QTest::newRow("five fields") << "CN1,00000514,0,0,0" << false << 0u << 0 << QByteArray(8, 0);
    QTest::newRow("other sentence") << "CF2,0010,00,0,0,0" << false << 0u << 0 << QByteArray(8, 0);
    QTest::newRow("lower-case name") << "cn1,00000514,0,0,0," << false << 0u << 0 << QByteArray(8, 0);
}

void TstCanCore::parse()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    CanTunnelFrame f;
    QCOMPARE(cantunnel::parseLine(line, f), ok);
    if (!ok)
        return;
    QFETCH(quint32, id);
    QFETCH(int, length);
    QFETCH(QByteArray, data);
    QCOMPARE(f.id, id);
    QCOMPARE(int(f.length), length);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(f.data.data()), 8), data);
}

void TstCanCore::routeReplyNeedsComplementAndId_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("route");
    QTest::newRow("EE6") << "CN1,1FFFFEE6,1,0,4,02FD0000" << true;
    QTest::newRow("E5E6 alike") << "CN1,1FFFE5E6,1,0,4,02FD0000" << true;
    QTest::newRow("bad complement") << "CN1,1FFFFEE6,1,0,4,02FC0000" << false;
    QTest::newRow("foreign id") << "CN1,1FFFFEE5,1,0,4,02FD0000" << false;
}

void TstCanCore::routeReplyNeedsComplementAndId()
{
    QFETCH(QString, line);
    QFETCH(bool, route);
    CanTunnelFrame f;
    QVERIFY(cantunnel::parseLine(line, f));
    QCOMPARE(route::isRouteReply(f), route);
}

void TstCanCore::catalogue_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("group");
    const QString unknown = QStringLiteral("Unknown Device. Please upgrade Dadevoz Arezi.");
    QTest::newRow("0") << 0 << "PN?_0000" << unknown << false;
    QTest::newRow("6") << 6 << "PN?_0006" << unknown << false;
    QTest::newRow("17") << 17 << "PN?_0011" << unknown << false;
    QTest::newRow("0xABCD upper-case") << 0xABCD << "PN?_ABCD" << unknown << false;
    QTest::newRow("1") << 1 << "MWB140" << "MWB140 CAN Group Module Gen1" << true;
    QTest::newRow("2") << 2 << "NRV430/RV432" << "NRV430/RV432 Current Sensor" << false;
    QTest::newRow("8") << 8 << "HTP230" << "HTP230 CAN Splitter" << false;
    QTest::newRow("13 shares a name") << 13 << "HTP240" << "HTP240 CAN Splitter Gen2" << false;
    QTest::newRow("16 keeps its x") << 16 << "KRD53x" << "KRD53x BMS mini" << false;
    QTest::newRow("32") << 32 << "HXTM630" << "HXTM630 CAN Group Module Centralized (Drel)" << true;
    QTest::newRow("128") << 128 << "HXTM643" << "HXTM643 Centralized CGM" << true;
    QTest::newRow("144") << 144 << "HXTM651" << "HXTM651 Centralized CGM Automotive" << true;
}

void TstCanCore::catalogue()
{
    QFETCH(int, type);
    QFETCH(QString, part);
    QFETCH(QString, description);
    QFETCH(bool, group);
    QCOMPARE(canDevicePartNumber(quint16(type)), part);
    QCOMPARE(canDeviceDescription(quint16(type)), description);
    QCOMPARE(canDeviceIsGroupModule(quint16(type)), group);
    QCOMPARE(canDeviceIsGen2GroupModule(quint16(type)), type == 9);
}

void TstCanCore::groupModuleTypes()
{
    QCOMPARE(canDeviceCatalog().size(), 21);
    QCOMPARE(canGroupModuleTypeIds(), (QList<quint16>{1, 9, 10, 11, 12, 14, 32, 48, 96, 112, 128, 144}));
}

QTEST_GUILESS_MAIN(TstCanCore)
#include "tst_cancore.moc"
