#pragma once

// Byte-level helpers for the BGAPI tests: building the dongle's messages,
// capturing what the driver writes and cutting it back into commands. The
// cutting is the test's own code, not the layer under test.

#include "Bled112.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

// A payload in BGAPI order, little-endian.
struct Pl {
    QByteArray b;
    Pl& u8(int v) { b.append(char(v & 0xFF)); return *this; }
    Pl& u16(int v) { u8(v); return u8(v >> 8); }
    Pl& u32(quint32 v) { u16(int(v & 0xFFFF)); return u16(int(v >> 16)); }
    Pl& raw(const QByteArray& bytes) { b.append(bytes); return *this; }
    Pl& arr(const QByteArray& bytes) { u8(bytes.size()); return raw(bytes); }
    operator QByteArray() const { return b; }
};

inline QByteArray message(bool event, int cls, int id, const QByteArray& payload)
{
    QByteArray m;
    m.append(char((event ? 0x80 : 0x00) | ((payload.size() >> 8) & 0x07)));
    m.append(char(payload.size() & 0xFF));
    m.append(char(cls));
    m.append(char(id));
    return m + payload;
}
inline QByteArray evt(int cls, int id, const QByteArray& payload = {}) { return message(true, cls, id, payload); }
inline QByteArray rsp(int cls, int id, const QByteArray& payload = {}) { return message(false, cls, id, payload); }

struct Cmd {
    int cls;
    int id;
    QByteArray payload;
    bool operator==(const Cmd& o) const { return cls == o.cls && id == o.id && payload == o.payload; }
};

inline char* toString(const Cmd& c)
{
    return qstrdup(QString("cmd(%1,%2,%3)").arg(c.cls).arg(c.id).arg(QString(c.payload.toHex(' '))).toUtf8().constData());
}

// Cuts a command stream into commands (11-bit payload lengths).
inline QList<Cmd> cutCommands(const QByteArray& stream)
{
    QList<Cmd> out;
    int pos = 0;
    while (pos + 4 <= stream.size()) {
        const int len = ((uchar(stream[pos]) & 0x07) << 8) | uchar(stream[pos + 1]);
        if (pos + 4 + len > stream.size())
            break;
        out.append({uchar(stream[pos + 2]), uchar(stream[pos + 3]), stream.mid(pos + 4, len)});
        pos += 4 + len;
    }
    return out;
}

inline QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// A copy of one user event.
struct UserEvent {
    int kind = -1;
    int index = 0;
    QByteArray name;
    quint32 value = 0;
    int stage = 0;
    int code = 0;
    QString text;
    QByteArray data;
    int locked = 0;
    quint32 statusWord = 0;
};

// The driver on a captured writer, with the user events recorded.
class DriverRig
{
public:
    // With no writer given, what the driver writes is captured in pieces.
    explicit DriverRig(Bled112Writer writer = {})
    {
        BLED112_setEventCallback([this](int kind, const void* p) { record(kind, p); });
        if (!writer)
            writer = [this](const uint8_t* bytes, size_t n) {
                pieces.append(QByteArray(reinterpret_cast<const char*>(bytes), int(n)));
            };
        BLED112_open(std::move(writer), &input);
    }
    ~DriverRig()
    {
        BLED112_close();
        BLED112_setEventCallback(nullptr);
    }

    void feed(const QByteArray& bytes) { input(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())); }
    QByteArray written() const { return pieces.join(); }
    QList<Cmd> commands() const { return cutCommands(written()); }
    QList<Cmd> takeCommands()
    {
        const QList<Cmd> c = commands();
        pieces.clear();
        return c;
    }
    QVector<int> kinds() const
    {
        QVector<int> k;
        for (const UserEvent& e : events)
            k.append(e.kind);
        return k;
    }
    const UserEvent* last(int kind) const
    {
        for (int i = events.size() - 1; i >= 0; --i)
            if (events[i].kind == kind)
                return &events[i];
        return nullptr;
    }

    Bled112Input input = nullptr;
    QList<QByteArray> pieces;
    QVector<UserEvent> events;

private:
    void record(int kind, const void* p)
    {
        UserEvent e;
        e.kind = kind;
        if (kind == BLED112_DEVICE_FOUND) {
            const auto* f = static_cast<const DriverModuleFound*>(p);
            e.index = f->index;
            e.name = QByteArray(f->name);
            e.value = f->value;
        } else if (kind == BLED112_ERROR) {
            const auto* d = static_cast<const DriverError*>(p);
            e.stage = d->stage;
            e.code = d->code;
            e.text = QString::fromLatin1(d->text);
        } else if (kind == BLED112_DATA_RECEIVED) {
            const auto* d = static_cast<const Bled112Data*>(p);
            e.data = QByteArray(reinterpret_cast<const char*>(d->data), d->length);
        } else if (kind == BLED112_CONNECTED) {
            const auto* c = static_cast<const Bled112Connected*>(p);
            e.locked = c->locked;
            e.statusWord = c->statusWord;
            e.value = c->value;
        }
        events.append(e);
    }
};
