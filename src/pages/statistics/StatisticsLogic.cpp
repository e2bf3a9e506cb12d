#include "StatisticsLogic.h"

#include "FeatureSupportTable.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace StatisticsLogic {

int lastSs1Index(const FeatureSupportTable& table, const QString& firmwareVersion)
{
    if (table.isFeatureSupported(72, firmwareVersion))
        return 53;
    if (table.isFeatureSupported(19, firmwareVersion))
        return 52;
    if (table.isFeatureSupported(62, firmwareVersion))
        return 49;
    if (table.isFeatureSupported(96, firmwareVersion) && !firmwareVersion.startsWith(QLatin1String("2.1.0_RC1")))
        return 44;
    return 39;
}

QString indexField(const QString& sentence)
{
    return sentence.section(QLatin1Char(','), 1, 1);
}

int indexOf(const QString& sentence)
{
    bool ok = false;
    const int index = indexField(sentence).toInt(&ok, 16);
    return ok && index >= 0 ? index : -1;
}

namespace {
bool isHexField(const QString& text, int maxDigits, bool upperOnly)
{
    if (text.size() > maxDigits)
        return false;
    for (QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool upper = c >= QLatin1Char('A') && c <= QLatin1Char('F');
        const bool lower = c >= QLatin1Char('a') && c <= QLatin1Char('f');
        if (!digit && !upper && !(lower && !upperOnly))
            return false;
    }
    return true;
}
} // namespace

QString savedSentenceProblem(const QString& sentence)
{
    const QStringList fields = sentence.split(QLatin1Char(','));
    if (fields.size() != 5 || (fields[0] != QLatin1String("SS1") && fields[0] != QLatin1String("SS2")))
        return QCoreApplication::translate("StatisticsLogic", "not a statistics sentence of four fields");
    // A pairing by text: "8" would never meet the unit's "08" and be
    // skipped unseen.
    if (fields[1].size() != 2 || !isHexField(fields[1], 2, true))
        return QCoreApplication::translate("StatisticsLogic", "the index is not two upper-case hexadecimal digits");
    if (fields[0] == QLatin1String("SS2") && fields[1].toInt(nullptr, 16) > kLastSs2Index)
        return QCoreApplication::translate("StatisticsLogic", "the second series has no such index");
    static const char* const names[] = {QT_TRANSLATE_NOOP("StatisticsLogic", "the value"),
                                        QT_TRANSLATE_NOOP("StatisticsLogic", "the additional information"),
                                        QT_TRANSLATE_NOOP("StatisticsLogic", "the time")};
    for (int i = 0; i < 3; ++i)
        if (!isHexField(fields[2 + i], 8, false))
            return QCoreApplication::translate("StatisticsLogic", "%1 is not hexadecimal digits")
                .arg(QCoreApplication::translate("StatisticsLogic", names[i]));
    return QString();
}

bool isCompleteSeries(const QStringList& keys, const QString& name, int last, bool skipAutomatic)
{
    QSet<int> seen;
    const QString prefix = name + QLatin1Char(',');
    for (const QString& key : keys)
        if (key.startsWith(prefix))
            seen.insert(indexOf(key));
    for (int i = 0; i <= last; ++i) {
        if (name == QLatin1String("SS1") && skipAutomatic && isSkippedInAutomaticStore(i))
            continue;
        if (!seen.contains(i))
            return false;
    }
    return true;
}

namespace {
QString pairKey(const QString& sentence)
{
    return sentence.left(3) + QLatin1Char(',') + indexField(sentence);
}
QString writeBack(const QString& sentence)
{
    QString text = sentence;
    text.replace(0, 2, QLatin1String("SR"));
    return text;
}
} // namespace

Sends restoreSentences(QStringList saved, QStringList device, bool clearAdded)
{
    saved.sort();
    device.sort();
    QHash<QString, QString> deviceByKey;
    for (const QString& d : qAsConst(device))
        deviceByKey.insert(pairKey(d), d);

    // The unit-variant byte goes first: it selects the units the others use.
    const QString variant = QStringLiteral("SS1,32");
    auto variantPos = std::find_if(saved.begin(), saved.end(),
                                   [&](const QString& s) { return s.startsWith(variant); });
    const bool deviceHasVariant = std::any_of(device.cbegin(), device.cend(),
                                              [&](const QString& s) { return s.startsWith(variant); });
    if (variantPos != saved.end() && deviceHasVariant) {
        const QString first = *variantPos;
        saved.erase(variantPos);
        saved.prepend(first);
    }

    Sends out;
    QSet<QString> savedKeys;
    int lastSaved = -1;
    for (const QString& s : qAsConst(saved)) {
        savedKeys.insert(pairKey(s));
        if (s.startsWith(QLatin1String("SS1")))
            lastSaved = std::max(lastSaved, indexOf(s));
        const auto it = deviceByKey.constFind(pairKey(s));
        if (it != deviceByKey.cend() && *it != s)
            out.append({writeBack(s), QString()});
    }
    if (clearAdded) {
        for (const QString& d : qAsConst(device)) {
            if (!d.startsWith(QLatin1String("SS1")) || savedKeys.contains(pairKey(d)))
                continue;
            const int index = indexOf(d);
            // Only statistics the saved firmware did not have yet: a gap
            // below the saved set's end is a lost capture, not a new value.
            if (index < 0 || index <= lastSaved || isSkippedInAutomaticStore(index))
                continue;
            out.append({writeBack(d.left(7)), QStringLiteral("c")});
        }
    }
    return out;
}

} // namespace StatisticsLogic
