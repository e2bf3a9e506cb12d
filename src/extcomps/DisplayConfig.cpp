#include "DisplayConfig.h"

#include "myRadioBox.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

namespace {
constexpr int kMaxId = 7;
}

int config::registerParam(int id, int kind, QWidget* widget)
{
    if (entries.contains(id))
        return -1;
    entries.insert(id, Entry{id, kind, widget});
    return 0;
}

int config::setParamValue(int id, int size, const void* value)
{
    if (id < 0 || id > kMaxId || !entries.contains(id) || size < 1 || size > 4 || !value)
        return -1;
    const Entry& e = entries[id];
    quint32 raw = 0;
    const auto* bytes = static_cast<const uchar*>(value);
    for (int i = 0; i < size; ++i)
        raw |= quint32(bytes[i]) << (8 * i);
    const int v = int(raw);
    switch (e.kind) {
    case LineEdit:
        static_cast<QLineEdit*>(e.widget)->setText(QString::number(v));
        return 0;
    case RadioBox:
        static_cast<myRadioBox*>(e.widget)->setIndex(v);
        return 0;
    case Slider: {
        // A value read from the unit is not written back to it.
        QSignalBlocker block(e.widget);
        static_cast<QSlider*>(e.widget)->setValue(v);
        return 0;
    }
    default:
        return -1;
    }
}

int config::paramValue(int id, int* value) const
{
    if (id < 0 || id > kMaxId || !entries.contains(id) || !value)
        return -1;
    const Entry& e = entries[id];
    switch (e.kind) {
    case LineEdit:
        *value = static_cast<QLineEdit*>(e.widget)->text().toInt();
        return 0;
    case Label:
        return 0;
    case RadioBox:
        *value = static_cast<myRadioBox*>(e.widget)->currentIndex();
        return 0;
    case Slider:
        *value = static_cast<QSlider*>(e.widget)->value();
        return 0;
    default:
        return -1;
    }
}
