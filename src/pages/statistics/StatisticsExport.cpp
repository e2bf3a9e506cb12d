// The export of the unit's statistics into a settings store and their import
// back into a unit. The sentence pump writes each received statistics
// sentence into the store while StatisticsExportFlags ask for it; the page
// only asks, waits and compares.
#include "StatisticsPage.h"

#include "FeatureSupportTable.h"
#include "MainWindowServices.h"
#include "StatisticsLogic.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QSet>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {
constexpr int kRequestAttempts = 3;
constexpr int kWaitPasses = 1001;
constexpr unsigned kSendDelayMs = 20;
const QString kMarker = QStringLiteral("Statistics");
// The value a saved statistic holds while an import runs; the pump stores
// what the unit sends with 0, so the unit's sentences stay apart from the
// saved ones also where both texts are equal.
constexpr int kSavedValue = 1;
// Sentences a failure box names; more are counted.
constexpr int kNamedValues = 12;

std::unique_ptr<QSettings> openStore(bool automatic)
{
    if (automatic)
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(QLatin1String(kStatisticsOrganisation),
                                       QLatin1String(kManualStatisticsStore));
}

bool isManualStore(const QSettings& store)
{
    return store.applicationName() == QLatin1String(kManualStatisticsStore);
}

bool isStatisticsKey(const QString& key)
{
    return key.startsWith(QLatin1String("SS1")) || key.startsWith(QLatin1String("SS2"));
}

QStringList statisticsKeys(const QSettings& store)
{
    QStringList keys;
    for (const QString& key : store.childKeys())
        if (isStatisticsKey(key))
            keys.append(key);
    keys.sort();
    return keys;
}

// The sentences of the series the unit sent into the store.
QStringList capturedKeys(const QSettings& store, const QString& name)
{
    QStringList keys;
    for (const QString& key : store.childKeys())
        if (key.startsWith(name) && store.value(key).toInt() != kSavedValue)
            keys.append(key);
    keys.sort();
    return keys;
}

void removeKeys(QSettings& store, const QStringList& keys)
{
    for (const QString& key : keys)
        store.remove(key);
}

uint8_t captureBit(const QString& name, bool manual)
{
    if (name == QLatin1String("SS2"))
        return manual ? StatisticsPage::ExportManualSs2 : StatisticsPage::ExportAutoSs2;
    return manual ? StatisticsPage::ExportManualSs1 : StatisticsPage::ExportAutoSs1;
}
} // namespace

void StatisticsPage::resetCapture(QSettings& store, const QString& name) const
{
    for (const QString& key : store.childKeys()) {
        if (!key.startsWith(name))
            continue;
        if (m_savedKeys.contains(key))
            store.setValue(key, kSavedValue);
        else
            store.remove(key);
    }
}

bool StatisticsPage::requestStatisticsToStore(const QString& name, QSettings& store)
{
    const bool manual = isManualStore(store);
    const uint8_t bit = captureBit(name, manual);
    const int last = name == QLatin1String("SS2")
        ? StatisticsLogic::kLastSs2Index
        : (m_featureTable ? StatisticsLogic::lastSs1Index(*m_featureTable, deviceFirmwareVersion()) : 39);
    m_storeRequestRunning = true;
    bool captured = false;
    for (int attempt = 0; attempt < kRequestAttempts && !captured; ++attempt) {
        resetCapture(store, name);
        // A series that ended without all its indexes cleared the flags.
        if (StatisticsExportFlags == 0)
            StatisticsExportFlags |= bit;
        sendSentence(name, QStringLiteral(",?"), kSendDelayMs);
        for (int pass = 0; pass < kWaitPasses && StatisticsExportFlags != 0; ++pass) {
            // Replies, timers and the pump run; a click waits until the
            // request is over, so no second export or import starts inside.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(1);
        }
        // The pump clears the flags at the last index, also when the series
        // it caught had started before the request: only a whole one counts,
        // and only what the unit sent (saved values of an import do not).
        captured = StatisticsExportFlags == 0
            && StatisticsLogic::isCompleteSeries(capturedKeys(store, name), name, last, !manual);
    }
    m_storeRequestRunning = false;
    if (!captured) {
        resetCapture(store, name);
        store.remove(kMarker);
        // Nothing waits for a series any more: a later poll must not write
        // the unit's values into a store that now holds saved ones.
        StatisticsExportFlags = 0;
    }
    return captured;
}

