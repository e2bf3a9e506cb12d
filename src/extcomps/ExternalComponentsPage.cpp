#include "ExternalComponentsPage.h"

#include "BluetoothModule.h"
#include "DisplayUnit.h"

#include <QHideEvent>
#include <QShowEvent>

#include <algorithm>

// Resources of a static library are registered by hand.
static void initExtcompsResources()
{
    Q_INIT_RESOURCE(extcomps);
}

namespace {

DisplayUnitHooks defaultDisplayUnit()
{
    auto* window = new DisplayUnit;
    return {window, [window] { window->openConfigPage(); }, [window] { window->stopPort(); },
            [window] { window->pageLeft(); }, [window] { window->pageReturned(); }};
}

DisplayUnitFactory& displayUnitFactory()
{
    static DisplayUnitFactory factory;
    return factory;
}

} // namespace

void ExternalComponentsPage::setDisplayUnitFactory(DisplayUnitFactory factory)
{
    displayUnitFactory() = std::move(factory);
}

ExternalComponentsPage::ExternalComponentsPage(QWidget* /*parent: its owner reparents it*/) : QWidget(nullptr)
{
    initExtcompsResources();
    setObjectName(QStringLiteral("ExternalComponentsPage"));
    setupGallery();
    layoutGallery();

    backButton.setText(tr("Back to list"));
    backButton.setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
    backButton.setContentsMargins(0, 0, 0, 0);
    backButton.hide();
    // After the display unit's port stop made in setupGallery.
    connect(&backButton, &QPushButton::clicked, this, &ExternalComponentsPage::backToList, Qt::DirectConnection);

    mainLayout.setContentsMargins(0, 0, 0, 0);
    mainLayout.setSpacing(5);
    mainLayout.addWidget(&stack, 2);
    mainLayout.addWidget(&backButton, 0);
    setLayout(&mainLayout);

    stack.addWidget(&galleryPage);
    stack.setCurrentWidget(&galleryPage);
}

ExternalComponentsPage::~ExternalComponentsPage() = default;

void ExternalComponentsPage::setupGallery()
{
    displayUnit = displayUnitFactory() ? displayUnitFactory()() : defaultDisplayUnit();
    if (!displayUnit.window)
        displayUnit = defaultDisplayUnit();
    stack.addWidget(displayUnit.window);
    gallery.createItem(QStringLiteral(":/images/ext_comps/display_unit.png"), tr("Display Unit"), displayUnit.open);
    const auto stopPort = displayUnit.stopPort;
    if (stopPort)
        connect(&backButton, &QPushButton::clicked, this, [stopPort] { stopPort(); }, Qt::DirectConnection);

    bluetoothModule = new BluetoothModule(nullptr);
    stack.addWidget(bluetoothModule);
    BluetoothModule* bt = bluetoothModule;
    gallery.createItem(QStringLiteral(":/images/ext_comps/bluetooth_module.png"), tr("Bluetooth Module"),
                       [bt] { bt->openConfigPage(); });
}

void ExternalComponentsPage::layoutGallery()
{
    for (ClickableLabel* item : gallery.items) {
        galleryLayout.addWidget(item, 0, Qt::AlignHCenter);
        connect(item, &ClickableLabel::clicked, this, &ExternalComponentsPage::openComponent, Qt::DirectConnection);
    }
    galleryPage.setLayout(&galleryLayout);
}

void ExternalComponentsPage::openComponent()
{
    const auto it = std::find(gallery.items.begin(), gallery.items.end(), sender());
    const int position = it == gallery.items.end() ? -1 : int(it - gallery.items.begin());
    if (position >= 0)
        stack.setCurrentIndex(position);
    if (QWidget* current = stack.currentWidget())
        stack.resize(current->sizeHint());
    backButton.show();
}

void ExternalComponentsPage::hideEvent(QHideEvent* event)
{
    // Another page of the window was chosen (a minimised window hides
    // spontaneously and keeps its links).
    if (!event->spontaneous() && stack.currentWidget() == displayUnit.window && displayUnit.pageLeft)
        displayUnit.pageLeft();
    QWidget::hideEvent(event);
}

void ExternalComponentsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() && stack.currentWidget() == displayUnit.window && displayUnit.pageReturned)
        displayUnit.pageReturned();
}

void ExternalComponentsPage::backToList()
{
    stack.setCurrentWidget(&galleryPage);
    backButton.hide();
}
