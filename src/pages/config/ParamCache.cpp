#include "ParamCache.h"

#include "SavedConfiguration.h"

#include <QSettings>
#include <QStringList>

namespace ParamCache {

namespace {

const QLatin1String kName("/CF2");

// The unit's "CF2" keys, with where the id starts in each ("CF2," + id).
struct UnitKey
{
    QString key;
    int idStart = 0;
};

QList<UnitKey> unitKeys(QSettings& settings, quint32 serial)
{
    QStringList prefixes;
    for (const QString& group : SavedConfiguration::groupNames(serial))
        prefixes << group + kName;
    QList<UnitKey> keys;
    for (const QString& k : settings.allKeys())
        for (const QString& prefix : qAsConst(prefixes))
            if (k.startsWith(prefix)) {
                keys << UnitKey{k, prefix.size() + 1};
                break;
            }
    return keys;
}

} // namespace

QString groupName(quint32 serial)
{
    return SavedConfiguration::groupName(serial);
}

QString keyPrefix(quint32 serial)
{
    return groupName(serial) + kName;
}

QString key(quint32 serial, int id)
{
    return keyPrefix(serial) + QString::asprintf(",%04X", unsigned(id & 0xFFFF));
}

void save(QSettings& settings, quint32 serial, const QList<Value>& values)
{
    for (const UnitKey& k : unitKeys(settings, serial))
        settings.remove(k.key);
    for (const Value& v : values)
        settings.setValue(key(serial, v.id), uint(v.value));
    settings.sync();
}

QList<Value> load(QSettings& settings, quint32 serial)
{
    QList<Value> values;
    for (const UnitKey& k : unitKeys(settings, serial)) {
        const QString idText = k.key.mid(k.idStart);
        bool ok = false;
        const int id = idText.toInt(&ok, 16);
        if (!ok || idText.size() != 4 || k.key.at(k.idStart - 1) != QLatin1Char(','))
            continue;
        bool valueOk = false;
        const quint32 value = settings.value(k.key).toUInt(&valueOk);
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
    for (const QString& group : SavedConfiguration::groupNames(serial))
        settings.remove(group);
    settings.sync();
}

} // namespace ParamCache
