#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

// The link's log file: one file per unit serial number and day, continued in
// numbered parts past a size limit. Lines written while no unit is known
// wait in memory (up to a cap) and go to the top of the next file that opens.
// Safe to call from any thread: each line is formatted and written or kept
// whole under one mutex.
class LogWriter
{
public:
    struct Hooks
    {
        std::function<bool()> enabled;                // "Write Log"
        std::function<bool()> linked;                 // a unit is linked now
        std::function<void(const QString&)> mirror;   // the Status page's log view
        std::function<QDateTime()> now;               // local time (tests fake it)
    };

    static constexpr qint64 kDefaultMaxFileSize = 52428800;
    static constexpr int kLevelLimit = 10;
    static constexpr int kMaxPendingLines = 20000;
    static constexpr int kReopenEveryLines = 1000;

    explicit LogWriter(Hooks hooks);
    ~LogWriter();

    void write(const QString& text, int level);

    // The unit's serial number, known from its first version reply.
    void setSerial(quint32 serial);
    // False again once a line was logged while no unit was linked.
    bool isSerialKnown() const;
    void setRequestedDir(const QString& dir);
    QString requestedDir() const;
    void setMaxFileSize(qint64 bytes);

    QString currentFilePath() const;
    int pendingLineCount() const;

    // "BMS_SN%u_%04i%02i%02i.log", or with "_%01i" for parts from 1 up.
    static QString fileName(quint32 serial, const QDate& date, int part);
    // A sent login or password change ("<-PW1,<password>,XX",
    // "<-PW2,<password>,XX", also as "Not sent: ...") with the password and
    // check sum replaced by "***"; every other text as it is.
    static QString maskPasswords(const QString& text);
    // "%02i:%02i:%02i.%03i,%1i," + the text without CR and LF.
    static QString formatLine(const QTime& time, int level, const QString& text);

private:
    bool openFile(const QDate& today);
    void keepPending(const QString& line);
    bool writeRaw(const QString& line);

    Hooks hooks_;
    mutable QMutex mutex_;
    quint32 serial_ = 0;
    bool serialKnown_ = false;
    int linesSinceOpen_ = 0;
    int filePart_ = 0;
    qint64 maxFileSize_ = kDefaultMaxFileSize;
    bool sizeExceeded_ = false;
    QStringList pending_;
    int droppedPending_ = 0;
    QString requestedDir_;
    QString dir_;
    QDate fileDate_;
    QFile file_;
};
