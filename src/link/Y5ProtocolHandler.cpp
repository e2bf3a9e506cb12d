#include "Y5ProtocolHandler.h"

#include "Communicator.h"
#include "Crc8.h"
#include "Log.h"

#include <QCoreApplication>
#include <QMutexLocker>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

Y5ProtocolHandler::Y5ProtocolHandler(Communicator* communicator)
    : sentenceNames{QStringLiteral("CF2"), QStringLiteral("CF3"), QStringLiteral("PW1"), QStringLiteral("PW2"),
                    QStringLiteral("CS"),  QStringLiteral("CS1"), QStringLiteral("CS2"), QStringLiteral("CS3"),
                    QStringLiteral("RS2"), QStringLiteral("CN1"), QStringLiteral("FP1")},
      communicator_(communicator)
{
}

Y5ProtocolHandler::~Y5ProtocolHandler()
{
    // The updater works with this handler until its thread has ended.
    endFirmwareUpdate();
}

static qint64 steadyNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 Y5ProtocolHandler::nowMs() const
{
    if (clock_)
        return clock_();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool Y5ProtocolHandler::sendSentence(const QString& name, const QString& parameters, unsigned delayMs)
{
    const bool canBusy = canUpdateBusy_ && canUpdateBusy_();
    const unsigned pause = canBusy ? 15 : delayMs;
    if (pause > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));

    const QByteArray wire = frameSentence(name, parameters);
    const QString sentence = QString::fromLatin1(wire);
    Communicator* c = communicator_;
    const bool written = c && c->writeSentence(sentence);
    if (written)
        lastLineActivityNs_ = steadyNs();

    static const char* const quiet[] = {"CM1", "CM3", "SR1", "SR2", "SS2"};
    for (const char* q : quiet)
        if (wire.startsWith(q))
            return written;
    // A sentence that never reached the port is not logged as sent.
    logMessage((written ? QStringLiteral("<-") : QStringLiteral("Not sent: ")) + sentence, 0);
    return written;
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Y5ProtocolHandler::checkSentenceCrc(const char* bytes, int& length)
{
    if (length < 3)
        return false;
    const int hi = hexValue(bytes[length - 2]);
    const int lo = hexValue(bytes[length - 1]);
    if (hi < 0 || lo < 0)
        return false;
    if (bytes[length - 3] != ',')
        return false;
    const uint8_t sum = crc8Maxim(reinterpret_cast<const uint8_t*>(bytes), uint16_t(length - 2));
    if (((hi << 4) | lo) != sum)
        return false;
    length -= 3;
    return true;
}

void Y5ProtocolHandler::restartKeepAlive()
{
    keepAliveStartMs_ = nowMs();
    keepAliveBudgetMs = kKeepAliveBudgetMs;
}

qint64 Y5ProtocolHandler::keepAliveSilenceMs() const
{
    const qint64 start = keepAliveStartMs_;
    return start < 0 ? -1 : nowMs() - start;
}

bool Y5ProtocolHandler::noteReceived(const QString& text, bool linkUp)
{
    if (!linkUp)
        return false;
    if (text.startsWith(QLatin1String("VR1")))
        emit sigReceivedVersionString(text);
    if (text.startsWith(QLatin1String("FP1")))
        return takeFeatureReply(text);
    return false;
}

void Y5ProtocolHandler::slotDataReceived()
{
    lastLineActivityNs_ = steadyNs();
    Communicator* c = communicator_;
    if (!c)
        return;
    // The message goes out only after the port and queue locks are released,
    // whatever its receivers do.
    bool unsupportedMessageDue = false;
    struct EmitAfterUnlock
    {
        Y5ProtocolHandler* h;
        bool& due;
        ~EmitAfterUnlock()
        {
            if (due)
                emit h->sigCreateInfoMessageBox(h->unsupportedFirmwareText());
        }
    } emitAfterUnlock{this, unsupportedMessageDue};
    QMutexLocker portLock(&c->portMutex());
    char* buf = c->receiveBuffer();
    int& count = c->nBytesInDataBuffer_;
    const int end = count;
    int pos = 0;
    while (pos < end) {
        int eol = pos;
        while (eol < end && buf[eol] != '\r' && buf[eol] != '\n')
            ++eol;
        if (eol == end) {
            // Unfinished line: keep it for the next read, unless it already
            // fills the buffer without a line end.
            if (pos > 0) {
                std::memmove(buf, buf + pos, size_t(end - pos));
                count = end - pos;
            } else if (end >= Communicator::DATA_BUF_LEN - 1) {
                count = 0;
            }
            buf[count] = 0;
            return;
        }
        const char* line = buf + pos;
        int length = eol - pos;
        if (length >= 2 && line[0] == '#' && line[1] == '?')
            c->write("#", 1);
        const int rawLength = length;
        if (checkSentenceCrc(line, length)) {
            const QString text = QString::fromLatin1(line, length);
            const bool linkUp = c->linked;
            {
                QMutexLocker queueLock(&queueMutex_);
                logMessage(text, 0);
                if (noteReceived(text, linkUp))
                    unsupportedMessageDue = true;
                queue_.push_back(text);
                restartKeepAlive();
            }
            if (linkUp)
                emit c->sigReceivedSentence();
        } else {
            logMessage(QStringLiteral("x>") + QString::fromLatin1(line, rawLength) + QStringLiteral("<x"), 0);
        }
        pos = eol;
        while (pos < end && (buf[pos] == '\r' || buf[pos] == '\n'))
            ++pos;
    }
    count = 0;
    buf[0] = 0;
}

bool Y5ProtocolHandler::getSentence(QString& sentence)
{
    QMutexLocker lock(&queueMutex_);
    if (queue_.empty())
        return false;
    sentence = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

QString Y5ProtocolHandler::takeSentence()
{
    QMutexLocker lock(&queueMutex_);
    if (queue_.empty())
        return QString();
    QString s = std::move(queue_.front());
    queue_.pop_front();
    return s;
}

void Y5ProtocolHandler::clearSentenceQueue()
{
    QMutexLocker lock(&queueMutex_);
    queue_.clear();
}

int Y5ProtocolHandler::queuedSentenceCount() const
{
    QMutexLocker lock(&queueMutex_);
    return int(queue_.size());
}

void Y5ProtocolHandler::probeBootloader()
{
    Communicator* c = communicator_;
    if (!c)
        return;
    c->clearReceiveBuffer();
    clearSentenceQueue();
    sendReset(20);
    std::this_thread::sleep_for(std::chrono::milliseconds(timing_.probeResetWaitMs));
    char bytes[1024];
    qint64 n;
    {
        QMutexLocker lock(&c->portMutex());
        n = c->read(bytes, sizeof bytes);
    }
    if (n <= 0) {
        std::printf("Did not receive # on time\n");
        std::fflush(stdout);
        return;
    }
    std::printf("Received something...\n");
    std::fflush(stdout);
    if (std::memchr(bytes, '#', size_t(n))) {
        std::printf("Receive #. Sending #\n");
        std::fflush(stdout);
        {
            QMutexLocker lock(&c->portMutex()); // the poller writes from its own thread
            c->write("#", 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(timing_.probeAnswerWaitMs));
    }
}

bool Y5ProtocolHandler::isStopAsked() const
{
    if (stopRequested)
        return true;
    Communicator* c = communicator_;
    return c && c->isStopRequested();
}

bool Y5ProtocolHandler::sleepUnlessStopped(int ms) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (isStopAsked())
            return false;
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0))
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(10)));
    }
}

void Y5ProtocolHandler::processEvents()
{
    QCoreApplication::processEvents();
}

bool Y5ProtocolHandler::isConnected() const
{
    Communicator* c = communicator_;
    return c && c->linked;
}

void Y5ProtocolHandler::setVersionFields(const QString& line, const QString& kind, const QString& serial,
                                         const QString& version)
{
    QMutexLocker lock(&versionMutex_);
    versionLine_ = line;
    deviceKind_ = kind;
    deviceSerial_ = serial;
    deviceVersion_ = version;
}

QString Y5ProtocolHandler::versionLine() const
{
    QMutexLocker lock(&versionMutex_);
    return versionLine_;
}
QString Y5ProtocolHandler::deviceKind() const
{
    QMutexLocker lock(&versionMutex_);
    return deviceKind_;
}
QString Y5ProtocolHandler::deviceSerial() const
{
    QMutexLocker lock(&versionMutex_);
    return deviceSerial_;
}
QString Y5ProtocolHandler::deviceVersion() const
{
    QMutexLocker lock(&versionMutex_);
    return deviceVersion_;
}
