#include "StatisticsPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

StatisticsPage::StatisticsPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                               FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("StatisticsPage"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Statistics"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(tr("Statistics and events of the connected BMS.")));
    // Room for the page's content while it is being built; it may shrink.
    boxLayout->addSpacerItem(new QSpacerItem(880, 580, QSizePolicy::Preferred, QSizePolicy::Expanding));
    layout->addWidget(box);
}

void StatisticsPage::connectionStatusChanged(bool linked)
{
    connected = linked;
    if (!linked) {
        hardwareKind = 0;
        hardwareKindKnown = false;
    }
}

void StatisticsPage::setAccessEnabled(bool enabled)
{
    m_accessEnabled = enabled;
}

bool StatisticsPage::exportStatistics(bool)
{
    return false;
}

bool StatisticsPage::importStatistics(bool)
{
    return false;
}

void StatisticsPage::slotCurrentPageChanged(int) {}

void StatisticsPage::slotReceivedVersionString(QString) {}
