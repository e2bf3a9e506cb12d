#include "ConfigPage.h"

#include "MainWindowServices.h"
#include "Y5ProtocolHandler.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

ConfigPage::ConfigPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("ConfigPage"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Configuration"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(tr("Configuration parameters of the connected BMS.")));
    // Room for the page's content while it is being built; it may shrink.
    boxLayout->addSpacerItem(new QSpacerItem(880, 580, QSizePolicy::Preferred, QSizePolicy::Expanding));
    layout->addWidget(box);
}

void ConfigPage::receiveSentence(const QString&) {}

void ConfigPage::setConnected(bool linked)
{
    connected = linked;
    if (!linked) {
        hardwareKind = 0;
        hardwareKindKnown = false;
    }
}

void ConfigPage::commitEditedParams(QWidget*, QWidget*) {}

bool ConfigPage::isPinFunctionAssigned(int) const
{
    return false;
}

void ConfigPage::slotCurrentPageChanged(int) {}
void ConfigPage::slotCanDeviceOperationStatus(int, int) {}
void ConfigPage::slotToshibaSCiBOperationStatus(int, int) {}
void ConfigPage::slotCanSplitterConfigFinish(int) {}
void ConfigPage::slotCanDeviceSortingRequest(uint8_t) {}
void ConfigPage::slotCGMGen2StatusUpdate(uint32_t, uint32_t, uint32_t, uint32_t) {}
void ConfigPage::slotReceivedVersionString(QString) {}
void ConfigPage::slotLoadConfigurationFromHardDrive() {}

void ConfigPage::slotLoginPressed()
{
    // No password entry yet: answer at once so that a login wait ends.
    if (g_mainWindow && g_mainWindow->protocolHandler())
        g_mainWindow->protocolHandler()->loginAnswered = true;
}

void ConfigPage::slotAuthenticationFailed() {}
