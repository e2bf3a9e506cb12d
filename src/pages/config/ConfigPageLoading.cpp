// Loading the configuration: the load question, adapting the page to the
// unit's firmware, queueing the parameters and the end of a completed read.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "ConfigPrompter.h"
#include "FeatureSupportTable.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include "Communicator.h"

#include <QComboBox>
#include <QMessageBox>
#include <QSet>
#include <QCoreApplication>
#include <QProgressDialog>

namespace {

constexpr int kFeatureCount = 170; // feature ids the bitmap can report

const int kOutputPinIds[] = {0x0807, 0x0809, 0x080A, 0x080B, 0x080C, 0x080E};

int findPrefix(QComboBox* box, const QString& prefix)
{
    return box->findText(prefix, Qt::MatchStartsWith); // case-insensitive
}

void removePrefix(QComboBox* box, const QString& prefix)
{
    const int i = findPrefix(box, prefix);
    if (i >= 0)
        box->removeItem(i);
}

void ensureBeforeLast(QComboBox* box, const QString& prefix, const QString& text, int value)
{
    if (findPrefix(box, prefix) < 0)
        box->insertItem(qMax(0, box->count() - 1), text, value);
}

void ensureAtEnd(QComboBox* box, const QString& prefix, const QString& text, int value)
{
    if (findPrefix(box, prefix) < 0)
        box->addItem(text, value);
}

} // namespace

void ConfigPage::slotCurrentPageChanged(int index)
{
    // Only once the window has reported the link: the transport may be
    // linked before its earlier reports of no link have reached the page.
    if (index == 2)
        askLoadConfiguration(m_linkReported);
}

void ConfigPage::askLoadConfiguration(bool linked)
{
    // A status report the transport does not back (its link already gone)
    // offers nothing to load.
    const bool transportLinked = communicator() && communicator()->linked;
    if (!linked || !transportLinked || configurationLoaded || parametersLoading || m_fileLoadRunning)
        return;
    if (!m_askLoadBox) {
        // Opened, not run: sentences and link reports keep flowing while the
        // user thinks, and a second report finds the question already open.
        m_askLoadBox = new QMessageBox(QMessageBox::NoIcon, QString(), QString(),
                                       QMessageBox::Yes | QMessageBox::No, this);
        m_askLoadBox->setWindowModality(Qt::WindowModal);
        connect(m_askLoadBox, &QMessageBox::finished, this, [this](int answer) {
            // The link may have gone while the question was open.
            if (answer == QMessageBox::Yes && communicator() && communicator()->linked && !parametersLoading
                && !configurationLoaded)
                loadConfiguration(true);
        });
    }
    if (m_askLoadBox->isVisible())
        return;
    m_askLoadBox->setText(
        tr("Configuration was not loaded yet.\n\nDo you want to load configuration parameters now?"));
    m_askLoadBox->open();
}

void ConfigPage::closeLoadQuestion()
{
    if (m_askLoadBox && m_askLoadBox->isVisible())
        m_askLoadBox->done(QMessageBox::No);
}

void ConfigPage::loadConfiguration(bool useDeviceVersion)
{
    Y5ProtocolHandler* handler = protocolHandler();
    if (!handler || parametersLoading)
        return;
    if (!handler->isConnected()) {
        hardwareKind = 0;
        hardwareKindKnown = false;
    }
    const QString version = handler->deviceVersion();
    handler->sendPasswordQuery(20);
    updateLtoSupport();
    applyCellVoltageRanges(version, useDeviceVersion);

    // SCiB units have the module tab in place of the CAN devices tab.
    const bool scib = version.contains(QLatin1String("SCiB"));
    QWidget* drop = scib ? canDevicesTab : scibTab;
    QWidget* keep = scib ? scibTab : canDevicesTab;
    if (drop && tabWidget->indexOf(drop) >= 0)
        tabWidget->removeTabAt(tabWidget->indexOf(drop));
    if (keep && tabWidget->indexOf(keep) < 0)
        tabWidget->restoreTab(keep);
    setWidgetGroupVisible(10, !scib);

    if (startParamLoader())
        QCoreApplication::processEvents();
}

