// Received sentences, link state and the control unit's generation.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "MainWindowServices.h"
#include "Y5ProtocolHandler.h"

#include <QMouseEvent>

void ConfigPage::receiveSentence(const QString& line)
{
    if (line.startsWith(QLatin1String("CF2"))) {
        parseParamReply(line);
    } else if (line.startsWith(QLatin1String("CF3"))) {
        // nothing
    } else if (line.startsWith(QLatin1String("PW1")) || line.startsWith(QLatin1String("PW2"))) {
        updateAccessLevelUi(line);
        storePasswordReply(line);
        if (line.startsWith(QLatin1String("PW2")))
            takePasswordChangeReply(line);
    } else if (line.startsWith(QLatin1String("CS"))) {
        updateChargingState(line);
    } else if (line.startsWith(QLatin1String("CN1"))) {
        passToTempBoardWindow(line);
    } else if (line.startsWith(QLatin1String("DB1"))) {
        // After a reset the level is asked at the next version reply; the
        // one to the keep-alive may have come from the bootloader, which
        // does not answer the query. The firmware's banner: ask again.
        Y5ProtocolHandler* handler = protocolHandler();
        if (handler && handler->resetPending)
            handler->sendVersionRequest();
    }
    // "RS2" and the rest: nothing here (the root map still sees them).
}

void ConfigPage::updateChargingState(const QString& line)
{
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 2)
        return;
    int bit = -1;
    if (line.startsWith(QLatin1String("CS1")))
        bit = 0;
    else if (line.startsWith(QLatin1String("CS2")))
        bit = 1;
    else if (line.startsWith(QLatin1String("CS3")))
        bit = 2;
    if (bit < 0)
        return;
    if (fields.at(1) == QLatin1String("01"))
        chargingState |= uint8_t(1u << bit);
    else
        chargingState &= uint8_t(~(1u << bit));
}

void ConfigPage::slotReceivedVersionString(QString line)
{
    if (!line.startsWith(QLatin1String("VR1")) || hardwareKindKnown)
        return;
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 4)
        return;
    const QString kind = fields.at(1);
    if (kind == QLatin1String("BMS1") || fields.at(3).startsWith(QLatin1String("2.0")))
        hardwareKind = 1;
    else if (kind == QLatin1String("BMS2") || kind == QLatin1String("BMS3"))
        hardwareKind = 2;
    else
        return;
    hardwareKindKnown = true;
}

void ConfigPage::setConnected(bool linked)
{
    m_linkReported = linked;
    Y5ProtocolHandler* handler = protocolHandler();
    const bool bootMode = handler && handler->isBootMode();
    if (linked && !bootMode && !parametersLoading) {
        // A new link: the page counts as connected once a load completes.
        askLoadConfiguration(true);
        return;
    }
    // Link lost, boot mode, or a load running: nothing shown is current.
    if (!linked) {
        closeLoadQuestion();
        // A reading without its unit would only end in failure questions, or
        // mark the page loaded with nothing read.
        if (paramLoader && parametersLoading) {
            m_loadStopped = true;
            paramLoader->stop();
        }
        clearCanDevicesSection();
    }
    for (ConfigParamSlot* slot : qAsConst(m_slots)) {
        slot->valid = false;
        slot->pending = false;
    }
    for (ConfigParam* p : qAsConst(m_params)) {
        p->editState = NoValue;
        refreshParamWidget(p, linked && !bootMode);
    }
    // Connected means a completed load: not the bootloader, whose link would
    // otherwise open every button by the level of the last login, nor a
    // load still running.
    connected = false;
    if (g_mainWindow)
        g_mainWindow->setAccessLevel(0);
    updateButtonsEnabled();
    hardwareKind = 0;
    hardwareKindKnown = false;
    configurationLoaded = false;
    resetScibTab();
}

void ConfigPage::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    BasePage::mousePressEvent(event);
}
