#pragma once

#include <QByteArray>
#include <QString>

// The device side of a pseudo-terminal. The tool opens the slave side as if
// it were a USB serial adapter; an optional symlink gives the port a stable
// path that survives vanish() and reappear().
class Pty
{
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Creates the pty in raw mode; with a link path the port is also
    // reachable there (an existing link is replaced).
    bool open(const QString& linkPath = QString());
    // Closes the master side, as an unplugged adapter: the tool's reads fail.
    // The link is removed so the port cannot be reopened until reappear().
    void vanish();
    // A fresh pty behind the same link path.
    bool reappear();
    bool isOpen() const { return master_ >= 0; }

    // The path the tool opens: the link if one was asked for, else the slave.
    QString portPath() const { return linkPath_.isEmpty() ? slavePath_ : linkPath_; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Waits up to timeoutMs for bytes and returns what arrived (empty on
    // time-out or when closed).
    QByteArray read(int timeoutMs);
    QByteArray readWithinNs(qint64 timeoutNs);
    // Writes all bytes; false when the pty is closed or the write failed.
    bool write(const QByteArray& bytes);

private:
    void closeFds();

    QString linkPath_;
    QString slavePath_;
    int master_ = -1;
    int slaveHold_ = -1;
};
