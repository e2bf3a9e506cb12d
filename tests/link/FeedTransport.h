#pragma once

#include "Communicator.h"
#include "Log.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <deque>

// A transport without a port: bytes fed in come out of its reads in the
// given chunks, and what the handler writes is kept. Drives the real receive
// path (readIntoBuffer -> sigDataReceived -> slotDataReceived).
class FeedTransport : public Communicator
{
public:
    QByteArray written;

    // Hands the chunk to the receive path, in as many reads as it needs.
    void feed(const QByteArray& chunk)
    {
        pending_.push_back(chunk);
        while (!pending_.empty())
            readIntoBuffer();
    }
    void feedRaw(const char* data, size_t size)
    {
        pending_.emplace_back(QByteArray::fromRawData(data, int(size)));
        while (!pending_.empty())
            readIntoBuffer();
    }

    qint64 write(const char* data, qint64 count) override
    {
        written.append(data, int(count));
        return count;
    }
    void flush() override {}

protected:
    qint64 readAvailable(char* buffer, qint64 max) override
    {
        if (pending_.empty())
            return 0;
        QByteArray& front = pending_.front();
        const qint64 n = std::min<qint64>(max, front.size());
        memcpy(buffer, front.constData(), size_t(n));
        if (n == front.size())
            pending_.pop_front();
        else
            front = front.mid(int(n));
        return n;
    }

private:
    std::deque<QByteArray> pending_;
};

// Installs a sink that keeps every log line while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        setLogSink([this](const QString& text, int level) {
            QMutexLocker lock(&mutex_);
            lines_.append(text);
            levels_.append(level);
        });
    }
    ~LogCapture() { setLogSink(nullptr); }
    QStringList lines() const
    {
        QMutexLocker lock(&mutex_);
        return lines_;
    }
    int count(const QString& text) const
    {
        QMutexLocker lock(&mutex_);
        return lines_.count(text);
    }
    void clear()
    {
        QMutexLocker lock(&mutex_);
        lines_.clear();
        levels_.clear();
    }

private:
    mutable QMutex mutex_;
    QStringList lines_;
    QList<int> levels_;
};

// Drops every log line from here on: fuzzers run far too many inputs to log.
inline void muteLogOnce()
{
    static const bool muted = (setLogSink([](const QString&, int) {}), true);
    (void)muted;
}
