#pragma once

#include "DisplayPacket.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class usbport;

// The display unit's packet layer: frames and writes outgoing packets through
// the port, reassembles incoming bytes into packets, checks their CRC-32,
// queues them and announces each one with packetParsed().
class Proto : public QObject
{
    Q_OBJECT
public:
    // The port is not owned. A null port gives a layer that only parses.
    explicit Proto(usbport* port);
    ~Proto() override;

    // Keeps the packet as the last sent one and writes its frame. False when
    // it could not be framed or written (deviceDisconnected() then follows a
    // failed write).
    bool sendPacket(const Packet& packet);
    Packet lastSentPacket() const { return lastSent; }
    // The oldest queued packet; command 0 with no payload when none is.
    Packet takePacket();
    int queuedPackets() const { return queue.size(); }
    // Frames dropped since creation for a bad check sum or bad framing.
    int droppedFrames() const { return dropped; }

public slots:
    void receiveRawData(const QByteArray& bytes);
    void parseData();

signals:
    void packetParsed();
    void serialConnection(bool present);
    void deviceDisconnected();

private:
    void startPort();
    void enqueuePacket(quint8 command, const QByteArray& payload);

    usbport* port;
    QByteArray buffer;
    QList<Packet> queue;
    Packet lastSent;
    int dropped = 0;
    bool parsing = false;
};