bool ConfigPage::isIdSupported(int id, const QString& version) const
{
    const ConfigParamSlot* slot = m_slots.value(id);
    if (!slot)
        return false;
    for (const ConfigParam* p : slot->params)
        if (featureSupported(p->featureId, version))
            return true;
    return false;
}

int ConfigPage::countUnsupportedWidgets(ConfigParam* param, const QString& version)
{
    if (!param || !param->slot || param->slot->params.isEmpty())
        return 0;
    const QList<ConfigParam*>& params = param->slot->params;
    int n = 0;
    for (const ConfigParam* p : params)
        if (!featureSupported(p->featureId, version))
            ++n;
    ConfigParam* first = params.first();
    const int id = first->slot->id;
    auto* combo = qobject_cast<QComboBox*>(first->widget);

    if (combo && std::find(std::begin(kOutputPinIds), std::end(kOutputPinIds), id) != std::end(kOutputPinIds)) {
        ++m_programmaticChange;
        if (featureSupported(53, version))
            ensureBeforeLast(combo, QStringLiteral("PF24"), QStringLiteral("PF24 DC/DC Control Output"), 24);
        else
            removePrefix(combo, QStringLiteral("PF24"));
        if (featureSupported(44, version))
            ensureBeforeLast(combo, QStringLiteral("PF26"), QStringLiteral("PF26 Contactor Pre-charge Output"), 26);
        else
            removePrefix(combo, QStringLiteral("PF26"));
        if (version.contains(QLatin1String("SCiB")))
            ensureBeforeLast(combo, QStringLiteral("PF27"),
                             QStringLiteral("PF27 Toshiba SCiB Module ICGT Control Output"), 27);
        else
            removePrefix(combo, QStringLiteral("PF27"));
        --m_programmaticChange;
    }

    if (featureSupported(18, version)) {
        bool chargerTag = false;
        for (const char* tag : {"J1939", "Elcon", "Eltek", "Zivan", "Powerfinn", "TSM"})
            chargerTag = chargerTag || version.contains(QLatin1String(tag));
        setWidgetGroupVisible(8, chargerTag);
        setWidgetGroupVisible(0, version.contains(QLatin1String("Eltek")));
        return n;
    }
    if (id != 0x1800 || !combo)
        return n;

    // The charger type list offers what this edition of the firmware drives.
    ++m_programmaticChange;
    auto has = [&version](const char* tag) { return version.contains(QLatin1String(tag)); };
    if (has("Margen")) {
        ensureAtEnd(combo, "Non", "Non-CAN charger", 0);
        if (findPrefix(combo, "Elcon") < 0)
            ensureAtEnd(combo, "J1939", "J1939 charger with CAN", 1);
        ensureAtEnd(combo, "Eltek Valere", "Eltek Valere EV Charger", 3);
        ensureAtEnd(combo, "Eltek SmartPack", "Eltek SmartPack Charger", 8);
        ensureAtEnd(combo, "Eltek Flatpack2", "Eltek Flatpack2 Recitifier", 9);
        ensureAtEnd(combo, "Analog", "Analog Signal controlled charger", 4);
        ensureAtEnd(combo, "ZVU", "ZVU", 5);
        ensureAtEnd(combo, "Margen", "Margen Inverter", 6);
        ensureAtEnd(combo, "EDN", "EDN charger", 7);
        ensureAtEnd(combo, "Sunny", "Sunny Island Inverter", 11);
        ensureAtEnd(combo, "Zivan Q9", "Zivan Q9 charger", 12);
        ensureAtEnd(combo, "Zivan RE", "Zivan RE charger", 10);
        ensureAtEnd(combo, "Powerfinn", "Powerfinn Charger", 13);
        ensureAtEnd(combo, "G-POWER", "G-POWER EV33 Charger", 14);
        --m_programmaticChange;
        return n;
    }
    ensureAtEnd(combo, "Non", "Non-CAN charger", 0);
    if (findPrefix(combo, "Elcon charger with") < 0)
        ensureAtEnd(combo, "J1939 charger with", "J1939 charger with CAN", 1);
    if (!has("Eltek")) {
        for (const char* p : {"Eltek Valere", "Eltek SmartPack", "Eltek Flatpack2"})
            removePrefix(combo, p);
    } else if (has("SmartPack")) {
        removePrefix(combo, "Eltek Valere");
        removePrefix(combo, "Eltek Flatpack2");
        ensureAtEnd(combo, "Eltek SmartPack", "Eltek SmartPack Charger", 8);
    } else if (has("Flatpack2")) {
        removePrefix(combo, "Eltek Valere");
        removePrefix(combo, "Eltek SmartPack");
        ensureAtEnd(combo, "Eltek Flatpack2", "Eltek Flatpack2 Recifier", 9);
    } else {
        removePrefix(combo, "Eltek SmartPack");
        removePrefix(combo, "Eltek Flatpack2");
        ensureAtEnd(combo, "Eltek Valere", "Eltek Valere EV Charger", 3);
    }
    struct Tagged { const char* tag; const char* prefix; const char* text; int value; };
    for (const Tagged& t : {Tagged{"Analog", "Analog", "Analog Signal controlled charger", 4},
                            Tagged{"ZVU", "ZVU", "ZVU", 5}, Tagged{"Margen", "Margen", "Margen Inverter", 6},
                            Tagged{"EDN", "EDN", "EDN Charger", 7},
                            Tagged{"Sunny", "Sunny", "Sunny Island Inverter", 11},
                            Tagged{"Powerfinn", "Powerfinn", "Powerfinn Charger", 13},
                            Tagged{"G-POWER", "G-POWER", "G-POWER EV33 Charger", 14}}) {
        if (has(t.tag))
            ensureAtEnd(combo, t.prefix, t.text, t.value);
        else
            removePrefix(combo, t.prefix);
    }
    if (!has("Zivan")) {
        removePrefix(combo, "Zivan RE");
        removePrefix(combo, "Zivan Q9");
    } else if (has("Q9")) {
        removePrefix(combo, "Zivan RE");
        ensureAtEnd(combo, "Zivan Q9", "Zivan Q9 Charger", 12);
    } else {
        removePrefix(combo, "Zivan Q9");
        ensureAtEnd(combo, "Zivan RE", "Zivan RE Charger", 10);
    }
    --m_programmaticChange;
    return n;
}

