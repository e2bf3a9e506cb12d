#include "StatusPage.h"

#include "Param.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

StatusPage::StatusPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("StatusPage"));
    moduleVersionRequests = 0;
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("General"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(tr("Status of the connected BMS.")));
    sohLabel = new QLabel;
    boxLayout->addWidget(sohLabel);
    // Room for the page's content while it is being built; it may shrink.
    boxLayout->addSpacerItem(new QSpacerItem(880, 580, QSizePolicy::Preferred, QSizePolicy::Expanding));
    layout->addWidget(box);
}

void StatusPage::processSentence(const QString&) {}

void StatusPage::connectionStatusChanged(bool linked)
{
    connected = linked;
    if (!linked) {
        hardwareKind = 0;
        hardwareKindKnown = false;
    }
}

void StatusPage::setDistanceUnit(const QString& unit)
{
    m_distanceUnit = unit;
}

void StatusPage::setPollingEnabled(bool enabled)
{
    m_pollingEnabled = enabled;
}

QString StatusPage::getStatusValueText(const QString&) const
{
    return QString();
}

void StatusPage::writeLog(const QString& line)
{
    emit sigLogLine(line);
}

void StatusPage::slotCurrentPageChanged(int) {}
void StatusPage::slotReceivedVersionString(QString) {}
void StatusPage::slotConfigParamUpdate(int, uint32_t) {}

void StatusPage::slotDistanceUnitChanged()
{
    setDistanceUnit(g_distanceUnit);
}

void StatusPage::slotObsoleteVersionDialog() {}
