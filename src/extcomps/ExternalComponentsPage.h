#pragma once

#include "ButtonImageGallery.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>

class BluetoothModule;

// The display unit window as the page uses it: the widget shown in the page,
// what opens it (its port search starts there), what stops its port, and
// what the window does when the page is left for another one and shown again.
struct DisplayUnitHooks
{
    QWidget* window = nullptr;
    std::function<void()> open;
    std::function<void()> stopPort;
    std::function<void()> pageLeft;
    std::function<void()> pageReturned;
};
using DisplayUnitFactory = std::function<DisplayUnitHooks()>;

// The External components page (page 5): a gallery with one picture per
// external component; a click opens that component's page in place and
// "Back to list" returns to the gallery. It works on its own links, so it is
// not a device page.
class ExternalComponentsPage : public QWidget
{
    Q_OBJECT
public:
    explicit ExternalComponentsPage(QWidget* parent = nullptr);
    ~ExternalComponentsPage() override;

    // How the next pages build their display unit window (tests put a fake
    // in); an empty factory restores the default.
    static void setDisplayUnitFactory(DisplayUnitFactory factory);

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class TestExtComponents;

    void setupGallery();
    void layoutGallery();
    void openComponent();
    void backToList();

    ButtonImageGallery gallery;
    QStackedWidget stack;
    QWidget galleryPage;
    QVBoxLayout galleryLayout;
    QVBoxLayout mainLayout;
    QPushButton backButton;

    DisplayUnitHooks displayUnit;
    BluetoothModule* bluetoothModule = nullptr;
};
