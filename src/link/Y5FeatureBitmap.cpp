// The unit's feature bitmap: the "FP1" request and reply.
#include "Communicator.h"
#include "DebugLevels.h"
#include "Y5ProtocolHandler.h"

#include <QMutexLocker>

#include <cstdio>

namespace {
// Field 1 shorter than this is the unit's feature count, not a word.
constexpr int kWordDigits = 8;
// Above this feature count the unit knows features this tool does not.
constexpr int kKnownFeatureCount = 0xAA;
// The word count travels in one byte.
constexpr int kMaxWords = 255;
} // namespace

QString Y5ProtocolHandler::unsupportedFirmwareText() const
{
    return QStringLiteral("The connected version of BMS firmware is not<br>fully supported by the current Dadevoz "
                          "Arezi.<br>Therefore some features might not work.<br>Please check "
                          "<a href=\"https://www.example.com/support\">www.example.com/support</a>"
                          " website for a<br>newer Dadevoz Arezi version.");
}

bool Y5ProtocolHandler::takeFeatureReply(const QString& sentence)
{
    const QStringList fields = sentence.split(QLatin1Char(','));
    const int n = fields.size();
    if (n < 6) {
        std::printf("FP1 sentence received with not enough fields\n");
        std::fflush(stdout);
        featureBitmapValid = false;
        return false;
    }
    int start = 1;
    bool messageDue = false;
    if (fields[1].size() < kWordDigits) {
        start = 2;
        bool ok = false;
        const uint count = fields[1].toUInt(&ok, 16);
        if (ok && count > uint(kKnownFeatureCount) && !unsupportedWarningShown.exchange(true))
            messageDue = true;
    }
    const int words = std::min(n - start, kMaxWords);
    {
        QMutexLocker lock(&bitmapMutex_);
        // Sized by each reply: a later one with more words than the first
        // grows the bitmap rather than writing past it.
        bitmap_.assign(size_t(words), 0);
        for (int i = 0; i < words; ++i) {
            bool ok = false;
            const quint32 w = fields[start + i].toUInt(&ok, 16);
            bitmap_[size_t(i)] = ok ? w : 0;
        }
    }
    featureBitmapValid = true;
    return messageDue;
}

void Y5ProtocolHandler::parseFP1(const QString& sentence)
{
    if (takeFeatureReply(sentence))
        emit sigCreateInfoMessageBox(unsupportedFirmwareText());
}

void Y5ProtocolHandler::requestFP1()
{
    Communicator* c = communicator_;
    if (!c)
        return;
    const QString name = sentenceNames.at(10) + QLatin1Char(',');
    sendSentence(name, QStringLiteral("?"), 20);
    for (int pass = 0; pass < 3; ++pass) {
        if (!sleepUnlessStopped(timing_.featurePassWaitMs))
            return;
        c->readIntoBuffer();
        QString s;
        while (getSentence(s))
            if (s.startsWith(sentenceNames.at(10)))
                parseFP1(s);
        if (featureBitmapValid)
            return;
        sendSentence(name, QStringLiteral("?"), 20);
    }
}

bool Y5ProtocolHandler::featureBitmapWord(int index, uint32_t* word) const
{
    QMutexLocker lock(&bitmapMutex_);
    if (index < 0 || size_t(index) >= bitmap_.size())
        return false;
    if (word)
        *word = bitmap_[size_t(index)];
    return true;
}

int Y5ProtocolHandler::featureBitmapWordCount() const
{
    QMutexLocker lock(&bitmapMutex_);
    return int(bitmap_.size());
}

QVector<quint32> Y5ProtocolHandler::featureBitmap() const
{
    QMutexLocker lock(&bitmapMutex_);
    return QVector<quint32>(bitmap_.begin(), bitmap_.end());
}
