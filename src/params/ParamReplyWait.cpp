#include "ParamReplyWait.h"

#include <QCoreApplication>
#include <QStringList>

#include <chrono>

namespace {

bool parseHex(const QString& text, int maxDigits, quint32* value)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return false;
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    // toUInt accepts a "0x" prefix and surrounding blanks; a reply has neither.
    for (const QChar c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    if (!ok)
        return false;
    *value = v;
    return true;
}

std::atomic<int> g_replyTimeoutMs{ParamReplyWait::kReplyTimeoutMs};

bool sameValue(const QString& a, const QString& b)
{
    quint32 va = 0;
    quint32 vb = 0;
    if (parseHex(a, 8, &va) && parseHex(b, 8, &vb))
        return va == vb;
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

bool parseParamReplyLine(const QString& line, int* paramId, QString* valueText)
{
    const QStringList parts = line.split(QLatin1Char(','));
    if (parts.size() != 3 || parts[0] != QLatin1String("CF2"))
        return false;
    quint32 id = 0;
    quint32 value = 0;
    // An empty value is a reply too: the unit has no value for the id.
    if (!parseHex(parts[1], 4, &id) || (!parts[2].isEmpty() && !parseHex(parts[2], 8, &value)))
        return false;
    if (paramId)
        *paramId = int(id);
    if (valueText)
        *valueText = parts[2];
    return true;
}

void ParamReplyWait::setReplyTimeoutMs(int ms) { g_replyTimeoutMs = ms; }

int ParamReplyWait::replyTimeoutMs() { return g_replyTimeoutMs; }

void ParamReplyWait::expect(int paramId, const QString& expectedValue)
{
    std::lock_guard<std::mutex> lock(mutex_);
    awaitedId_ = paramId;
    expectedValue_ = expectedValue;
    received_ = false;
}

bool ParamReplyWait::noteReply(int paramId, const QString& valueText)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (awaitedId_ < 0 || paramId != awaitedId_)
            return false;
        // A read takes any reply of the id, an empty one included; a write
        // waits for the echo of the value it wrote.
        if (!expectedValue_.isEmpty() && !sameValue(valueText, expectedValue_))
            return false;
        received_ = true;
    }
    arrived_.notify_all();
    return true;
}

bool ParamReplyWait::wait(const std::atomic<bool>& stop, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    if (timeoutMs < 0)
        timeoutMs = g_replyTimeoutMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop)
                return false;
            if (received_) {
                awaitedId_ = -1;
                expectedValue_.clear();
                received_ = false;
                return true;
            }
            const auto now = Clock::now();
            if (now >= deadline)
                return false;
            // Short slices: a stop, or a reply that only the calling thread's
            // events can bring (a wait in the GUI thread), is seen at once.
            arrived_.wait_for(lock, std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(1)));
            if (received_ || stop)
                continue;
        }
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
}

void ParamReplyWait::cancel()
{
    std::lock_guard<std::mutex> lock(mutex_);
    awaitedId_ = -1;
    expectedValue_.clear();
    received_ = false;
}

bool ParamReplyWait::isWaiting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return awaitedId_ >= 0;
}
