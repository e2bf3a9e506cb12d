// Any reply text -> the feature-bitmap parser and the pump's reply checks.
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    muteLogOnce();

    FeedTransport t;
    Y5ProtocolHandler h(&t);
    // Two replies in one session: the second may be longer or shorter.
    const QString all = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));
    const int cut = all.indexOf(QLatin1Char('\n'));
    const QString first = cut < 0 ? all : all.left(cut);
    const QString second = cut < 0 ? QString() : all.mid(cut + 1);
    for (const QString& reply : {first, second}) {
        if (reply.isEmpty())
            continue;
        h.parseFP1(QStringLiteral("FP1,") + reply);
        const int words = h.featureBitmapWordCount();
        if (words > 255 || (h.isFeatureBitmapValid() && words < 4))
            __builtin_trap();
        uint32_t w = 0;
        if (words > 0 && !h.featureBitmapWord(words - 1, &w))
            __builtin_trap();
        if (h.featureBitmapWord(words, &w))
            __builtin_trap();
        h.pw1ReplyPending = true;
        h.challengePending = true;
        h.applyReplyFlags(reply);
        if (h.isWaitingForChallenge() && reply.startsWith(QLatin1String("CM2")) && reply.size() > 7)
            __builtin_trap();
    }
    return 0;
}
