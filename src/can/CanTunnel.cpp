#include "CanTunnel.h"

#include <QStringList>

namespace cantunnel {

QString composeParameters(quint32 id, const quint8* data, quint8 length, bool extended)
{
    const int n = length > 8 ? 8 : length;
    QString text = QStringLiteral("%1").arg(maskId(id, extended), 8, 16, QLatin1Char('0')).toUpper();
    text += extended ? QLatin1String(",1,0,") : QLatin1String(",0,0,");
    text += QString::number(n, 16).toUpper();
    text += QLatin1Char(',');
    for (int i = 0; i < n; ++i)
        text += QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

static int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

bool parseLine(const QString& line, CanTunnelFrame& frame)
{
    if (!line.startsWith(QLatin1String("CN1")))
        return false;
    const QStringList f = line.split(QLatin1Char(','));
    if (f.size() < 6)
        return false;
    frame = CanTunnelFrame();
    frame.id = f.at(1).trimmed().toUInt(nullptr, 16);
    frame.extended = f.at(2).trimmed() == QLatin1String("1");
    frame.length = quint8(f.at(4).trimmed().toUInt(nullptr, 10));
    const QString& bytes = f.at(5);
    const int n = frame.length > 8 ? 8 : frame.length;
    for (int i = 0; i < n; ++i) {
        const int hi = 2 * i < bytes.size() ? hexDigit(bytes.at(2 * i)) : -1;
        const int lo = 2 * i + 1 < bytes.size() ? hexDigit(bytes.at(2 * i + 1)) : -1;
        frame.data[size_t(i)] = (hi < 0 || lo < 0) ? 0 : quint8(hi * 16 + lo);
    }
    return true;
}

} // namespace cantunnel
