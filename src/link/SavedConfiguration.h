#pragma once

// Where a unit's configuration is kept in the settings store across a
// firmware update: the group "SN <serial>" with one "CF2,IIII" key per id.
// The configuration page writes and restores it; the protocol handler looks
// for it on connection. Both sides name it here, so that no serial number
// is written under one name and looked for under another.

#include <QSettings>
#include <QString>
#include <QStringList>

namespace SavedConfiguration {

// The group the values are written under: the serial number as a signed
// decimal ("SN -2147483648" for 0x80000000).
inline QString groupName(quint32 serial)
{
    return QString::asprintf("SN %d", qint32(serial));
}

// Every group the unit's values may be found under: the written form first,
// then the unsigned decimal form that entries of serial numbers with the
// high bit set were once looked for (and may have been written) under.
inline QStringList groupNames(quint32 serial)
{
    QStringList names{groupName(serial)};
    const QString unsignedForm = QStringLiteral("SN %1").arg(serial);
    if (unsignedForm != names.first())
        names << unsignedForm;
    return names;
}

// Whether the store holds any entry of the unit.
inline bool hasEntries(const QSettings& settings, quint32 serial)
{
    const QStringList names = groupNames(serial);
    for (const QString& key : settings.allKeys())
        for (const QString& name : names)
            if (key.startsWith(name + QLatin1Char('/')))
                return true;
    return false;
}

} // namespace SavedConfiguration
