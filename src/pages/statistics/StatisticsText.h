#pragma once

#include <QString>

#include <cstdint>

// Device times count seconds from 2000-01-01 00:00:00 UTC.
inline constexpr uint32_t kDeviceEpochOffset = 946684800u;

// A field of only "F" digits: the unit has no value for it.
inline bool isAllF(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c != QLatin1Char('F') && c != QLatin1Char('f'))
            return false;
    return true;
}
