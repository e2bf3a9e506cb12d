#include "BleDongleEmulator.h"

#include <QDateTime>
#include <QMutexLocker>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The module's service, least-significant byte first as on the air.
QByteArray moduleUuid(int role)
{
    QByteArray display = QByteArray::fromHex("bb4600014a8baa9de5119a19c681ca6b");
    display[3] = char(role);
    QByteArray wire;
    for (int i = display.size() - 1; i >= 0; --i)
        wire.append(display[i]);
    return wire;
}

QByteArray u16(int v) { return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF); }
QByteArray u32(quint32 v) { return u16(int(v & 0xFFFF)) + u16(int(v >> 16)); }
QByteArray arr(const QByteArray& b) { return QByteArray(1, char(b.size())) + b; }
uchar byteAt(const QByteArray& p, int at) { return at >= 0 && at < p.size() ? uchar(p[at]) : 0; }
int rd16(const QByteArray& p, int at) { return byteAt(p, at) | (byteAt(p, at + 1) << 8); }

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

struct Attribute {
    int handle;
    QByteArray uuid; // as on the air
};

QList<Attribute> attributes()
{
    const QByteArray decl = QByteArray::fromHex("0328");
    return {
        {0x01, QByteArray::fromHex("0028")}, {0x02, decl}, {0x03, QByteArray::fromHex("002a")},
        {0x10, QByteArray::fromHex("0028")},
        {0x11, decl}, {BleDongleEmulator::NotifyValue, moduleUuid(2)}, {BleDongleEmulator::NotifyConfig, QByteArray::fromHex("0229")},
        {0x14, decl}, {BleDongleEmulator::DataValue, moduleUuid(3)},
        {0x16, decl}, {BleDongleEmulator::CommandValue, moduleUuid(4)},
        {0x18, decl}, {BleDongleEmulator::StatusValue, moduleUuid(5)},
    };
}

const int kConn = 0;

} // namespace

const QByteArray BleDongleEmulator::moduleAddress = QByteArray::fromHex("5a4b3c2d1e0f");

BleDongleEmulator::BleDongleEmulator() : BleDongleEmulator(Options()) {}

BleDongleEmulator::BleDongleEmulator(const Options& options) : opt_(options)
{
    dongleBond_ = opt_.staleBond;
    moduleBond_ = false;
    pin_ = opt_.passkey;
    name_ = opt_.name;
    locked_ = opt_.locked;
    for (int slot = 0; slot < opt_.leftoverConnections; ++slot)
        leftover_.append(slot);
}

BleDongleEmulator::~BleDongleEmulator()
{
    stop();
    if (bridgeFd_ >= 0)
        ::close(bridgeFd_);
}

bool BleDongleEmulator::bridgeToPort(const QString& path)
{
    if (thread_.joinable())
        return false;
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    if (bridgeFd_ >= 0)
        ::close(bridgeFd_);
    bridgeFd_ = fd;
    return true;
}

