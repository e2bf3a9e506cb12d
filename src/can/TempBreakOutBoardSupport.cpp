#include "TempBreakOutBoardSupport.h"

#include "CanLinkServices.h"
#include "CanLog.h"
#include "ConfigModeOwner.h"
#include "RouteProtocol.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kOperationTimeoutMs = 3000;
constexpr int kListeningMs = 1000;

// A route answer to this command with the expected length; anything else
// on the bus is not taken for it.
bool isAnswer(const CanTunnelFrame& f, quint8 code, quint8 length)
{
    return route::isReplyId(f.id) && f.length == length && f.data[0] == code
           && f.data[1] == route::complement(code);
}
} // namespace

void TempBreakOutBoardSupport::setLink(std::unique_ptr<CanLinkServices> link)
{
    if (link)
        m_link = std::move(link);
}

TempBreakOutBoardSupport::TempBreakOutBoardSupport(QObject* owner, std::unique_ptr<CanLinkServices> link)
    : QWidget(nullptr), m_owner(owner), m_link(std::move(link))
{
    if (!m_link)
        m_link = std::make_unique<HandlerCanLink>();
    setWindowTitle(tr("Temperature Board Power Settings"));
    auto* grid = new QGridLayout(this);
    auto* buttons = new QVBoxLayout;
    m_discover = new QPushButton(tr("Discover devices"), this);
    m_enable = new QPushButton(tr("Enable all"), this);
    m_disable = new QPushButton(tr("Disable all"), this);
    buttons->addWidget(m_discover);
    buttons->addWidget(m_enable);
    buttons->addWidget(m_disable);
    buttons->addStretch();
    grid->addLayout(buttons, 1, 0);
    grid->addWidget(new QLabel(tr("Supported devices"), this), 0, 1);
    m_table = new QTableWidget(0, 3, this);
    m_table->setHorizontalHeaderLabels({tr("Device SN"), tr("Function")});
    m_table->hideColumn(2);
    m_table->verticalHeader()->hide();
    m_table->setFixedWidth(167);
    m_table->setColumnWidth(0, 90);
    m_table->setColumnWidth(1, 60);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->addWidget(m_table, 1, 1, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    setFixedWidth(320);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    connect(m_discover, &QPushButton::clicked, this, &TempBreakOutBoardSupport::initiateDiscoverDevices);
    connect(m_enable, &QPushButton::clicked, this, &TempBreakOutBoardSupport::initiateEnableAllDevices);
    connect(m_disable, &QPushButton::clicked, this, &TempBreakOutBoardSupport::initiateDisableAllDevices);
    m_timer = new QTimer(this);
    m_timer->setInterval(kOperationTimeoutMs);
    connect(m_timer, &QTimer::timeout, this, &TempBreakOutBoardSupport::endOperation);
    endOperation();
}

TempBreakOutBoardSupport::~TempBreakOutBoardSupport()
{
    if (m_busy)
        ConfigModeOwner::release(ConfigModeOwner::TemperatureBoards);
}

bool TempBreakOutBoardSupport::servesTemperatureBoards(quint16 typeId)
{
    const int family = typeId >> 4;
    return family == 3 || family == 7 || family == 8;
}

void TempBreakOutBoardSupport::setButtonsEnabled(bool on)
{
    m_discover->setEnabled(on);
    m_enable->setEnabled(on);
    m_disable->setEnabled(on);
}

bool TempBreakOutBoardSupport::startOperation()
{
    if (m_busy)
        return false;
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::TemperatureBoards);
    if (other != ConfigModeOwner::Nobody) {
        const QString text = ConfigModeOwner::refusalText(other);
        if (m_reportRefusal) {
            m_reportRefusal(text);
        } else {
            QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
            box.exec();
        }
        return false;
    }
    ConfigModeOwner::take(ConfigModeOwner::TemperatureBoards);
    if (!m_link->setConfigModeIfConnected(true)) {
        ConfigModeOwner::release(ConfigModeOwner::TemperatureBoards);
        qCDebug(lcCanJobs) << "Cannot enter config mode";
        return false;
    }
    setButtonsEnabled(false);
    m_currentSerial = -1;
    m_deviceEntered = false;
    m_busy = true;
    m_step = 8;
    m_timer->start();
    return true;
}

