#pragma once

#include <QObject>
#include <QString>

#include <memory>

class ConfigPage;

// What the page needs of the IVT-S current sensor service; the window
// adapts the one sensor service to it.
class CurrentSensorService
{
public:
    virtual ~CurrentSensorService() = default;
    virtual void startDiscover(quint8 steps) = 0;
    virtual void startCommit(quint8 steps) = 0;
    virtual quint16 baseCanId() const = 0;
    virtual void setBaseCanId(quint16 id) = 0;
    virtual void setSensorSerial(quint32 serial) = 0;
    // The unit's sensor settings changed since the sensor last took them.
    virtual void setPendingChange() = 0;
    virtual void setVerify(bool on) = 0;
    // The user discarded a found sensor: the service ends its discovery.
    virtual void discardFoundSensor() = 0;
    virtual bool isBusy() const = 0;
    // The sensor's own code of the CAN speed its next set-speed step sends.
    virtual void setBitRateCode(quint8) {}
};

// The current sensor's "Discover" and "Commit" buttons of the General tab
// and the two results the sensor service reports back: the found serial
// number and the sensor's CAN identifier, each written into the unit's
// parameters 0x120C and 0x110A. Questions and warnings go through the
// page's prompter. GUI thread.
class CurrentSensorActions : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSerialParam = 0x120C;
    static constexpr int kCanIdParam = 0x110A;
    // Steps of the sensor jobs.
    static constexpr quint8 kDiscoverSteps = 0x01;
    static constexpr quint8 kContinueSteps = 0xE6;
    static constexpr quint8 kCommitSteps = 0xF4;

    explicit CurrentSensorActions(ConfigPage* page, QObject* parent = nullptr);
    ~CurrentSensorActions() override;

    // Null: no sensor service (the buttons then do nothing further).
    void setService(std::unique_ptr<CurrentSensorService> service);
    CurrentSensorService* service() const { return m_service.get(); }

    // A warning of the sensor service: the cursor is restored first.
    void showServiceWarning(const QString& text);

public slots:
    void slotISADiscoverPressed();
    void slotISAConfigCommitPressed();
    void showSensorFound(quint32 serial);
    void setCurrentSensorCanId(quint16 id);
    // The service's sigCanDeviceOperationStatus: the end of a sensor job
    // restores the cursor.
    void slotOperationStatus(int status, int operation);

private:
    void chargingCheck();
    bool refusedWhileHeld();
    void showWaitCursor();
    void restoreCursor();
    void writeEditor(int id, const QString& text, bool keepDisabled);

    ConfigPage* m_page;
    std::unique_ptr<CurrentSensorService> m_service;
};
