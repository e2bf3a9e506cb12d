#pragma once

#include "Pty.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// A BLE USB dongle on a pseudo-terminal, with the control unit's Bluetooth
// module in radio range. It answers the BGAPI commands the tool sends,
// advertises the module's service, pairs with a 6-digit passkey, serves the
// module's 13-byte status record and carries the data characteristic's bytes
// to a byte-level peer and the peer's bytes back as notifications.
//
// The peer is a plain byte pipe: setPeerSink() receives what the tool wrote
// (in the emulator's thread), sendFromPeer() queues bytes for the tool (from
// any thread). bridgeToPort() wires the pipe to a serial device instead, such
// as the pty of a control-unit emulator, so that sentences flow over the
// emulated BLE link to it and back.
class BleDongleEmulator
{
public:
    struct Options {
        QByteArray passkey = "123456"; // empty: the module has no PIN
        QByteArray name = "BMS Module";
        quint32 advertValue = 0x00010203;
        quint32 statusWord = 0x00000001;
        bool locked = false;
        int maxConnections = 3;
        int leftoverConnections = 0;   // connections left from an earlier run
        bool staleBond = false;        // the dongle holds a bond the module forgot
        bool otherAdvertiser = true;   // a second device that lacks the service
        int advertIntervalMs = 30;
        bool inRange = true;           // false: a connection request is never answered
    };

    // One command as the emulator received it.
    struct Command {
        qint64 ms;
        int cls;
        int id;
        QByteArray payload;
    };

    // Attribute handles of the module service.
    enum Handle : int {
        ServiceStart = 0x10,
        NotifyValue = 0x12,
        NotifyConfig = 0x13,
        DataValue = 0x15,
        CommandValue = 0x17,
        StatusValue = 0x19,
        ServiceEnd = 0x19,
    };

    static const QByteArray moduleAddress;

    BleDongleEmulator();
    explicit BleDongleEmulator(const Options& options);
    ~BleDongleEmulator();
    BleDongleEmulator(const BleDongleEmulator&) = delete;
    BleDongleEmulator& operator=(const BleDongleEmulator&) = delete;

    // Opens the pty (optionally behind a link path) and starts answering.
    bool start(const QString& linkPath = QString());
    void stop();
    QString portPath() const { return pty_.portPath(); }

    void setPeerSink(std::function<void(const QByteArray&)> sink);
    // Opens a serial device (raw mode) as the peer: written data goes to it,
    // what it sends comes back as notifications. Call before start().
    bool bridgeToPort(const QString& path);
    void sendFromPeer(const QByteArray& bytes);

    // Pulls the dongle out: its port fails for the tool and its path goes.
    // Returns once the emulator's thread has done it.
    void unplug();

    QList<Command> commands() const;
    // Everything written to the command characteristic, one entry per write.
    QList<QByteArray> moduleCommands() const;
    // Every write to the data characteristic (the tool's sentence bytes) and
    // every notification sent with the peer's bytes, one entry per packet.
    QList<QByteArray> dataWrites() const;
    QList<QByteArray> notifications() const;
    void clearDataRecord();
    // How many connections the tool asked for (connect_direct) so far.
    int connectRequests() const;
    // Every byte the tool wrote to the dongle's port, whatever it was.
    qint64 bytesReceived() const { return bytesReceived_.load(); }
    bool isConnected() const { return connected_.load(); }
    bool isPaired() const { return encrypted_.load(); }

private:
    void run();
    void handle(int cls, int id, const QByteArray& payload);
    void send(bool event, int cls, int id, const QByteArray& payload);
    void advertise();
    void connectionStatus(int conn, int flags, int interval, int bonding);
    void disconnected(int conn, int reason);
    void completed(int handle, int result);
    void flushPeerBytes();
    void toPeer(const QByteArray& bytes);
    QByteArray statusRecord() const;

    Options opt_;
    Pty pty_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> unplugRequested_{false};
    std::atomic<bool> unplugged_{false};
    std::atomic<qint64> bytesReceived_{0};
    qint64 startMs_ = 0;

    mutable QMutex mutex_; // guards the record, the sink and the peer queue
    QList<Command> commands_;
    QList<QByteArray> moduleCommands_;
    QList<QByteArray> dataWrites_;
    QList<QByteArray> notifications_;
    std::function<void(const QByteArray&)> sink_;
    QByteArray toCentral_;

    // Emulator thread only.
    QByteArray rx_;
    int bridgeFd_ = -1;
    bool scanning_ = false;
    bool connecting_ = false;
    QList<int> leftover_; // slots holding a connection of an earlier run
    qint64 nextAdvertMs_ = 0;
    bool notifying_ = false;
    bool dongleBond_ = false;
    bool moduleBond_ = false;
    QByteArray pin_;
    QByteArray name_;
    bool locked_ = false;
    std::atomic<bool> connected_{false};
    std::atomic<bool> encrypted_{false};
};
