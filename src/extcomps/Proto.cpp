#include "Proto.h"

#include "usbport.h"

#include <QDebug>

namespace {
constexpr char kStart = char(0x55);
constexpr quint8 kEnd = 0xC3;
// The shortest frame body: one word (command and padding) plus the CRC.
constexpr int kMinLength = 8;
}

Proto::Proto(usbport* p) : port(p)
{
    startPort();
}

Proto::~Proto() = default;

void Proto::startPort()
{
    if (!port)
        return;
    // The port object and its serial port live in this (the GUI) thread: the
    // traffic is a few small packets and every caller is here.
    connect(port, &usbport::connStatus, this, [this](bool present) { emit serialConnection(present); },
            Qt::DirectConnection);
    connect(port, &usbport::dataReceived, this, &Proto::receiveRawData);
}

bool Proto::sendPacket(const Packet& packet)
{
    lastSent = packet;
    const QByteArray frame = frameDisplayPacket(packet);
    if (frame.isEmpty()) {
        qWarning() << "display unit: payload of" << packet.payload.size() << "bytes is too long to send";
        return false;
    }
    if (!port || port->write(frame.constData(), frame.size()) == -1) {
        emit deviceDisconnected();
        return false;
    }
    return true;
}

Packet Proto::takePacket()
{
    if (queue.isEmpty())
        return Packet();
    return queue.takeFirst();
}

void Proto::enqueuePacket(quint8 command, const QByteArray& payload)
{
    queue.append(Packet{command, payload});
    emit packetParsed();
}

void Proto::receiveRawData(const QByteArray& bytes)
{
    buffer.append(bytes);
    parseData();
}

void Proto::parseData()
{
    // A handler of packetParsed() may run the event loop; bytes arriving then
    // are appended and taken by the pass already running.
    if (parsing)
        return;
    parsing = true;
    while (!buffer.isEmpty()) {
        const int start = buffer.indexOf(kStart);
        if (start < 0) {
            buffer.clear();
            break;
        }
        buffer.remove(0, start);
        if (buffer.size() < 2)
            break;
        const int length = quint8(buffer.at(1));
        if (length < kMinLength || length % 4 != 0) {
            // No frame of this link has such a length: a stray start byte.
            buffer.remove(0, 1);
            ++dropped;
            continue;
        }
        if (buffer.size() < length + 3)
            break;
        if (quint8(buffer.at(length + 2)) != kEnd) {
            // Not a frame after all; look for the next start byte in it.
            buffer.remove(0, 1);
            ++dropped;
            continue;
        }
        const int words = (length - 4) / 4;
        const auto* block = reinterpret_cast<const uchar*>(buffer.constData() + 2);
        const quint32 crc = quint32(block[4 * words]) << 24 | quint32(block[4 * words + 1]) << 16
                            | quint32(block[4 * words + 2]) << 8 | quint32(block[4 * words + 3]);
        if (crc32Words(block, words) != crc) {
            // Framed but damaged: never act on its content.
            buffer.remove(0, length + 3);
            ++dropped;
            continue;
        }
        const quint8 command = quint8(buffer.at(2));
        const QByteArray payload = buffer.mid(3, 4 * words - 1);
        buffer.remove(0, length + 3);
        enqueuePacket(command, payload);
    }
    parsing = false;
}
