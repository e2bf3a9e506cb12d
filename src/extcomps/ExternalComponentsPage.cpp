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
    boxLayout->addStretch(1);
    layout->addWidget(box);
    // Room for the page's content while it is being built; it may shrink.
    layout->addSpacerItem(new QSpacerItem(900, 600, QSizePolicy::Preferred, QSizePolicy::Preferred));
}
