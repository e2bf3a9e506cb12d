#include "DisplayImage.h"

#include <QStringList>

#include <openssl/evp.h>

#include <memory>

const char kDisplayImageKey[17] = "5d3a90c1e87b24f6";
const char kDisplayImageIv[17] = "a1c4e7f0b3d69e28";

bool aesCbcDecryptBuffer(uchar* output, const uchar* input, int length, const uchar* key, const uchar* iv)
{
    if (length <= 0 || length % 16 != 0)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key, iv) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int out = 0;
    int tail = 0;
    if (EVP_DecryptUpdate(ctx.get(), output, &out, input, length) != 1)
        return false;
    if (EVP_DecryptFinal_ex(ctx.get(), output + out, &tail) != 1)
        return false;
    return out + tail == length;
}

DisplayImageHeader parseDisplayImageHeader(const QByteArray& plaintext)
{
    DisplayImageHeader h;
    QByteArray raw = plaintext.left(kImageHeaderSize);
    const int zero = raw.indexOf('\0');
    if (zero >= 0)
        raw.truncate(zero);
    const QString text = QString::fromLatin1(raw);

    QStringList parts;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint v = text.mid(2 * i, 2).toUInt(&ok, 10);
        if (!ok || v > 255)
            return h;
        parts << QString::number(v);
    }
    const uint year = text.mid(10, 4).toUInt(nullptr, 16);
    const uint month = text.mid(14, 2).toUInt(nullptr, 16);
    const uint day = text.mid(16, 2).toUInt(nullptr, 16);
    if (year < 2000 || year > 9999 || month > 12 || day > 31)
        return h;
    h.version = parts.join(QLatin1Char('.'));
    h.releaseDate = QStringLiteral("%1-%2-%3").arg(year).arg(month, 2, 10, QLatin1Char('0')).arg(day, 2, 10, QLatin1Char('0'));
    h.valid = true;
    return h;
}

DisplayImageHeader readDisplayImageHeader(const QByteArray& fileBytes)
{
    if (fileBytes.size() < kImageHeaderSize)
        return DisplayImageHeader();
    uchar plain[kImageHeaderSize];
    if (!aesCbcDecryptBuffer(plain, reinterpret_cast<const uchar*>(fileBytes.constData()), kImageHeaderSize,
                             reinterpret_cast<const uchar*>(kDisplayImageKey),
                             reinterpret_cast<const uchar*>(kDisplayImageIv)))
        return DisplayImageHeader();
    return parseDisplayImageHeader(QByteArray(reinterpret_cast<const char*>(plain), kImageHeaderSize));
}

QByteArray displayImageBody(const QByteArray& fileBytes)
{
    if (fileBytes.size() <= kImageHeaderSize)
        return QByteArray();
    QByteArray body = fileBytes.mid(kImageHeaderSize);
    if (body.size() % 16 != 0)
        body.append(QByteArray(16 - body.size() % 16, '\0'));
    return body;
}

bool isDisplayImageBodyUsable(const QByteArray& body)
{
    return !body.isEmpty() && body.size() <= kMaxImageBody;
}
