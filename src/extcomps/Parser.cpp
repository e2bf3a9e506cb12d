#include "Parser.h"

#include "DisplayConfig.h"
#include "DisplayUnit.h"
#include "Proto.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

Parser::Parser(Proto* p, DisplayUnit* w, config* r) : proto(p), window(w), registry(r)
{
    eraseAddresses = {0x0800C000, 0x08004000, 0x08008000, 0x0800C000,
                      0x08010000, 0x08020000, 0x08040000, 0x08060000};
    connect(window, &DisplayUnit::windowClosed, this, [this] { tries = 0; }, Qt::DirectConnection);
    connect(proto, &Proto::packetParsed, this, [this] { parsePacket(proto->takePacket()); }, Qt::DirectConnection);
    window->installEventFilter(this);
}

bool Parser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window && event->type() == QEvent::Close)
        st = ParserState::Idle;
    return false;
}

void Parser::send(quint8 command, const QByteArray& payload)
{
    proto->sendPacket(Packet{command, payload});
}

bool Parser::statusOk(const QByteArray& payload)
{
    QByteArray text = payload;
    const int zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    if (text.trimmed().isEmpty())
        return true;
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    // A garbled word is no success.
    return ok && v == 0;
}

void Parser::abortUpgrade()
{
    st = ParserState::Idle;
    emit window->updateProgress(0);
    window->upgradeTimer->stop();
    window->f.upgradeRequested = false;
    window->f.answered = false;
    window->imageData->clear();
    writeAddr = startAddr = 0x0800C000;
}

int Parser::requestNextParam()
{
    if (nextParam == paramEnd)
        return -1;
    QByteArray payload;
    appendLe32(payload, 0);
    appendLe32(payload, quint32(nextParam));
    send(CmdParam, payload);
    ++nextParam;
    return 0;
}

void Parser::sendErase(quint32 address)
{
    QByteArray payload;
    appendLe32(payload, address);
    send(CmdErase, payload);
}

bool Parser::eraseIfSectorStart()
{
    if (!eraseAddresses.contains(writeAddr))
        return false;
    window->f.eraseOk = false;
    sendErase(writeAddr);
    return true;
}

void Parser::sendChunk(quint32 address, quint32 length, const QByteArray& data)
{
    QByteArray payload;
    appendLe32(payload, address);
    appendLe32(payload, length);
    payload.append(data);
    send(CmdWrite, payload);
    writeAddr += 64;
}

bool Parser::sendNextChunk()
{
    QByteArray* image = window->imageData;
    const int n = qMin(64, image->size());
    if (n == 0)
        return false;
    QByteArray data = image->left(n);
    image->remove(0, n);
    // The unit is always told 64 bytes; a short last chunk carries them too.
    if (data.size() < 64)
        data.append(QByteArray(64 - data.size(), '\0'));
    sendChunk(writeAddr, 64, data);
    return true;
}

bool Parser::showSerialNumber(const QByteArray& payload)
{
    if (payload.isEmpty())
        return false;
    const int n = qMin(int(quint8(payload.at(0))), 4);
    const quint32 serial = readLe(payload, 1, n);
    if (serial == 0) {
        window->serialLabel->clear();
        return false;
    }
    window->serialLabel->setText(QStringLiteral("%1").arg(serial, 8, 16, QLatin1Char('0')));
    return true;
}

bool Parser::showFirmwareVersion(const QByteArray& payload)
{
    if (payload.isEmpty())
        return false;
    const int n = qMin(int(quint8(payload.at(0))), 4);
    const quint32 version = readLe(payload, 1, n);
    if (version != 0) {
        window->versionLabel->setText(versionText(version));
        return true;
    }
    window->versionLabel->setText(QStringLiteral("boot"));
    if (!window->f.upgradeRequested)
        send(CmdStartApp);
    return true;
}

QString Parser::versionText(quint32 v)
{
    return QStringLiteral("%1.%2.%3").arg((v >> 24) & 0xFF).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF);
}

void Parser::upgradeFailed(const QString& what)
{
    st = ParserState::Idle;
    window->f.answered = false;
    window->f.upgradeRequested = false;
    window->status->showMessage(what);
}