bool StatisticsPage::captureUnitStatistics(QSettings& store, bool automatic, bool ss1, bool ss2)
{
    bool ok = true;
    if (ss1) {
        StatisticsExportFlags |= automatic ? ExportAutoSs1 : ExportManualSs1;
        ok = requestStatisticsToStore(QStringLiteral("SS1"), store);
    }
    if (ok && ss2) {
        StatisticsExportFlags |= automatic ? ExportAutoSs2 : ExportManualSs2;
        ok = requestStatisticsToStore(QStringLiteral("SS2"), store);
    }
    return ok;
}

bool StatisticsPage::exportStatistics(bool automatic)
{
    if (m_storeRequestRunning)
        return false; // one at a time: they share the flags and the stores
    Y5ProtocolHandler* handler = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    if (!handler || !handler->isConnected())
        return false;
    const QString version = deviceFirmwareVersion();
    for (const char* refused : {"CAN", "LED", "boot"})
        if (version.startsWith(QLatin1String(refused)))
            return false;

    std::unique_ptr<QSettings> store = openStore(automatic);
    removeKeys(*store, statisticsKeys(*store));
    StatisticsExportFlags |= automatic ? ExportAutoSs1 : ExportManualSs1;
    store->setValue(kMarker, 0);
    bool ok = requestStatisticsToStore(QStringLiteral("SS1"), *store);
    if (ok && supports(99)) {
        StatisticsExportFlags |= automatic ? ExportAutoSs2 : ExportManualSs2;
        ok = requestStatisticsToStore(QStringLiteral("SS2"), *store);
    }
    // A failed export leaves nothing: values without their mark would only
    // be a store that an import must refuse.
    if (!ok)
        removeKeys(*store, statisticsKeys(*store));
    return ok;
}

bool StatisticsPage::manualStoreHoldsStatistics()
{
    const std::unique_ptr<QSettings> store = openStore(false);
    return store->contains(kMarker) || !statisticsKeys(*store).isEmpty();
}

bool StatisticsPage::checkSavedStatistics(bool automatic)
{
    const std::unique_ptr<QSettings> store = openStore(automatic);
    const QStringList saved = statisticsKeys(*store);
    const bool marked = store->contains(kMarker);
    QStringList damaged;
    for (const QString& key : saved) {
        const QString problem = StatisticsLogic::savedSentenceProblem(key);
        if (!problem.isEmpty())
            damaged << key + QLatin1String(": ") + problem;
    }
    if ((marked || saved.isEmpty()) && damaged.isEmpty())
        return true;
    QString text = tr("The saved statistics cannot be imported: nothing was sent to the control unit.");
    if (!marked)
        text += QLatin1String("\n\n")
                + tr("The store has lost its \"Statistics\" mark, so its values may be incomplete (a file cut short "
                     "loses the mark first).");
    if (!damaged.isEmpty()) {
        text += QLatin1String("\n\n") + tr("These saved values are damaged:") + QLatin1Char('\n');
        for (int i = 0; i < damaged.size() && i < kNamedValues; ++i)
            text += damaged.at(i) + QLatin1Char('\n');
        if (damaged.size() > kNamedValues)
            text += tr("and %1 more").arg(damaged.size() - kNamedValues) + QLatin1Char('\n');
    }
    text += QLatin1Char('\n') + tr("Store: %1").arg(QDir::toNativeSeparators(store->fileName()));
    m_dialogs.critical(tr("Critical!"), text);
    return false;
}

