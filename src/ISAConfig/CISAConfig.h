#pragma once

#include <QObject>
#include <QString>

// Configuration of the IVT-S current sensor over CAN. One object, held in
// g_cisaConfig by the main window. GUI thread.
class CISAConfig : public QObject
{
    Q_OBJECT
public:
    CISAConfig();

    // Every received line; lines that are not the sensor's replies are ignored.
    void handleCanReply(const QString& line);

signals:
    void sigCanDeviceOperationStatus(int status, int operation);

public slots:
    void slotCanProcess();
};

extern CISAConfig* g_cisaConfig;
