#pragma once

#include "DisplayPacket.h"

#include <QObject>
#include <QVector>

class DisplayUnit;
class Proto;
class config;

enum class ParserState {
    Idle = 0,
    AwaitSerial = 1,
    AwaitVersion = 2,
    AwaitBoot = 3,
    AwaitErase = 4,
    AwaitWrite = 5,
    AwaitRestart = 6,
    ReadParams = 7,
};

// Handles every packet of the display unit and drives the conversation:
// identification (serial number, version, settings), starting the unit's
// application from its boot loader, and the firmware upgrade (boot loader,
// erase, 64-byte chunks acknowledged one by one, restart).
class Parser : public QObject
{
    Q_OBJECT
public:
    Parser(Proto* proto, DisplayUnit* window, config* registry);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void abortUpgrade();
    int requestNextParam();
    void sendErase(quint32 address);
    bool eraseIfSectorStart();
    void sendChunk(quint32 address, quint32 length, const QByteArray& data);
    bool sendNextChunk();
    bool showSerialNumber(const QByteArray& payload);
    bool showFirmwareVersion(const QByteArray& payload);
    static QString versionText(quint32 v);
    // The status word of an erase or write reply: the text up to the first
    // zero byte. Empty text and "0" are success; any other number, and text
    // that is no number, a failure.
    static bool statusOk(const QByteArray& payload);

    ParserState state() const { return st; }
    quint32 writeAddress() const { return writeAddr; }
    int bootTries() const { return tries; }

    static constexpr int kBootTryLimit = 2;
    static constexpr int kAckTimeoutMs = 3000;

public slots:
    void parsePacket(const Packet& packet);

private:
    void step(const Packet& packet);
    void bootTry();
    void send(quint8 command, const QByteArray& payload = QByteArray());
    void upgradeFailed(const QString& what);

    Proto* proto;
    DisplayUnit* window;
    config* registry;
    quint32 writeAddr = 0x0800C000;
    quint32 startAddr = 0x0800C000;
    QVector<quint32> eraseAddresses;
    int imageTotal = 0;
    int nextParam = 2;
    int paramEnd = 7;
    int tryLimit = kBootTryLimit;
    int tries = 0;
    ParserState st = ParserState::Idle;
};