void BleDongleEmulator::toPeer(const QByteArray& bytes)
{
    std::function<void(const QByteArray&)> sink;
    {
        QMutexLocker lock(&mutex_);
        sink = sink_;
    }
    if (sink)
        sink(bytes);
    int pos = 0;
    while (bridgeFd_ >= 0 && pos < bytes.size()) {
        const ssize_t n = ::write(bridgeFd_, bytes.constData() + pos, size_t(bytes.size() - pos));
        if (n > 0) {
            pos += int(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{bridgeFd_, POLLOUT, 0};
            if (::poll(&p, 1, 100) <= 0)
                return;
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

bool BleDongleEmulator::start(const QString& linkPath)
{
    if (!pty_.open(linkPath))
        return false;
    startMs_ = nowMs();
    stop_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void BleDongleEmulator::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void BleDongleEmulator::setPeerSink(std::function<void(const QByteArray&)> sink)
{
    QMutexLocker lock(&mutex_);
    sink_ = std::move(sink);
}

void BleDongleEmulator::sendFromPeer(const QByteArray& bytes)
{
    QMutexLocker lock(&mutex_);
    toCentral_ += bytes;
}

QList<BleDongleEmulator::Command> BleDongleEmulator::commands() const
{
    QMutexLocker lock(&mutex_);
    return commands_;
}

QList<QByteArray> BleDongleEmulator::moduleCommands() const
{
    QMutexLocker lock(&mutex_);
    return moduleCommands_;
}

QList<QByteArray> BleDongleEmulator::dataWrites() const
{
    QMutexLocker lock(&mutex_);
    return dataWrites_;
}

QList<QByteArray> BleDongleEmulator::notifications() const
{
    QMutexLocker lock(&mutex_);
    return notifications_;
}

void BleDongleEmulator::clearDataRecord()
{
    QMutexLocker lock(&mutex_);
    dataWrites_.clear();
    notifications_.clear();
}

int BleDongleEmulator::connectRequests() const
{
    QMutexLocker lock(&mutex_);
    int n = 0;
    for (const Command& c : commands_)
        if (c.cls == 6 && c.id == 3)
            ++n;
    return n;
}

void BleDongleEmulator::unplug()
{
    unplugRequested_ = true;
    while (thread_.joinable() && !unplugged_)
        usleep(1000);
}

void BleDongleEmulator::run()
{
    while (!stop_) {
        if (unplugRequested_) {
            if (!unplugged_) {
                connected_ = encrypted_ = false;
                pty_.vanish();
                unplugged_ = true;
            }
            usleep(5000);
            continue;
        }
        const QByteArray in = pty_.read(5);
        bytesReceived_ += in.size();
        rx_ += in;
        // Cut whole messages: 4 header bytes, 11-bit payload length.
        while (rx_.size() >= 4) {
            const int len = ((uchar(rx_[0]) & 0x07) << 8) | uchar(rx_[1]);
            if (rx_.size() < 4 + len)
                break;
            const int cls = uchar(rx_[2]);
            const int id = uchar(rx_[3]);
            const QByteArray payload = rx_.mid(4, len);
            rx_.remove(0, 4 + len);
            {
                QMutexLocker lock(&mutex_);
                commands_.append({nowMs() - startMs_, cls, id, payload});
            }
            handle(cls, id, payload);
        }
        if (bridgeFd_ >= 0) {
            char buffer[256];
            const ssize_t n = ::read(bridgeFd_, buffer, sizeof buffer);
            if (n > 0)
                sendFromPeer(QByteArray(buffer, int(n)));
        }
        if (scanning_ && nowMs() >= nextAdvertMs_) {
            advertise();
            nextAdvertMs_ = nowMs() + opt_.advertIntervalMs;
        }
        flushPeerBytes();
    }
}

void BleDongleEmulator::send(bool event, int cls, int id, const QByteArray& payload)
{
    QByteArray m;
    m.append(char((event ? 0x80 : 0x00) | ((payload.size() >> 8) & 0x07)));
    m.append(char(payload.size() & 0xFF));
    m.append(char(cls));
    m.append(char(id));
    pty_.write(m + payload);
}

void BleDongleEmulator::connectionStatus(int conn, int flags, int interval, int bonding)
{
    send(true, 3, 0, QByteArray(1, char(conn)) + char(flags) + moduleAddress + char(0) + u16(interval) + u16(100)
                     + u16(0) + char(bonding));
}

void BleDongleEmulator::disconnected(int conn, int reason)
{
    if (conn == kConn) {
        connected_ = false;
        encrypted_ = false;
        notifying_ = false;
    }
    send(true, 3, 4, QByteArray(1, char(conn)) + u16(reason));
}

void BleDongleEmulator::completed(int handle, int result)
{
    send(true, 4, 1, QByteArray(1, char(kConn)) + u16(result) + u16(handle));
}

QByteArray BleDongleEmulator::statusRecord() const
{
    const quint32 passkey = pin_.isEmpty() ? 0xFFFFFFFFu : pin_.toUInt();
    return u32(opt_.statusWord) + u32(passkey) + u32(0) + char(locked_ ? 1 : 0);
}

void BleDongleEmulator::advertise()
{
    // The module: flags, its 128-bit service and a manufacturer value, then
    // its name in a scan response packet.
    const QByteArray advert = QByteArray::fromHex("020106") + char(17) + char(7) + moduleUuid(1)
        + char(7) + char(0xFF) + u16(0x0059) + u32(opt_.advertValue);
    const QByteArray named = QByteArray(1, char(name_.size() + 1)) + char(9) + name_;
    send(true, 6, 0, QByteArray(1, char(-60)) + char(0) + moduleAddress + char(0) + char(0xFF) + arr(advert));
    send(true, 6, 0, QByteArray(1, char(-60)) + char(4) + moduleAddress + char(0) + char(0xFF) + arr(named));
    if (opt_.otherAdvertiser) {
        const QByteArray other = QByteArray::fromHex("020106" "03030d18" "0409485231");
        send(true, 6, 0, QByteArray(1, char(-80)) + char(0) + QByteArray::fromHex("112233445566") + char(1) + char(0xFF)
                             + arr(other));
    }
}

void BleDongleEmulator::flushPeerBytes()
{
    QByteArray bytes;
    {
        QMutexLocker lock(&mutex_);
        if (!connected_ || !notifying_)
            return;
        bytes.swap(toCentral_);
    }
    for (int pos = 0; pos < bytes.size(); pos += 20) {
        const QByteArray chunk = bytes.mid(pos, 20);
        {
            QMutexLocker lock(&mutex_);
            notifications_.append(chunk);
        }
        send(true, 4, 5, QByteArray(1, char(kConn)) + u16(NotifyValue) + char(1) + arr(chunk));
    }
}

void BleDongleEmulator::handle(int cls, int id, const QByteArray& p)
{
    const QByteArray ok16 = u16(0);
    switch (cls << 8 | id) {
    case 0x0006: { // system_get_connections
        send(false, 0, 6, QByteArray(1, char(opt_.maxConnections)));
        for (int slot = 0; slot < opt_.maxConnections; ++slot) {
            if (leftover_.contains(slot))
                connectionStatus(slot, 0x01, 40, 0xFF);
            else
                send(true, 3, 0, QByteArray(1, char(slot)) + QByteArray(15, 0));
        }
        return;
    }
    case 0x0300: { // connection_disconnect
        const int conn = byteAt(p, 0);
        const bool held = (conn == kConn && connected_) || leftover_.contains(conn);
        send(false, 3, 0, QByteArray(1, char(conn)) + (held ? ok16 : u16(0x0186)));
        if (!held)
            return;
        if (leftover_.removeAll(conn) == 0)
            disconnected(conn, 0x0216);
        else
            send(true, 3, 4, QByteArray(1, char(conn)) + u16(0x0216));
        return;
    }
    case 0x0401: { // attclient_read_by_group_type
        send(false, 4, 1, QByteArray(1, char(kConn)) + ok16);
        send(true, 4, 2, QByteArray(1, char(kConn)) + u16(0x01) + u16(0x03) + arr(QByteArray::fromHex("0018")));
        send(true, 4, 2, QByteArray(1, char(kConn)) + u16(ServiceStart) + u16(ServiceEnd) + arr(moduleUuid(1)));
        completed(0xFFFF, 0);
        return;
    }
    case 0x0403: { // attclient_find_information
        const int start = rd16(p, 1);
        const int end = rd16(p, 3);
        send(false, 4, 3, QByteArray(1, char(kConn)) + ok16);
        for (const Attribute& a : attributes())
            if (a.handle >= start && a.handle <= end)
                send(true, 4, 4, QByteArray(1, char(kConn)) + u16(a.handle) + arr(a.uuid));
        completed(end, 0);
        return;
    }
    case 0x0404: { // attclient_read_by_handle
        const int handle = rd16(p, 1);
        send(false, 4, 4, QByteArray(1, char(kConn)) + ok16);
        if (handle != StatusValue)
            completed(handle, 0x0402);
        else if (!encrypted_)
            completed(handle, 0x0405);
        else
            send(true, 4, 5, QByteArray(1, char(kConn)) + u16(handle) + char(0) + arr(statusRecord()));
        return;
    }
    case 0x0405: { // attclient_attribute_write
        const int handle = rd16(p, 1);
        send(false, 4, 5, QByteArray(1, char(kConn)) + ok16);
        if (handle == NotifyConfig) {
            notifying_ = (byteAt(p, 4) & 1) != 0;
            completed(handle, 0);
        } else {
            completed(handle, 0x0403);
        }
        return;
    }
    case 0x0406: { // attclient_write_command
        const int handle = rd16(p, 1);
        const QByteArray data = p.mid(4, byteAt(p, 3));
        send(false, 4, 6, QByteArray(1, char(kConn)) + ok16);
        if (handle == DataValue) {
            {
                QMutexLocker lock(&mutex_);
                dataWrites_.append(data);
            }
            toPeer(data);
        } else if (handle == CommandValue) {
            {
                QMutexLocker lock(&mutex_);
                moduleCommands_.append(data);
            }
            if (locked_)
                return;
            if (data.startsWith(char(0xFF))) {
                const char op = char(byteAt(data, 1));
                if (op == 'Q')
                    name_ = opt_.name;
                else if (op == 'R' && data.size() == 8)
                    pin_ = data.mid(2);
                else if (op == 'S')
                    pin_.clear();
                else if (op == 'T')
                    locked_ = true;
                else if (op == 'U')
                    disconnected(kConn, 0x0213);
            } else {
                name_ = data;
            }
        }
        return;
    }
    case 0x0500: { // sm_encrypt_start
        send(false, 5, 0, QByteArray(1, char(kConn)) + ok16);
        if (dongleBond_ && !moduleBond_) {
            send(true, 5, 1, QByteArray(1, char(kConn)) + u16(0x0206));
        } else if ((dongleBond_ && moduleBond_) || pin_.isEmpty()) {
            encrypted_ = true;
            connectionStatus(kConn, 0x03, 40, 0);
        } else {
            send(true, 5, 3, QByteArray(1, char(kConn)));
        }
        return;
    }
    case 0x0502: // sm_delete_bonding
        dongleBond_ = false;
        send(false, 5, 2, ok16);
        return;
    case 0x0504: { // sm_passkey_entry
        const quint32 entered = quint32(rd16(p, 1)) | (quint32(rd16(p, 3)) << 16);
        send(false, 5, 4, ok16);
        if (!pin_.isEmpty() && entered == pin_.toUInt()) {
            dongleBond_ = moduleBond_ = true;
            encrypted_ = true;
            connectionStatus(kConn, 0x03, 40, 0);
        } else {
            send(true, 5, 1, QByteArray(1, char(kConn)) + u16(0x0304));
        }
        return;
    }
    case 0x0501: // sm_set_bondable_mode
    case 0x0503: // sm_set_parameters
    case 0x070C: // hardware_set_txpower
        send(false, cls, id, QByteArray());
        return;
    case 0x0602: // gap_discover
        scanning_ = true;
        nextAdvertMs_ = nowMs() + 5;
        send(false, 6, 2, ok16);
        return;
    case 0x0603: { // gap_connect_direct
        send(false, 6, 3, ok16 + char(kConn));
        if (opt_.inRange && p.left(6) == moduleAddress && !connected_) {
            scanning_ = false;
            connected_ = true;
            notifying_ = false;
            connectionStatus(kConn, 0x05, 40, dongleBond_ ? 0 : 0xFF);
        } else {
            connecting_ = true;
        }
        return;
    }
    case 0x0604: { // gap_end_procedure
        const bool running = scanning_ || connecting_;
        scanning_ = connecting_ = false;
        send(false, 6, 4, running ? ok16 : u16(0x0181));
        return;
    }
    case 0x0607: // gap_set_scan_parameters
        send(false, 6, 7, ok16);
        return;
    default:
        return; // recorded, not answered
    }
}
