#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class CurrentSensorActions;
class CurrentSensorCompensation;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class Tip;

// The General tab's widgets that the page's other code reaches. A child of
// the page; the three compensation windows have no parent and go with it.
struct GeneralTabWidgets : QObject
{
    explicit GeneralTabWidgets(QObject* page) : QObject(page) {}
    ~GeneralTabWidgets() override;

    QPushButton* dateTimeButton = nullptr;
    QPushButton* calibrateCellsButton = nullptr;
    QPushButton* calibrateExternalButton = nullptr;
    QPushButton* batteryIdButton = nullptr;
    QWidget* cellCountEditor = nullptr;
    QLabel* cellStringsLabel = nullptr;
    QCheckBox* analogInputsCheck = nullptr;
    QComboBox* sensorTypeCombo = nullptr;
    Tip* sensorTypeTip = nullptr;
    QLineEdit* serialEditor = nullptr;
    QLabel* serialCaption = nullptr;
    QLineEdit* canIdEditor = nullptr;
    QLabel* canIdCaption = nullptr;
    QLabel* lowCaption = nullptr;
    QWidget* lowEditor = nullptr;
    QPushButton* lowButton = nullptr;
    QLabel* highCaption = nullptr;
    QWidget* highEditor = nullptr;
    QPushButton* highButton = nullptr;
    QPushButton* resetZeroButton = nullptr;
    QPushButton* compensateButton = nullptr;
    QPushButton* discoverButton = nullptr;
    QPushButton* commitButton = nullptr;
    CurrentSensorCompensation* lowWindow = nullptr;
    CurrentSensorCompensation* highWindow = nullptr;
    CurrentSensorCompensation* compensationWindow = nullptr;
    // Behind "Discover" and "Commit"; the window joins it to the sensor service.
    CurrentSensorActions* sensorActions = nullptr;

    // The Status page's shown pack current ("Current"); by default read
    // from the main window's Status page.
    std::function<QString()> shownCurrent;
    // The battery id question; by default Qt's text input dialog. Sets *ok
    // false on Cancel.
    std::function<QString(QWidget* parent, bool* ok)> askBatteryId;

    // Shows the IVT-S rows for sensor type 2, the calibration rows otherwise.
    void showSensorRows(int index);
};
