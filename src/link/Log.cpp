#include "Log.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex& sinkMutex()
{
    static QMutex m;
    return m;
}
LogSink& sinkSlot()
{
    static LogSink s;
    return s;
}
} // namespace

void setLogSink(LogSink sink)
{
    QMutexLocker lock(&sinkMutex());
    sinkSlot() = std::move(sink);
}

QString maskSecrets(const QString& text)
{
    // "PW1" carries the login password, "PW2" the new one of a change.
    static const QString prefixes[] = {QStringLiteral("<-"), QStringLiteral("x>"), QString()};
    static const QLatin1String names[] = {QLatin1String("PW1"), QLatin1String("PW2")};
    for (const QString& p : prefixes) {
        if (!text.startsWith(p))
            continue;
        for (const QLatin1String& name : names) {
            if (!text.midRef(p.size()).startsWith(name))
                continue;
            QString masked = p + name + QStringLiteral(",****");
            if (p == QLatin1String("x>"))
                masked += QStringLiteral("<x");
            return masked;
        }
    }
    return text;
}

void logMessage(const QString& text, int level)
{
    QString t = text;
    while (t.endsWith(QLatin1Char('\r')) || t.endsWith(QLatin1Char('\n')))
        t.chop(1);
    t = maskSecrets(t);
    QMutexLocker lock(&sinkMutex());
    if (sinkSlot())
        sinkSlot()(t, level);
}
