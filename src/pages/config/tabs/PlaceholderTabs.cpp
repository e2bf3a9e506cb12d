// Empty pages for the parameter tabs whose builders are not written yet.
// When a tab's real builder is added in its own file here, its line goes.
#include "ConfigPage.h"

#include "SignalWindowTab.h"

#include <QSpacerItem>
#include <QVBoxLayout>

namespace {

SignalWindowTab* emptyTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    new QVBoxLayout(tab);
    return tab;
}

} // namespace

SignalWindowTab* ConfigPage::createGeneralTab(QWidget* parent)
{
    SignalWindowTab* tab = emptyTab(parent);
    // Room for the page's content while the tabs are built; it may shrink.
    tab->layout()->addItem(new QSpacerItem(880, 580, QSizePolicy::Preferred, QSizePolicy::Expanding));
    return tab;
}
SignalWindowTab* ConfigPage::createChargingTab(QWidget* parent) { return emptyTab(parent); }
SignalWindowTab* ConfigPage::createSocSohTab(QWidget* parent) { return emptyTab(parent); }
SignalWindowTab* ConfigPage::createProtectionsTab(QWidget* parent) { return emptyTab(parent); }
SignalWindowTab* ConfigPage::createWarningsTab(QWidget* parent) { return emptyTab(parent); }
SignalWindowTab* ConfigPage::createReductionsTab(QWidget* parent) { return emptyTab(parent); }
SignalWindowTab* ConfigPage::createScibTab(QWidget* parent) { return emptyTab(parent); }
