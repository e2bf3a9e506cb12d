#include "UpdatePage.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

UpdatePage::UpdatePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("UpdatePage"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Firmware update"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(tr("Firmware of the control unit and of the CAN devices.")));
    // Room for the page's content while it is being built; it may shrink.
    boxLayout->addSpacerItem(new QSpacerItem(880, 580, QSizePolicy::Preferred, QSizePolicy::Expanding));
    layout->addWidget(box);
}

void UpdatePage::versionReceived(const QString&) {}

void UpdatePage::connectionStatusChanged(bool linked)
{
    connected = linked;
}

void UpdatePage::setControlsEnabled(bool enabled)
{
    m_controlsEnabled = enabled;
}

void UpdatePage::slotCanDevicesProgress(int) {}
void UpdatePage::slotCanDevicesStatusUpdate(int, int) {}
void UpdatePage::slotCanDevicesStatusUpdate(int, int, QString) {}
void UpdatePage::slotCanDeviceOperationStatus(int, int) {}
void UpdatePage::slotConfigParamUpdate(int, uint32_t) {}
