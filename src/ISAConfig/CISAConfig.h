#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class CanLinkServices;

// Configuration of the IVT-S current sensor over CAN: requests on the
// standard id 0x411, answers on 0x511, in "CN1" sentences through the control
// unit while it is in its configuration mode. A job is a set of command bits
// worked through from the lowest, one step per tick. One object, held in
// g_cisaConfig by the main window. GUI thread.
class CISAConfig : public QObject
{
    Q_OBJECT
public:
    // Command bits of a job.
    enum Command : quint8 {
        ReadSerial = 0x01,
        ReadBaseId = 0x02,
        StopMode = 0x04,
        SetBitRate = 0x08,
        SetBaseId = 0x10,
        ResultConfig = 0x20,
        Store = 0x40,
        RunMode = 0x80,
    };
    enum Job : quint8 { NoJob = 0, Discovery = 1, Configuration = 2 };

    // link: by default the main window's protocol handler.
    explicit CISAConfig(std::unique_ptr<CanLinkServices> link = nullptr);
    ~CISAConfig() override;

    // Sensor bit-rate code for the control unit's CAN speed setting; 0 when
    // the sensor does not support that speed.
    static quint8 bitRateForSpeed(int speedSetting);

    // Nothing when a job runs or the unit's configuration mode cannot be
    // entered; a start while another job holds that mode is refused, and the
    // warning says which.
    void startDiscover(quint8 flags);
    // Also nothing before a sensor serial is known.
    void startCommit(quint8 flags);
    // The user discarded the sensor found by a discovery: the unit leaves
    // its configuration mode and the discovery is reported finished.
    void discardFoundSensor();

    // Every received line; lines that are not the sensor's replies are ignored.
    void handleCanReply(const QString& line);

    quint32 sensorSerial() const { return m_serial; }
    // The serial the unit keeps for its sensor (0: none known).
    void setSensorSerial(quint32 serial) { m_serial = serial; }
    quint16 baseCanId() const { return m_baseId; }
    void setBaseCanId(quint16 id) { m_baseId = id; }
    quint8 bitRateCode() const { return m_bitRate; }
    void setBitRateCode(quint8 code) { m_bitRate = code; }
    void setVerify(bool on) { m_verify = on; }
    // Set when the unit reports sensor settings the sensor may not have yet;
    // a configuration job takes and clears it.
    bool pendingChange() const { return m_pendingChange; }
    void setPendingChange(bool on) { m_pendingChange = on; }
    quint8 job() const { return m_job; }
    bool isBusy() const { return m_job != NoJob; }

    // Where results and warnings go; the window points them at the
    // configuration page. Without a warning handler a modal box is shown.
    void setSensorFoundHandler(std::function<void(quint32 serial)> f) { m_onSerial = std::move(f); }
    void setCanIdHandler(std::function<void(quint16 id)> f) { m_onCanId = std::move(f); }
    void setWarningHandler(std::function<void(const QString&)> f) { m_onWarning = std::move(f); }

signals:
    void sigCanDeviceOperationStatus(int status, int operation);

public slots:
    void slotCanProcess();

private:
    bool enterConfigMode();
    void processStep();
    void sendCanFrame(quint32 id, const quint8* data, quint8 length);
    void sendRequest(quint8 command);
    void acknowledge(quint8 command);
    void negative(const QString& text);
    void endJob();
    void endQuietly();
    // Ends the job as failed (configuration mode left, the status sent),
    // then tells the user.
    void fail(const QString& text);
    void warn(const QString& text);
    void changeMode(bool enter);
    bool takeConfigMode();
    // A commit that does not wait: what the sensor has answered so far.
    void noteLateAnswer(quint8 code, const quint8* d);
    QString unconfirmedText() const;

    std::unique_ptr<CanLinkServices> m_link;
    std::function<void(quint32)> m_onSerial;
    std::function<void(quint16)> m_onCanId;
    std::function<void(const QString&)> m_onWarning;

    quint32 m_wait = 0;
    quint8 m_retries = 0;
    quint8 m_job = NoJob;
    quint8 m_stage = 0;
    quint8 m_pending = 0;
    quint32 m_serial = 0;
    quint16 m_baseId = 0x521;
    quint8 m_bitRate = 4;
    qint32 m_eActiveResultConfig = 0;
    bool m_waitForReplies = true;
    bool m_verify = false;
    bool m_pendingChange = false;
    quint8 m_lastSent = 0;
    bool m_failed = false;          // the job ends as failed
    bool m_modeChanging = false;    // ticks are held off meanwhile
    bool m_inTick = false;          // a box opened by a step holds off the next
    bool m_boxOpen = false;         // its own question or warning is open
    // A settings commit (it does not wait) says what the sensor confirmed:
    // the commands sent, those answered as good, the ticks since the last.
    bool m_confirming = false;
    quint8 m_sent = 0;
    quint8 m_answered = 0;
    quint8 m_confirmed = 0;
    quint32 m_listened = 0;
    std::array<quint32, 5> m_filters{};
};

extern CISAConfig* g_cisaConfig;
