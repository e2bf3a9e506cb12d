#pragma once

#include <QWidget>

// The External components page (page 4): display unit and Bluetooth module.
// It works on its own links, so it is not a device page.
class ExternalComponentsPage : public QWidget
{
    Q_OBJECT
public:
    explicit ExternalComponentsPage(QWidget* parent = nullptr);
};
