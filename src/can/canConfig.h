#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// CAN module discovery and configuration over "CN1" sentences. GUI thread.
// For now no job is ever armed: it is never busy.
class canConfig : public QObject
{
    Q_OBJECT
public:
    canConfig();

    // True while any job runs; only then does the pump pass it lines.
    bool isBusy() const { return m_busy; }
    // One received line without its check suffix.
    void processSentence(const QString& line);

signals:
    void sigCanDeviceUploadProgress(int percent);
    void sigCanDeviceUploadStatus(int status, int code);
    void sigCanDeviceOperationStatus(int status, int operation);
    void sigCanSplitterConfigFinish(int result);
    void sigCanDeviceSortingRequest(uint8_t request);
    void sigCGMGen2StatusUpdate(uint32_t a, uint32_t b, uint32_t c, uint32_t d);

public slots:
    // Steps every armed job once (after each read pass of the transport).
    void slotCanProcess();

protected:
    bool m_busy = false;
};
