#include "SerialPort.h"

#include "HeldPorts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t speedFor(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

} // namespace

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open()
{
    close();
    const QByteArray path = portName_.toLocal8Bit();
    if (path.isEmpty()) {
        setError(ENOENT);
        return false;
    }
    PortHolder other;
    if (isSerialPortHeldByOther(portName_, held_.holder(), &other)) {
        setError(EBUSY);
        refusedBy_ = int(other);
        return false;
    }
    int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(errno);
        return false;
    }
    if (!isatty(fd)) {
        ::close(fd);
        setError(ENOTTY);
        return false;
    }
    // One user per port, as on Windows: the display unit's port search must not
    // open the control unit's port, nor the other way round.
    ::ioctl(fd, TIOCEXCL);
    // Root is not held back by TIOCEXCL: the other parts ask the hold.
    held_.hold(portName_);
    // Nothing an earlier session left unsent goes out in this one.
    tcflush(fd, TCOFLUSH);
    fd_ = fd;
    if (!applySettings()) {
        int err = errno_;
        close();
        setError(err);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    errno_ = 0;
    return true;
}

void SerialPort::close()
{
    int fd = fd_.exchange(-1);
    if (fd >= 0) {
        // A close waits for the output to drain: a stopped one would hold it
        // for the driver's closing wait (up to 30 s).
        restartOutput(fd);
        ::close(fd);
        held_.release();
    }
}

void SerialPort::restartOutput(int fd)
{
    // Linux restarts an output stopped by XOFF when IXON is cleared (TCOON
    // only undoes a TCOOFF there); elsewhere TCOON may be what does it.
    termios tio{};
    if (tcgetattr(fd, &tio) == 0 && (tio.c_iflag & IXON)) {
        termios off = tio;
        off.c_iflag &= ~tcflag_t(IXON);
        tcsetattr(fd, TCSANOW, &off);
        tcsetattr(fd, TCSANOW, &tio);
    }
    tcflow(fd, TCOON);
}

bool SerialPort::resumeOutput(bool dropPending)
{
    const int fd = fd_;
    if (fd < 0)
        return false;
    if (dropPending)
        tcflush(fd, TCOFLUSH);
    restartOutput(fd);
    return true;
}

bool SerialPort::applySettings()
{
    int fd = fd_;
    if (fd < 0)
        return true; // applied at open
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        setError(errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CSIZE;
    switch (dataBits_) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    tio.c_cflag &= ~(PARENB | PARODD);
    if (parity_ == EvenParity)
        tio.c_cflag |= PARENB;
    else if (parity_ == OddParity)
        tio.c_cflag |= PARENB | PARODD;
    if (stopBits_ == 2)
        tio.c_cflag |= CSTOPB;
    else
        tio.c_cflag &= ~CSTOPB;
    tio.c_cflag &= ~CRTSCTS;
    if (flow_ == XonXoff)
        tio.c_iflag |= IXON | IXOFF;
    else
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t sp = speedFor(baud_);
    if (sp) {
        cfsetispeed(&tio, sp);
        cfsetospeed(&tio, sp);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        setError(errno);
        return false;
    }
    // A new configuration starts with the output running.
    restartOutput(fd);
    return true;
}

bool SerialPort::setBaudRate(int baud)
{
    if (!speedFor(baud)) {
        setError(EINVAL);
        return false;
    }
    baud_ = baud;
    return applySettings();
}

bool SerialPort::setDataBits(int bits)
{
    if (bits < 5 || bits > 8) {
        setError(EINVAL);
        return false;
    }
    dataBits_ = bits;
    return applySettings();
}

bool SerialPort::setParity(Parity parity)
{
    parity_ = parity;
    return applySettings();
}

bool SerialPort::setStopBits(int bits)
{
    if (bits != 1 && bits != 2) {
        setError(EINVAL);
        return false;
    }
    stopBits_ = bits;
    return applySettings();
}

bool SerialPort::setFlowControl(FlowControl flow)
{
    flow_ = flow;
    return applySettings();
}

qint64 SerialPort::read(char* buffer, qint64 max, int timeoutMs)
{
    int fd = fd_;
    if (fd < 0) {
        setError(EBADF);
        return -1;
    }
    if (max <= 0)
        return 0;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        setError(errno);
        return -1;
    }
    if (r == 0)
        return 0;
    if (p.revents & POLLIN) {
        ssize_t n = ::read(fd, buffer, size_t(max));
        if (n > 0)
            return n;
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        // 0 with POLLIN set is end of file: the device went away.
        setError(n < 0 ? errno : EIO);
        return -1;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        setError((p.revents & POLLNVAL) ? EBADF : EIO);
        return -1;
    }
    return 0;
}

qint64 SerialPort::write(const char* data, qint64 count)
{
    int fd = fd_;
    if (fd < 0) {
        setError(EBADF);
        return -1;
    }
    qint64 done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, data + done, size_t(count - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            setError(errno);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&p, 1, kWriteStallMs);
        } while (r < 0 && errno == EINTR);
        if (r == 0) {
            // Stopped for longer than a unit pauses (an XOFF in line noise,
            // and no XON ever): the output must not stay mute.
            resumeOutput(true);
            setError(ETIMEDOUT);
            return done > 0 ? done : -1;
        }
        if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            setError(EIO);
            return done > 0 ? done : -1;
        }
    }
    return done;
}

bool SerialPort::flush()
{
    int fd = fd_;
    if (fd < 0)
        return false;
    // tcdrain could wait forever on a stalled peer; poll for room instead.
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 100) >= 0 && !(p.revents & (POLLERR | POLLNVAL));
}

QByteArray SerialPort::readAll()
{
    QByteArray out;
    int fd = fd_;
    if (fd < 0)
        return out;
    char buf[1024];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return out;
}

bool SerialPort::waitForReadable(int timeoutMs)
{
    const int fd = fd_;
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r != 0;
}

QString SerialPort::errorString() const
{
    int e = errno_;
    const int by = refusedBy_;
    if (e == EBUSY && by >= 0)
        return QStringLiteral("Held by ") + portHolderText(PortHolder(by));
    return e ? QString::fromLocal8Bit(std::strerror(e)) : QStringLiteral("No error");
}

void SerialPort::setError(int err)
{
    refusedBy_ = -1;
    errno_ = err;
}
