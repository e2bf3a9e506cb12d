#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

class Communicator;
class Y5ProtocolHandler;

// The control unit's serial firmware updater as the protocol handler starts
// it; the firmware-update code implements it. T_UpdateFirmware() runs in
// "Y5 FW Updater Thread": it sets and clears the handler's updateRunning
// while it works, clears updateStarting when it ends, and then emits done().
class FirmwareUpdater : public QObject
{
    Q_OBJECT
public:
    void setImage(const QByteArray& image) { image_ = image; }
    const QByteArray& image() const { return image_; }

signals:
    void done();

public slots:
    virtual void T_UpdateFirmware() = 0;

private:
    QByteArray image_;
};

// Builds the updater for the handler and its current transport. The
// application registers one (and records the updater as its current one).
using FirmwareUpdaterFactory = std::function<FirmwareUpdater*(Y5ProtocolHandler*, Communicator*)>;
