#include "PasswordValidator.h"

PasswordValidator::PasswordValidator(QObject* parent)
    : QValidator(parent)
{
}

QValidator::State PasswordValidator::validate(QString& input, int& pos) const
{
    Q_UNUSED(pos);
    for (const QChar c : qAsConst(input)) {
        const ushort u = c.unicode();
        const bool printable = (u >= 0x20 && u <= 0x7E) || (u >= 0xA0 && u <= 0xFF);
        if (!printable || c == QLatin1Char(','))
            return Invalid;
    }
    const int n = input.toLatin1().size();
    if (n <= 3)
        return Intermediate;
    if (n <= 8)
        return Acceptable;
    return Invalid;
}