// Also reached when a module stops answering: the module and the control
// unit are both asked to leave their configuration modes, so the unit does
// not stay stopped.
void TempBreakOutBoardSupport::endOperation()
{
    const bool unfinished = m_busy && m_step < 9;
    if (unfinished) {
        if (m_deviceEntered && m_currentSerial >= 0)
            sendRoute(addressedToCurrent(route::LeaveConfig));
        if (!m_link->setConfigModeIfConnected(false))
            qCDebug(lcCanJobs) << "Cannot leave config mode";
    }
    if (unfinished)
        qCDebug(lcCanJobs) << "END OF OPERATION";
    becomeIdle();
}

void TempBreakOutBoardSupport::becomeIdle()
{
    m_timer->stop();
    if (m_busy)
        ConfigModeOwner::release(ConfigModeOwner::TemperatureBoards);
    m_operation = Idle;
    m_busy = false;
    m_step = 9;
    m_deviceEntered = false;
    setButtonsEnabled(true);
}

void TempBreakOutBoardSupport::initiateDiscoverDevices()
{
    if (!startOperation())
        return;
    m_operation = Listening;
    m_table->setRowCount(0);
    m_boards.clear();
    const QByteArray request = QByteArray::fromHex("00FF00FF00FF00FF");
    sendRoute(request);
    QTimer::singleShot(kListeningMs, this, [this] {
        if (!m_busy || m_operation != Listening)
            return;
        m_operation = Reading;
        m_step = 8;
        step(CanTunnelFrame{}, false);
    });
}

void TempBreakOutBoardSupport::initiateEnableAllDevices()
{
    if (!startOperation())
        return;
    m_operation = EnablingAll;
    step(CanTunnelFrame{}, false);
}

void TempBreakOutBoardSupport::initiateDisableAllDevices()
{
    if (!startOperation())
        return;
    m_operation = DisablingAll;
    step(CanTunnelFrame{}, false);
}

void TempBreakOutBoardSupport::processSentence(const QString& line)
{
    if (!m_busy || !line.startsWith(QLatin1String("CN1")))
        return;
    QStringList fields = line.split(QLatin1Char(','));
    fields.removeFirst();
    if (fields.size() < 5)
        return;
    CanTunnelFrame f;
    bool ok = false;
    f.id = fields.at(0).toUInt(&ok, 16);
    if (!ok)
        return;
    f.extended = fields.at(1).toUInt(nullptr, 16) > 0;
    const uint length = fields.at(3).toUInt(&ok, 16);
    if (!ok)
        return;
    f.length = quint8(qMin(length, 255u));
    const QString hex = fields.at(4);
    const int n = int(qMin<uint>(length, 8));
    for (int i = 0; i < n; ++i)
        f.data[size_t(i)] = quint8(hex.mid(2 * i, 2).toUInt(nullptr, 16));
    step(f, true);
}

void TempBreakOutBoardSupport::step(const CanTunnelFrame& frame, bool received)
{
    qCDebug(lcCanJobs) << "ep:" << m_operation << " msg " << QString::number(frame.id, 16) << frame.length;
    switch (m_operation) {
    case Listening:
        if (received && route::isReplyId(frame.id) && frame.length == 8 && frame.data[0] == 0x00
            && frame.data[1] == 0xFF) {
            const quint16 type = route::le16(frame.data.data() + 2);
            if (servesTemperatureBoards(type)) {
                const quint32 serial = route::le32(frame.data.data() + 4);
                m_boards.insert(serial, Board{type, -1});
                qCDebug(lcCanJobs) << "added! sn:" << serial << " pn:" << type;
            }
        }
        break;
    case Reading:
        runSequence(frame, received, false, 0);
        break;
    case EnablingAll:
        runSequence(frame, received, true, 1);
        break;
    case DisablingAll:
        runSequence(frame, received, true, 0);
        break;
    default:
        break;
    }
}

