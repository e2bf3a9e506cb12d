#include "LogWriter.h"

#include <QDir>

LogWriter::LogWriter(Hooks hooks)
    : hooks_(std::move(hooks))
{
    if (!hooks_.now)
        hooks_.now = [] { return QDateTime::currentDateTime(); };
    fileDate_ = hooks_.now().date();
}

LogWriter::~LogWriter()
{
    QMutexLocker lock(&mutex_);
    file_.close();
}

QString LogWriter::fileName(quint32 serial, const QDate& date, int part)
{
    QString name = QString::asprintf("BMS_SN%u_%04i%02i%02i", serial, date.year(), date.month(), date.day());
    if (part > 0)
        name += QString::asprintf("_%01i", part);
    return name + QStringLiteral(".log");
}

QString LogWriter::formatLine(const QTime& time, int level, const QString& text)
{
    QString body = text;
    body.remove(QLatin1Char('\r'));
    body.remove(QLatin1Char('\n'));
    return QString::asprintf("%02i:%02i:%02i.%03i,%1i,", time.hour(), time.minute(), time.second(), time.msec(), level)
        + body + QLatin1Char('\n');
}

QString LogWriter::maskPasswords(const QString& text)
{
    for (const QLatin1String prefix : {QLatin1String("<-"), QLatin1String("Not sent: ")}) {
        if (!text.startsWith(prefix))
            continue;
        const QString sentence = text.mid(prefix.size());
        const QStringList fields = sentence.split(QLatin1Char(','));
        // The password is the first field of both. PW1's query "?" and its
        // logout (empty) carry none.
        int passwordField = 0;
        if (fields.value(0) == QLatin1String("PW1") || fields.value(0) == QLatin1String("PW2"))
            passwordField = 1;
        if (passwordField == 0 || fields.size() <= passwordField)
            return text;
        const QString& secret = fields.at(passwordField);
        if (fields.at(0) == QLatin1String("PW1") && (secret.isEmpty() || secret == QLatin1String("?")))
            return text;
        return prefix + QStringList(fields.mid(0, passwordField)).join(QLatin1Char(',')) + QStringLiteral(",***");
    }
    return text;
}

void LogWriter::setSerial(quint32 serial)
{
    QMutexLocker lock(&mutex_);
    serial_ = serial;
    serialKnown_ = true;
}

bool LogWriter::isSerialKnown() const
{
    QMutexLocker lock(&mutex_);
    return serialKnown_;
}

void LogWriter::setRequestedDir(const QString& dir)
{
    QMutexLocker lock(&mutex_);
    requestedDir_ = dir;
}

QString LogWriter::requestedDir() const
{
    QMutexLocker lock(&mutex_);
    return requestedDir_;
}

void LogWriter::setMaxFileSize(qint64 bytes)
{
    QMutexLocker lock(&mutex_);
    maxFileSize_ = bytes;
}

QString LogWriter::currentFilePath() const
{
    QMutexLocker lock(&mutex_);
    return file_.isOpen() ? file_.fileName() : QString();
}

int LogWriter::pendingLineCount() const
{
    QMutexLocker lock(&mutex_);
    return pending_.size();
}

bool LogWriter::writeRaw(const QString& line)
{
    const QByteArray bytes = line.toLatin1();
    return file_.write(bytes) == bytes.size();
}

void LogWriter::keepPending(const QString& line)
{
    pending_.append(line);
    // A tool left without a unit must not grow without bound: the oldest
    // lines go first, and the file says how many.
    while (pending_.size() > kMaxPendingLines) {
        pending_.removeFirst();
        ++droppedPending_;
    }
}

bool LogWriter::openFile(const QDate& today)
{
    file_.close();
    dir_ = requestedDir_;
    if (today != fileDate_)
        filePart_ = 0;
    sizeExceeded_ = false;
    for (;;) {
        if (dir_.isEmpty() || !QDir(dir_).exists()) {
            dir_ = QDir::currentPath();
            requestedDir_ = dir_;
        }
        file_.setFileName(QDir(dir_).filePath(fileName(serial_, today, filePart_)));
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered))
            return false; // the waiting lines stay in memory; the next line tries again
        if (file_.size() > maxFileSize_ && (!pending_.isEmpty() || droppedPending_ > 0)) {
            ++filePart_;
            file_.close();
            continue;
        }
        break;
    }
    fileDate_ = today;
    linesSinceOpen_ = 0;
    if (droppedPending_ > 0) {
        const QString note = QStringLiteral("%1 earlier log lines were dropped while no unit was linked").arg(droppedPending_);
        if (writeRaw(formatLine(hooks_.now().time(), 0, note)))
            droppedPending_ = 0;
    }
    while (!pending_.isEmpty()) {
        if (!writeRaw(pending_.first()))
            break;
        pending_.removeFirst();
    }
    return true;
}

void LogWriter::write(const QString& text, int level)
{
    if (hooks_.enabled && !hooks_.enabled())
        return;
    QString mirrored;
    {
        QMutexLocker lock(&mutex_);
        const QDateTime now = hooks_.now();
        const QDate today = now.date();
        if (hooks_.linked && !hooks_.linked()) {
            serialKnown_ = false;
            file_.close();
        }
        const bool mustOpen = today != fileDate_ || !file_.isOpen() || requestedDir_ != dir_ || sizeExceeded_;
        if (mustOpen && serialKnown_)
            openFile(today);
        if (level > kLevelLimit)
            return;
        const QString line = formatLine(now.time(), level, maskPasswords(text));
        // Behind lines that still wait, a line waits too: the file keeps
        // their order.
        if (file_.isOpen() && pending_.isEmpty() && droppedPending_ == 0 && writeRaw(line)) {
            if (++linesSinceOpen_ >= kReopenEveryLines) {
                linesSinceOpen_ = 0;
                const QString name = file_.fileName();
                file_.close();
                file_.setFileName(name);
                file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered);
            }
            if (file_.isOpen() && file_.size() > maxFileSize_) {
                sizeExceeded_ = true;
                ++filePart_;
            }
        } else {
            keepPending(line);
            // A file that refused a line is closed: the next line opens it
            // again and writes the waiting lines first.
            file_.close();
        }
        mirrored = line.left(line.size() - 1);
    }
    if (hooks_.mirror)
        hooks_.mirror(mirrored);
}
