#include "ExternalComponentsPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

ExternalComponentsPage::ExternalComponentsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ExternalComponentsPage"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("External components"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(tr("Display unit and Bluetooth module.")));
    // Room for the page's content while it is being built; it may shrink.
    boxLayout->addSpacerItem(new QSpacerItem(880, 580, QSizePolicy::Preferred, QSizePolicy::Expanding));
    layout->addWidget(box);
}