bool StatisticsPage::importStatistics(bool automatic)
{
    if (m_storeRequestRunning)
        return false;
    // Every saved value is checked before the first is sent, and a store
    // without its mark is a failure that is told, not a success.
    if (!checkSavedStatistics(automatic))
        return false;
    std::unique_ptr<QSettings> store = openStore(automatic);
    if (!store->contains(kMarker))
        return true;

    const QStringList saved = statisticsKeys(*store);
    // A marker without values (an export that never finished): nothing to
    // write back, and no reason to ask the unit and report a failure.
    if (saved.isEmpty()) {
        store->remove(kMarker);
        return true;
    }
    const bool withSs2 = supports(99) && std::any_of(saved.cbegin(), saved.cend(), [](const QString& k) {
                             return k.startsWith(QLatin1String("SS2"));
                         });

    // The saved values stay in the store beside the unit's until the import
    // is done, so nothing is lost if the program ends in between; they are
    // told apart by their value.
    m_savedKeys = QSet<QString>(saved.cbegin(), saved.cend());
    bool ok = captureUnitStatistics(*store, automatic, true, withSs2);
    QString why; // what the failure box adds
    if (!ok)
        why = tr("The control unit did not send its statistics whole.");
    if (ok) {
        const QStringList device = capturedKeys(*store, QStringLiteral("SS1")) + capturedKeys(*store, QStringLiteral("SS2"));
        const bool clearAdded = automatic && supports(100);
        QStringList written; // saved sentences sent back, as the unit must now report them
        for (const auto& send : StatisticsLogic::restoreSentences(saved, device, clearAdded)) {
            sendSentence(send.first, send.second, kSendDelayMs);
            if (send.second.isEmpty())
                written << QStringLiteral("SS") + send.first.mid(2);
        }
        // The unit does not answer a write-back: reading the series again is
        // what shows that it took each value.
        if (!written.isEmpty()) {
            auto writes = [&written](const char* name) {
                return std::any_of(written.cbegin(), written.cend(),
                                   [name](const QString& w) { return w.startsWith(QLatin1String(name)); });
            };
            ok = captureUnitStatistics(*store, automatic, writes("SS1"), writes("SS2"));
            if (!ok) {
                why = tr("The control unit did not send its statistics whole after the values were written.");
            } else {
                const QStringList now = capturedKeys(*store, QStringLiteral("SS1")) + capturedKeys(*store, QStringLiteral("SS2"));
                QStringList notTaken;
                for (const QString& w : qAsConst(written))
                    if (!now.contains(w))
                        notTaken << w;
                if (!notTaken.isEmpty()) {
                    ok = false;
                    why = tr("The control unit did not take these values:") + QLatin1Char('\n');
                    for (int i = 0; i < notTaken.size() && i < kNamedValues; ++i)
                        why += notTaken.at(i) + QLatin1Char('\n');
                    if (notTaken.size() > kNamedValues)
                        why += tr("and %1 more").arg(notTaken.size() - kNamedValues) + QLatin1Char('\n');
                }
            }
        }
    }
    m_savedKeys.clear();

    if (!ok) {
        // The saved values end up in the manual store, whole and alone: an
        // older manual export there would be written back with them.
        std::unique_ptr<QSettings> manualStore = automatic ? openStore(false) : nullptr;
        QSettings& keep = automatic ? *manualStore : *store;
        removeKeys(keep, statisticsKeys(keep));
        keep.setValue(kMarker, 0);
        for (const QString& key : saved)
            keep.setValue(key, 0);
        keep.sync();
        if (automatic) {
            removeKeys(*store, statisticsKeys(*store));
            store->remove(kMarker);
            if (g_mainWindow)
                g_mainWindow->enableStatisticsImport();
            m_dialogs.critical(tr("Critical!"), tr("Importing saved statistic values failed.\nPlease try again "
                                                   "manually from the\n\"Options\" menu.")
                                                    + QLatin1String("\n\n") + why);
        } else {
            m_dialogs.critical(tr("Critical!"), tr("Importing saved statistic values failed.\nPlease try again.")
                                                    + QLatin1String("\n\n") + why);
        }
        return false;
    }

    removeKeys(*store, statisticsKeys(*store));
    store->remove(kMarker);
    return true;
}
