#include "SentenceLoader.h"

#include <QElapsedTimer>
#include <QThread>

namespace {
bool call(const std::function<bool()>& f) { return f && f(); }
constexpr int kSliceMs = 10;
} // namespace

SentenceLoader::SentenceLoader(Hooks hooks, QObject* parent)
    : QObject(parent)
    , hooks_(std::move(hooks))
{
}

bool SentenceLoader::busy() const
{
    return call(hooks_.canUpdateBusy) || call(hooks_.parametersLoading) || call(hooks_.configModeActive)
        || call(hooks_.firmwareUpdating);
}

bool SentenceLoader::running(bool passStartedWithPolling) const
{
    if (!active_)
        return false;
    if (passStartedWithPolling && !pollingEnabled_)
        return false;
    return true;
}

bool SentenceLoader::sleepWhileRunning(int ms, bool passStartedWithPolling)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (!running(passStartedWithPolling))
            return false;
        QThread::msleep(ulong(qMin<qint64>(kSliceMs, ms - t.elapsed())));
    }
    return running(passStartedWithPolling);
}

void SentenceLoader::pollAllSentences_()
{
    sleepWhileRunning(timing_.startMs);
    do {
        bool ended = false;
        while (busy()) {
            // Checked again after each wait: a one-pass poller that finds the
            // link busy ends after its first wait.
            if (!sleepWhileRunning(timing_.busyWaitMs) || !pollingEnabled_ || !active_) {
                ended = true;
                break;
            }
        }
        if (ended)
            break;

        const bool pollingAtStart = pollingEnabled_;
        const QStringList names = hooks_.sentenceNames ? hooks_.sentenceNames() : QStringList();
        for (const QString& name : names) {
            if (!running(pollingAtStart) || call(hooks_.firmwareUpdating)) {
                ended = true;
                break;
            }
            if (name == QLatin1String("DB1"))
                continue;
            if (hooks_.send)
                hooks_.send(name, QStringLiteral(",?"), unsigned(timing_.sendDelayMs));
            if (name == QLatin1String("SS1") || name == QLatin1String("LG1"))
                sleepWhileRunning(timing_.afterBulkMs);
            sleepWhileRunning(timing_.afterSendMs);
        }
        if (ended || !active_)
            break;
        if (hooks_.send)
            hooks_.send(QStringLiteral("RS2"), QStringLiteral(",?"), unsigned(timing_.sendDelayMs));
        if (pollingEnabled_)
            sleepWhileRunning(timing_.passGapMs);
    } while (pollingEnabled_ && active_);
    emit done();
}
