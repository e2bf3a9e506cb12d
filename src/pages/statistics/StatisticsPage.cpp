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
    boxLayout->addStretch(1);
    layout->addWidget(box);
    // Room for the page's content while it is being built; it may shrink.
    layout->addSpacerItem(new QSpacerItem(900, 600, QSizePolicy::Preferred, QSizePolicy::Preferred));
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
