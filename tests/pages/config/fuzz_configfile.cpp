// Any file content through the ".bcf" reader: what it keeps is well formed.
#include "ConfigFile.h"

#include <QBuffer>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    ConfigFile::Contents contents;
    if (!ConfigFile::read(&buffer, QStringLiteral("VR1,BMS2,0001E240,2.1.4"), &contents))
        return 0;
    // A refused file sends nothing.
    if (contents.problemCount > 0 && !contents.entries.isEmpty())
        __builtin_trap();
    for (const ConfigFile::Entry& e : contents.entries) {
        if (e.line.size() > ConfigFile::kMaxLineLength || e.line.contains(QLatin1Char('\n')))
            __builtin_trap();
        switch (e.kind) {
        case ConfigFile::Entry::Param:
            if (e.valueText.size() != ConfigFile::valueDigits(e.id))
                __builtin_trap();
            // What is sent is exactly what a parameter line may be.
            if (ConfigFile::paramLine(e.id, e.valueText.toUInt(nullptr, 16)).left(9) != e.line.left(9).toUpper())
                if ((e.id >> 8 & 3) != 3)
                    __builtin_trap();
            break;
        case ConfigFile::Entry::StateOfCharge:
            if (e.parameters.size() != 2 || e.parameters.toInt(nullptr, 16) > 100)
                __builtin_trap();
            break;
        case ConfigFile::Entry::Password:
            if (e.parameters.contains(QLatin1Char(',')))
                __builtin_trap();
            break;
        }
    }
    return 0;
}
