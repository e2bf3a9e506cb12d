// The BGAPI message layer byte by byte: encodings of the commands the driver
// sends, the receiver's cutting and lookup, and payloads that do not fit.

#include "Bgapi.h"
#include "BgapiTestKit.h"

#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(std::function<bool()>)

namespace {

QList<QByteArray> sent;
void capture(size_t n1, const uint8_t* d1, size_t n2, const uint8_t* d2)
{
    sent.append(QByteArray(reinterpret_cast<const char*>(d1), int(n1)));
    if (n2)
        sent.append(QByteArray(reinterpret_cast<const char*>(d2), int(n2)));
}

QStringList calls;
template <int Row>
void recordCall(const uint8_t* p, size_t n)
{
    calls.append(QString("%1:%2").arg(Row).arg(QString(QByteArray(reinterpret_cast<const char*>(p), int(n)).toHex())));
}

} // namespace

class TestBgapi : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        sent.clear();
        calls.clear();
        bgapiSetOutput(capture);
        bgapiResetReceiver();
        bgapiClearHandlers();
        bgapiSetHandler(BGAPI_EVT_GAP_SCAN_RESPONSE, recordCall<BGAPI_EVT_GAP_SCAN_RESPONSE>);
        bgapiSetHandler(BGAPI_RSP_GAP_DISCOVER, recordCall<BGAPI_RSP_GAP_DISCOVER>);
        bgapiSetHandler(BGAPI_EVT_CONNECTION_STATUS, recordCall<BGAPI_EVT_CONNECTION_STATUS>);
        bgapiSetHandler(BGAPI_RSP_SYSTEM_GET_CONNECTIONS, recordCall<BGAPI_RSP_SYSTEM_GET_CONNECTIONS>);
    }
    void cleanup() { bgapiSetOutput(nullptr); }

    void encodings_data()
    {
        QTest::addColumn<std::function<bool()>>("send");
        QTest::addColumn<QList<QByteArray>>("pieces");
        static const uint8_t addr[6] = {1, 2, 3, 4, 5, 6};
        static const uint8_t data20[20] = {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A,
                                           0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54};
        static const uint8_t group[2] = {0x00, 0x28};
        static const uint8_t cccd[2] = {0x01, 0x00};
        QTest::newRow("gap_end_procedure") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_GAP_END_PROCEDURE); })
            << QList<QByteArray>{hex("00000604")};
        QTest::newRow("system_get_connections") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_SYSTEM_GET_CONNECTIONS); })
            << QList<QByteArray>{hex("00000006")};
        QTest::newRow("sm_set_bondable_mode") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_SM_SET_BONDABLE_MODE, 1); })
            << QList<QByteArray>{hex("0001050101")};
        QTest::newRow("sm_set_parameters") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_SM_SET_PARAMETERS, 0, 7, 2); })
            << QList<QByteArray>{hex("00030503000702")};
        QTest::newRow("hardware_set_txpower") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_HARDWARE_SET_TXPOWER, 14); })
            << QList<QByteArray>{hex("0001070c0e")};
        QTest::newRow("gap_set_scan_parameters") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_GAP_SET_SCAN_PARAMETERS, 75, 50, 1); })
            << QList<QByteArray>{hex("000506074b00320001")};
        QTest::newRow("gap_discover") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_GAP_DISCOVER, 1); })
            << QList<QByteArray>{hex("0001060201")};
        QTest::newRow("gap_connect_direct 4+15") << std::function<bool()>([] {
            return bgapiSend(BGAPI_CMD_GAP_CONNECT_DIRECT, addr, 1, 6, 39, 150, 0); })
            << QList<QByteArray>{hex("000f0603" "010203040506" "01" "0600" "2700" "9600" "0000")};
        QTest::newRow("connection_disconnect") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_CONNECTION_DISCONNECT, 3); })
            << QList<QByteArray>{hex("0001030003")};
        QTest::newRow("read_by_group_type") << std::function<bool()>([] {
            return bgapiSend(BGAPI_CMD_ATTCLIENT_READ_BY_GROUP_TYPE, 0, 0x0001, 0xFFFF, 2, group); })
            << QList<QByteArray>{hex("0008040100" "0100" "ffff" "02"), hex("0028")};
        QTest::newRow("find_information") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_FIND_INFORMATION, 0, 0x11, 0x19); })
            << QList<QByteArray>{hex("000504030011001900")};
        QTest::newRow("read_by_handle") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_READ_BY_HANDLE, 0, 0x0119); })
            << QList<QByteArray>{hex("00030404001901")};
        QTest::newRow("attribute_write") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_ATTRIBUTE_WRITE, 0, 0x13, 2, cccd); })
            << QList<QByteArray>{hex("0006040500130002"), hex("0100")};
        QTest::newRow("write_command 4+4+20") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_WRITE_COMMAND, 0, 0x15, 20, data20); })
            << QList<QByteArray>{hex("0018040600150014"), QByteArray("ABCDEFGHIJKLMNOPQRST")};
        QTest::newRow("write_command empty") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_WRITE_COMMAND, 0, 0x15, 0, nullptr); })
            << QList<QByteArray>{hex("0004040600150000")};
        QTest::newRow("sm_encrypt_start") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_SM_ENCRYPT_START, 0, 1); })
            << QList<QByteArray>{hex("000205000001")};
        QTest::newRow("sm_delete_bonding") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_SM_DELETE_BONDING, 2); })
            << QList<QByteArray>{hex("0001050202")};
        QTest::newRow("sm_passkey_entry") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_SM_PASSKEY_ENTRY, 0, 123456); })
            << QList<QByteArray>{hex("00050504" "00" "40e20100")};
    }
    void encodings()
    {
        QFETCH(std::function<bool()>, send);
        QFETCH(QList<QByteArray>, pieces);
        QVERIFY(send());
        QCOMPARE(sent, pieces);
    }

    // Arguments that do not fit the row's parameter types send nothing.
    void refusals_data()
    {
        QTest::addColumn<std::function<bool()>>("send");
        static uint8_t big[300];
        QTest::newRow("missing argument") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_GAP_SET_SCAN_PARAMETERS, 75, 50); });
        QTest::newRow("extra argument") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_GAP_DISCOVER, 1, 2); });
        QTest::newRow("integer for an address") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_GAP_CONNECT_DIRECT, 0, 1, 6, 39, 150, 0); });
        QTest::newRow("array too long") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_WRITE_COMMAND, 0, 0x15, 300, big); });
        QTest::newRow("array without data") << std::function<bool()>([] { return bgapiSend(BGAPI_CMD_ATTCLIENT_WRITE_COMMAND, 0, 0x15, 3, nullptr); });
        QTest::newRow("a response row") << std::function<bool()>([] { return bgapiSend(BGAPI_RSP_GAP_DISCOVER, 0); });
    }
    void refusals()
    {
        QFETCH(std::function<bool()>, send);
        QVERIFY(!send());
        QVERIFY(sent.isEmpty());
    }

    // The payload layouts the driver relies on, as the rows declare them.
    void handledRowHeaders_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("rsp system_get_connections") << int(BGAPI_RSP_SYSTEM_GET_CONNECTIONS) << hex("00010006");
        QTest::newRow("rsp connection_disconnect") << int(BGAPI_RSP_CONNECTION_DISCONNECT) << hex("00030300");
        QTest::newRow("rsp read_by_group_type") << int(BGAPI_RSP_ATTCLIENT_READ_BY_GROUP_TYPE) << hex("00030401");
        QTest::newRow("rsp find_information") << int(BGAPI_RSP_ATTCLIENT_FIND_INFORMATION) << hex("00030403");
        QTest::newRow("rsp attribute_write") << int(BGAPI_RSP_ATTCLIENT_ATTRIBUTE_WRITE) << hex("00030405");
        QTest::newRow("rsp write_command") << int(BGAPI_RSP_ATTCLIENT_WRITE_COMMAND) << hex("00030406");
        QTest::newRow("rsp sm_delete_bonding") << int(BGAPI_RSP_SM_DELETE_BONDING) << hex("00020502");
        QTest::newRow("rsp sm_passkey_entry") << int(BGAPI_RSP_SM_PASSKEY_ENTRY) << hex("00020504");
        QTest::newRow("rsp gap_discover") << int(BGAPI_RSP_GAP_DISCOVER) << hex("00020602");
        QTest::newRow("rsp gap_connect_direct") << int(BGAPI_RSP_GAP_CONNECT_DIRECT) << hex("00030603");
        QTest::newRow("rsp gap_end_procedure") << int(BGAPI_RSP_GAP_END_PROCEDURE) << hex("00020604");
        QTest::newRow("rsp gap_set_scan_parameters") << int(BGAPI_RSP_GAP_SET_SCAN_PARAMETERS) << hex("00020607");
        QTest::newRow("evt connection_status") << int(BGAPI_EVT_CONNECTION_STATUS) << hex("80100300");
        QTest::newRow("evt connection_disconnected") << int(BGAPI_EVT_CONNECTION_DISCONNECTED) << hex("80030304");
        QTest::newRow("evt procedure_completed") << int(BGAPI_EVT_ATTCLIENT_PROCEDURE_COMPLETED) << hex("80050401");
        QTest::newRow("evt group_found") << int(BGAPI_EVT_ATTCLIENT_GROUP_FOUND) << hex("80060402");
        QTest::newRow("evt find_information_found") << int(BGAPI_EVT_ATTCLIENT_FIND_INFORMATION_FOUND) << hex("80040404");
        QTest::newRow("evt attribute_value") << int(BGAPI_EVT_ATTCLIENT_ATTRIBUTE_VALUE) << hex("80050405");
        QTest::newRow("evt sm_bonding_fail") << int(BGAPI_EVT_SM_BONDING_FAIL) << hex("80030501");
        QTest::newRow("evt sm_passkey_request") << int(BGAPI_EVT_SM_PASSKEY_REQUEST) << hex("80010503");
        QTest::newRow("evt gap_scan_response") << int(BGAPI_EVT_GAP_SCAN_RESPONSE) << hex("800b0600");
        QTest::newRow("end row") << BGAPI_ROW_COUNT << hex("00000000");
    }
    void handledRowHeaders()
    {
        QFETCH(int, row);
        QFETCH(QByteArray, header);
        const BgapiMessage* m = bgapiMessageAt(row);
        QVERIFY(m);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(m->header), 4), header);
        if (row < BGAPI_ROW_COUNT)
            QCOMPARE(bgapiFindMessage(m->header), m);
    }

    void lookup_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("row"); // -1: nothing
        QTest::newRow("event 6/0: scan response") << hex("80000600") << int(BGAPI_EVT_GAP_SCAN_RESPONSE);
        QTest::newRow("response 6/2: discover") << hex("00000602") << int(BGAPI_RSP_GAP_DISCOVER);
        QTest::newRow("event 6/2: GAP has two events") << hex("80000602") << -1;
        QTest::newRow("class 10") << hex("00000a00") << -1;
        QTest::newRow("response 0/18 past the class") << hex("00000012") << -1;
        QTest::newRow("dfu event 9/0") << hex("80000900") << bgapiEventRow(9, 0);
        QTest::newRow("test class has no events") << hex("80000800") << -1;
    }
    void lookup()
    {
        QFETCH(QByteArray, header);
        QFETCH(int, row);
        const BgapiMessage* m = bgapiFindMessage(reinterpret_cast<const uint8_t*>(header.constData()));
        QCOMPARE(m, row < 0 ? nullptr : bgapiMessageAt(row));
    }

    // The same stream, cut anywhere, gives the same handler calls in order;
    // an unknown class is skipped by its length.
    void receiveCuts_data()
    {
        QTest::addColumn<int>("piece");
        QTest::newRow("all at once") << 1000;
        QTest::newRow("one byte at a time") << 1;
        QTest::newRow("three bytes at a time") << 3;
        QTest::newRow("seven bytes at a time") << 7;
    }
    void receiveCuts()
    {
        QFETCH(int, piece);
        const QByteArray scan = evt(6, 0, Pl().u8(0xC8).u8(0).raw(hex("112233445566")).u8(0).u8(0xFF).arr(hex("020106")));
        const QByteArray stream = scan + rsp(0, 6, Pl().u8(3)) + message(false, 10, 1, hex("aabbcc"))
            + rsp(6, 2, Pl().u16(0)) + evt(6, 2, hex("0102")) + scan;
        for (int pos = 0; pos < stream.size(); pos += piece) {
            const QByteArray part = stream.mid(pos, piece);
            bgapiReceive(reinterpret_cast<const uint8_t*>(part.constData()), size_t(part.size()));
        }
        const QString scanCall = QString("%1:c80011223344556600ff03020106").arg(BGAPI_EVT_GAP_SCAN_RESPONSE);
        QCOMPARE(calls, QStringList({scanCall, QString("%1:03").arg(BGAPI_RSP_SYSTEM_GET_CONNECTIONS),
                                     QString("%1:0000").arg(BGAPI_RSP_GAP_DISCOVER), scanCall}));
    }

    // Payloads too short for their row's parameters never reach the handler:
    // it would read past what arrived.
    void shortPayloads_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("fixed part cut") << evt(3, 0, hex("0001020304"));
        QTest::newRow("empty payload") << rsp(0, 6);
        QTest::newRow("array longer than the payload") << evt(6, 0, Pl().u8(0xC8).u8(0).raw(hex("112233445566")).u8(0).u8(0xFF).u8(200).raw(hex("0201")));
    }
    void shortPayloads()
    {
        QFETCH(QByteArray, bad);
        const QByteArray stream = bad + rsp(6, 2, Pl().u16(0x0181));
        bgapiReceive(reinterpret_cast<const uint8_t*>(stream.constData()), size_t(stream.size()));
        QCOMPARE(calls, QStringList{QString("%1:8101").arg(BGAPI_RSP_GAP_DISCOVER)});
    }
};

QTEST_APPLESS_MAIN(TestBgapi)
#include "tst_bgapi.moc"
