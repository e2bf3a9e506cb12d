#include "ParamCache.h"

#include <QSettings>
#include <QStringList>

namespace ParamCache {

QString groupName(quint32 serial)
{
    return QString::asprintf("SN %d", qint32(serial));
}

QString keyPrefix(quint32 serial)
{
    return groupName(serial) + QLatin1String("/CF2");
}

QString key(quint32 serial, int id)
{
    return keyPrefix(serial) + QString::asprintf(",%04X", unsigned(id & 0xFFFF));
}

namespace {

QStringList unitKeys(QSettings& settings, quint32 serial)
{
    const QString prefix = keyPrefix(serial);
    QStringList keys;
    for (const QString& k : settings.allKeys())
        if (k.startsWith(prefix))
            keys << k;
    return keys;
}

} // namespace

void save(QSettings& settings, quint32 serial, const QList<Value>& values)
{
    for (const QString& k : unitKeys(settings, serial))
        settings.remove(k);
    for (const Value& v : values)
        settings.setValue(key(serial, v.id), uint(v.value));
    settings.sync();
}

QList<Value> load(QSettings& settings, quint32 serial)
{
    QList<Value> values;
    const int idStart = keyPrefix(serial).size() + 1; // after "CF2,"
    for (const QString& k : unitKeys(settings, serial)) {
        const QString idText = k.mid(idStart);
        bool ok = false;
        const int id = idText.toInt(&ok, 16);
        if (!ok || idText.size() != 4 || k.at(idStart - 1) != QLatin1Char(','))
            continue;
        bool valueOk = false;
        const quint32 value = settings.value(k).toUInt(&valueOk);
        if (!valueOk)
            continue;
        values << Value{id, value};
    }
    return values;
}

int storedCount(QSettings& settings, quint32 serial)
{
    return unitKeys(settings, serial).size();
}

void remove(QSettings& settings, quint32 serial)
{
    for (const QString& k : unitKeys(settings, serial))
        settings.remove(k);
    settings.remove(groupName(serial));
    settings.sync();
}

} // namespace ParamCache