// Per module: enter, [switch,] read the power state, leave. Waiting states
// take only the answer they wait for.
void TempBreakOutBoardSupport::runSequence(const CanTunnelFrame& frame, bool received, bool switching, quint8 value)
{
    bool fresh = received;
    for (;;) {
        switch (m_step) {
        case 0:
            sendRoute(addressedToCurrent(route::EnterConfig));
            m_deviceEntered = true;
            m_step = 1;
            return;
        case 1:
            if (!fresh || !isAnswer(frame, route::EnterConfig, 4))
                return;
            fresh = false;
            m_step = switching ? 4 : 2;
            break;
        case 2:
            sendRoute(QByteArray::fromHex("0FF0"));
            m_step = 3;
            return;
        case 3:
            if (!fresh || !isAnswer(frame, 0x0F, 3))
                return;
            fresh = false;
            m_boards[quint32(m_currentSerial)].powerState = frame.data[2];
            m_step = 6;
            break;
        case 4: {
            QByteArray b = QByteArray::fromHex("0EF1");
            b.append(char(value));
            sendRoute(b);
            m_step = 5;
            return;
        }
        case 5:
            if (!fresh || !isAnswer(frame, 0x0E, 2))
                return;
            fresh = false;
            m_step = 2;
            break;
        case 6:
            sendRoute(addressedToCurrent(route::LeaveConfig));
            m_step = 7;
            return;
        case 7:
            if (!fresh || !isAnswer(frame, route::LeaveConfig, 4))
                return;
            fresh = false;
            m_deviceEntered = false;
            m_step = 8;
            break;
        case 8:
            m_step = selectNextDevice() ? 0 : 9;
            break;
        default:
            if (fresh || m_step != 9)
                return;
            qCDebug(lcCanJobs) << "done, updating table";
            refreshTable();
            if (!m_link->setConfigModeIfConnected(false))
                qCDebug(lcCanJobs) << "Cannot leave config mode";
            // Done: the operation ends now, whatever else the bus carries.
            becomeIdle();
            return;
        }
    }
}

bool TempBreakOutBoardSupport::selectNextDevice()
{
    if (m_boards.isEmpty()) {
        qCDebug(lcCanJobs) << "list empty";
        return false;
    }
    if (m_currentSerial < 0) {
        qCDebug(lcCanJobs) << "initial selection of sn == -1";
        m_currentSerial = m_boards.firstKey();
        return true;
    }
    auto it = m_boards.find(quint32(m_currentSerial));
    if (it != m_boards.end())
        ++it;
    if (it == m_boards.end()) {
        qCDebug(lcCanJobs) << "all previous devices were selected";
        m_currentSerial = 0;
        return false;
    }
    qCDebug(lcCanJobs) << "device selected";
    m_currentSerial = it.key();
    return true;
}

void TempBreakOutBoardSupport::refreshTable()
{
    m_table->setRowCount(0);
    int row = 0;
    for (auto it = m_boards.cbegin(); it != m_boards.cend(); ++it, ++row) {
        m_table->insertRow(row);
        auto* sn = new QTableWidgetItem(QString::number(it.key()));
        sn->setTextAlignment(Qt::AlignCenter);
        QString text;
        if (it->powerState == 1)
            text = tr("Enabled");
        else if (it->powerState == 0)
            text = tr("Disabled");
        else if (it->powerState == -1)
            text = tr("Unknown");
        auto* fn = new QTableWidgetItem(text);
        fn->setTextAlignment(Qt::AlignCenter);
        m_table->setItem(row, 0, sn);
        m_table->setItem(row, 1, fn);
    }
}

QByteArray TempBreakOutBoardSupport::addressedToCurrent(quint8 code) const
{
    const quint32 serial = quint32(m_currentSerial);
    return route::addressed(code, m_boards.value(serial).typeId, serial);
}

// Every request restarts the time-out: only an answer that moves the
// operation on gives it more time, never other traffic on the bus.
void TempBreakOutBoardSupport::sendFrame(quint32 id, bool extended, const QByteArray& data)
{
    m_timer->start();
    if (!m_link->canSend())
        return;
    m_link->sendSentence(QStringLiteral("CN1,"),
                         cantunnel::composeParameters(id, reinterpret_cast<const quint8*>(data.constData()),
                                                      quint8(data.size()), extended),
                         20);
}
