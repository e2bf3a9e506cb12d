#include "Pty.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

Pty::~Pty()
{
    closeFds();
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
}

bool Pty::open(const QString& linkPath)
{
    linkPath_ = linkPath;
    return reappear();
}

bool Pty::reappear()
{
    closeFds();
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return false;
    if (grantpt(m) != 0 || unlockpt(m) != 0) {
        ::close(m);
        return false;
    }
    char name[128];
    if (ptsname_r(m, name, sizeof name) != 0) {
        ::close(m);
        return false;
    }
    // Holding the slave open keeps the line settings and spares the master
    // an EIO whenever the tool closes its side.
    int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        ::close(m);
        return false;
    }
    termios tio{};
    tcgetattr(s, &tio);
    cfmakeraw(&tio);
    tcsetattr(s, TCSANOW, &tio);
    int flags = fcntl(m, F_GETFL);
    fcntl(m, F_SETFL, flags | O_NONBLOCK);
    master_ = m;
    slaveHold_ = s;
    slavePath_ = QString::fromLocal8Bit(name);
    if (!linkPath_.isEmpty()) {
        QFile::remove(linkPath_);
        if (!QFile::link(slavePath_, linkPath_)) {
            closeFds();
            return false;
        }
    }
    return true;
}

void Pty::vanish()
{
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
    closeFds();
}

void Pty::closeFds()
{
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    if (master_ >= 0)
        ::close(master_);
    slaveHold_ = master_ = -1;
}

QByteArray Pty::read(int timeoutMs)
{
    return readWithinNs(qint64(timeoutMs) * 1000000);
}

QByteArray Pty::readWithinNs(qint64 timeoutNs)
{
    QByteArray out;
    if (master_ < 0)
        return out;
    pollfd p{master_, POLLIN, 0};
    const timespec timeout{time_t(timeoutNs / 1000000000), long(timeoutNs % 1000000000)};
    int r = ::ppoll(&p, 1, &timeout, nullptr);
    if (r <= 0 || !(p.revents & POLLIN))
        return out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
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

bool Pty::write(const QByteArray& bytes)
{
    if (master_ < 0)
        return false;
    qint64 done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 2000) <= 0)
                return false;
            continue;
        }
        return false;
    }
    return true;
}
