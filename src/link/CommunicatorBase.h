#pragma once

#include <QObject>
#include <QString>

// The signals every transport raises (serial, Bluetooth, idle).
class CommunicatorBase : public QObject
{
    Q_OBJECT
public:
    CommunicatorBase() : QObject(nullptr) {}

signals:
    // 0: no link (searching), 1: a link session started.
    void sigStatusChanged(int state);
    // At least one verified sentence is queued (only while linked).
    void sigReceivedSentence();
    void sigFirmwareUpdateProgress(int value, int code, QString text = QString());
    // Each read pass of the run loop: the CAN code takes its turn.
    void sigCanProcess();
    void sigToshibaSCiBProcess();
    void sigCanUpdateProgress(int value);
    void sigCanUpdateStatus(int stage, int code, QString text = QString());
    void sigCanDeviceOperationStatus(int status, int operation);
    // The run loop has ended; its thread may quit.
    void done();
    // New bytes are in the receive buffer (connect directly to the handler).
    void sigDataReceived();
};
