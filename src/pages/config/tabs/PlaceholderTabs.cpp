// Empty pages for the parameter tabs whose builders are not written yet.
// When a tab's real builder is added in its own file here, its line goes.
#include "ConfigPage.h"

#include "SignalWindowTab.h"

#include <QVBoxLayout>

namespace {

SignalWindowTab* emptyTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    new QVBoxLayout(tab);
    return tab;
}

} // namespace

SignalWindowTab* ConfigPage::createCanTab(QWidget* parent) { return emptyTab(parent); }
void ConfigPage::createCgmMappingParams() {}
SignalWindowTab* ConfigPage::createCgmsMapTab(QWidget* parent) { return emptyTab(parent); }
SignalWindowTab* ConfigPage::createCanDevicesGroup(QWidget* parent) { return emptyTab(parent); }
