#pragma once

// The copy of a unit's parameter values kept in the settings store across a
// firmware update: group "SN <serial as signed decimal>", key "CF2,IIII" per
// id, the raw 32-bit word as an unsigned integer. The protocol handler looks
// for the same group on connection: both name it through SavedConfiguration.

#include <QList>
#include <QString>

class QSettings;

namespace ParamCache {

struct Value
{
    int id = 0;
    quint32 value = 0;
};

QString groupName(quint32 serial);            // "SN -2147483648" for 0x80000000
QString keyPrefix(quint32 serial);            // "SN %d/CF2"
QString key(quint32 serial, int id);          // "SN %d/CF2,IIII"

// Replaces the unit's stored values (earlier "CF2" entries go first, in
// either form of the group name).
void save(QSettings& settings, quint32 serial, const QList<Value>& values);
// The stored values of the unit, in the store's order, also those written
// under the other form of its group name; keys whose id is not four
// hexadecimal digits are left out.
QList<Value> load(QSettings& settings, quint32 serial);
// Number of the unit's stored entries (well-formed or not).
int storedCount(QSettings& settings, quint32 serial);
// Removes the unit's whole group, in either form.
void remove(QSettings& settings, quint32 serial);

} // namespace ParamCache