// The parameters to read: with the unit's feature bitmap, those of the
// reported features in feature order; without, every id that has an editor
// the firmware supports by its version. The list trimming runs either way.
QList<ConfigParam*> ConfigPage::paramsToLoad(const QString& version)
{
    QList<ConfigParam*> queued;
    QSet<int> ids;
    // The page's feature table reads the handler's bitmap under its mutex.
    QList<int> reported;
    for (int feature = 0; feature < kFeatureCount; ++feature)
        if (isFeatureReportedByDevice(feature))
            reported << feature;
    const bool bitmap = !reported.isEmpty();
    if (bitmap) {
        for (int feature : qAsConst(reported)) {
            for (ConfigParam* p : qAsConst(m_params))
                if (p->featureId == feature && p->slot && !ids.contains(p->slot->id)) {
                    ids.insert(p->slot->id);
                    queued << p;
                }
        }
    }
    for (ConfigParam* p : qAsConst(m_params)) {
        if (!p->slot)
            continue;
        const int unsupported = countUnsupportedWidgets(p, version);
        if (!bitmap && unsupported != p->slot->params.size() && !ids.contains(p->slot->id)) {
            ids.insert(p->slot->id);
            queued << p;
        }
    }
    return queued;
}

void ConfigPage::finishLoading()
{
    if (cacheRestorePending) {
        // After a firmware update the rules may correct what the unit's
        // defaults and the restored values left inconsistent.
        for (int i = 0; i < m_params.size(); ++i)
            if (m_params.at(i)->paramId() != 0x0C02)
                processInterdependentParams(i);
        for (ConfigParam* p : qAsConst(m_params))
            if (p->editState == SubmitRequested)
                submitParam(p);
        cacheRestorePending = false;
    }
    if (m_progress)
        m_progress->close();
    Y5ProtocolHandler* handler = protocolHandler();
    if (handler)
        handler->sendPasswordQuery(20);
    connected = true;
    updateButtonsEnabled();
    configurationLoaded = true;
    emit sigConfigurationLoaded();
    slotDeleteProgressBarObjects();
    if (handler)
        handler->sendVersionRequest();
}