void Parser::parsePacket(const Packet& packet)
{
    DisplayUnit::Flags& f = window->f;
    switch (packet.command) {
    case CmdErase:
        if (f.answered) {
            window->upgradeTimer->start(kAckTimeoutMs);
            f.eraseAcked = true;
            f.eraseOk = statusOk(packet.payload);
        }
        step(packet);
        break;
    case CmdEnterBoot:
        f.bootSeen = true;
        if (!f.upgradeRequested) {
            bootTry();
            break;
        }
        if (f.answered)
            imageTotal = window->imageData->size();
        step(packet);
        break;
    case CmdWrite:
        if (f.answered) {
            window->upgradeTimer->start(kAckTimeoutMs);
            f.writeAcked = true;
            f.writeOk = statusOk(packet.payload);
            const int sent = imageTotal - window->imageData->size();
            emit window->updateProgress(imageTotal > 0 ? int(qint64(sent) * 100 / imageTotal) : 0);
            // Lets the progress bar repaint during a long upgrade.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        step(packet);
        break;
    case CmdStartApp:
        // The try count stays: a unit that keeps coming back to its boot
        // loader must end in the "corrupted" message, not in a loop.
        st = ParserState::Idle;
        f.upgradeRequested = false;
        emit window->updateProgress(0);
        window->setControlsEnabled(true, true);
        send(CmdIdentify);
        break;
    case CmdReadSerial:
        f.serialReplied = true;
        step(packet);
        break;
    case CmdReadVersion:
        f.versionReplied = true;
        step(packet);
        break;
    case CmdIdentify:
        f.answered = true;
        window->status->showMessage(QString());
        step(packet);
        break;
    case CmdRepeat:
        window->upgradeTimer->start(kAckTimeoutMs);
        proto->sendPacket(proto->lastSentPacket());
        step(packet);
        break;
    case CmdParam: {
        const quint32 id = readLe(packet.payload, 0, 4);
        const int size = packet.payload.size() > 4 ? quint8(packet.payload.at(4)) : 0;
        if (size >= 1 && size <= 4 && packet.payload.size() >= 5 + size && id <= 7)
            registry->setParamValue(int(id), size, packet.payload.constData() + 5);
        if (!f.paramsLoaded)
            step(packet);
        break;
    }
    case CmdNotify:
        step(packet);
        break;
    default:
        break;
    }
}

void Parser::step(const Packet& packet)
{
    DisplayUnit::Flags& f = window->f;
    switch (st) {
    case ParserState::Idle:
        if (!f.answered)
            break;
        writeAddr = 0x0800C000;
        if (f.upgradeRequested) {
            st = ParserState::AwaitBoot;
            send(CmdEnterBoot);
        } else {
            st = ParserState::AwaitSerial;
            send(CmdReadSerial);
        }
        break;
    case ParserState::AwaitSerial:
        if (!f.serialReplied) {
            st = ParserState::Idle;
        } else if (showSerialNumber(packet.payload)) {
            st = ParserState::AwaitVersion;
            f.serialReplied = false;
            send(CmdReadVersion);
        } else {
            st = ParserState::AwaitBoot;
            send(CmdEnterBoot);
        }
        break;
    case ParserState::AwaitVersion:
        if (!f.versionReplied)
            break;
        if (showFirmwareVersion(packet.payload)) {
            st = ParserState::ReadParams;
            f.paramsLoaded = false;
            nextParam = 2;
            paramEnd = 7;
            if (requestNextParam() == -1)
                st = ParserState::Idle;
        } else {
            st = ParserState::Idle;
            f.answered = false;
            f.upgradeRequested = false;
        }
        f.versionReplied = false;
        break;
    case ParserState::AwaitBoot:
        if (!f.bootSeen)
            break;
        // Controls first: disabling them empties the labels, and the unit's
        // state must stay visible.
        if (f.upgradeRequested) {
            window->setControlsEnabled(false, false);
            st = ParserState::AwaitErase;
            f.bootSeen = false;
            eraseIfSectorStart();
        } else {
            qDebug() << "init upgrade == false";
            st = ParserState::Idle;
            window->setControlsEnabled(false, true);
            f.bootSeen = false;
        }
        window->versionLabel->setText(QStringLiteral("boot"));
        window->serialLabel->clear();
        break;
    case ParserState::AwaitErase:
        if (!f.eraseAcked || !f.upgradeRequested)
            break;
        if (f.eraseOk) {
            st = ParserState::AwaitWrite;
            f.eraseAcked = false;
            sendNextChunk();
        } else {
            upgradeFailed(tr("Upgrade failed: the display unit could not erase its flash memory."));
        }
        break;
    case ParserState::AwaitWrite:
        if (!f.writeAcked || !f.upgradeRequested)
            break;
        if (!f.writeOk) {
            upgradeFailed(tr("Upgrade failed: the display unit could not write its flash memory."));
            break;
        }
        f.writeAcked = false;
        if (eraseIfSectorStart()) {
            st = ParserState::AwaitErase;
        } else if (!sendNextChunk()) {
            st = ParserState::AwaitRestart;
            f.answered = false;
            send(CmdStartApp);
            emit window->updateProgress(100);
            window->upgradeTimer->stop();
            tries = 0;
            window->status->clearMessage();
            f.upgradeRequested = false;
        }
        break;
    case ParserState::AwaitRestart:
        break;
    case ParserState::ReadParams:
        if (requestNextParam() == 0) {
            emit window->updateProgress(0);
            window->upgradeTimer->stop();
            window->status->clearMessage();
            tries = 0;
        } else {
            st = ParserState::Idle;
            f.paramsLoaded = true;
            window->stopPortScan();
        }
        break;
    }
}

void Parser::bootTry()
{
    if (tries >= tryLimit) {
        window->status->showMessage(tr("Device flash memory is corrupted. Please upgrade firmware."));
        window->versionLabel->setText(QStringLiteral("boot"));
        window->setControlsEnabled(false, true);
        st = ParserState::AwaitBoot;
        step(Packet{CmdEnterBoot, QByteArray()});
        return;
    }
    ++tries;
    window->status->showMessage(tr("Trying to boot device application... (%1/%2)").arg(tries).arg(tryLimit), 4000);
    st = ParserState::Idle;
    emit window->updateProgress(0);
    window->upgradeTimer->stop();
    window->imageData->clear();
    writeAddr = startAddr = 0x0800C000;
    send(CmdStartApp);
}
