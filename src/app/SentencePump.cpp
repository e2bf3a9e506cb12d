#include "SentencePump.h"

#include "BasePage.h"
#include "CISAConfig.h"
#include "Communicator.h"
#include "StartupRules.h"
#include "StatisticsLogic.h"
#include "StatisticsPage.h"
#include "ToshibaSCiBModuleConfig.h"
#include "Y5CanFwUpdater.h"
#include "Y5ProtocolHandler.h"
#include "canConfig.h"

#include <QSettings>

void SentencePump::drain()
{
    if (!handler || handler->isFirmwareUpdating() || (canFwUpdater && canFwUpdater->isBusy()))
        return;
    QString line;
    while (handler->getSentence(line))
        handleLine(line);
}

void SentencePump::captureStatistics(const QString& line)
{
    uint8_t& flags = statisticsPage->StatisticsExportFlags;
    if (line.startsWith(QLatin1String("SS1"))
        && (flags & (StatisticsPage::ExportAutoSs1 | StatisticsPage::ExportManualSs1))) {
        const bool manual = flags & StatisticsPage::ExportManualSs1;
        QSettings manualStore{QLatin1String(kOrganisationName), QLatin1String(kManualStatisticsStore)};
        QSettings appStore;
        QSettings& store = manual ? manualStore : appStore;
        const int index = line.split(QLatin1Char(',')).value(1).toInt(nullptr, 16);
        if (manual || (index != 0x12 && index != 0x1E))
            store.setValue(line, 0);
        const QString version = handler ? handler->versionLine().split(QLatin1Char(',')).value(3) : QString();
        if (featureTable && index == StatisticsLogic::lastSs1Index(*featureTable, version)) {
            flags = 0;
            return;
        }
    }
    if ((flags & (StatisticsPage::ExportAutoSs2 | StatisticsPage::ExportManualSs2))
        && line.startsWith(QLatin1String("SS2"))) {
        QSettings manualStore{QLatin1String(kOrganisationName), QLatin1String(kManualStatisticsStore)};
        QSettings appStore;
        QSettings& store = (flags & StatisticsPage::ExportManualSs2) ? manualStore : appStore;
        store.setValue(line, 0);
        if (line.split(QLatin1Char(',')).value(1).toInt(nullptr, 16) == 7)
            flags = 0;
    }
}

void SentencePump::handleLine(const QString& line)
{
    if (statisticsPage)
        captureStatistics(line);

    // Login reply, device banner, configuration mode and CAN challenge.
    if (handler)
        handler->applyReplyFlags(line);

    if (line.startsWith(QLatin1String("CS")) && chargingLine)
        chargingLine(line);

    for (BasePage* page : qAsConst(pages))
        if (page)
            page->processSentence(line);

    if (canConfigurator && canConfigurator->isBusy())
        canConfigurator->processSentence(line);
    if (cisaConfig)
        cisaConfig->handleCanReply(line);
    if (scibConfig && scibConfig->isBusy())
        scibConfig->processSentence(line);

    if (rootMap)
        rootMap(line);
}
