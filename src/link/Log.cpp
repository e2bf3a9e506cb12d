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
    static const QString prefixes[] = {QStringLiteral("<-"), QStringLiteral("x>"), QString()};
    for (const QString& p : prefixes) {
        if (!text.startsWith(p) || !text.midRef(p.size()).startsWith(QLatin1String("PW1")))
            continue;
        QString masked = p + QStringLiteral("PW1,****");
        if (p == QLatin1String("x>"))
            masked += QStringLiteral("<x");
        return masked;
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
