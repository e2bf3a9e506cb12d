#include "StatisticsLogic.h"

#include "FeatureSupportTable.h"

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
