#include "CommunicatorSelector.h"

#include "DummyCommunicator.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>

#include <chrono>
#include <thread>

CommunicatorSelector* CommunicatorSelector::instance()
{
    static CommunicatorSelector selector;
    return &selector;
}

CommunicatorSelector::CommunicatorSelector() : QObject(nullptr)
{
    qRegisterMetaType<CommunicatorSelector::Selection>("CommunicatorSelector::Selection");
    qRegisterMetaType<AbstractCommunicator*>("AbstractCommunicator*");
    factories_[Serial] = [] { return new Communicator; };
    factories_[Dummy] = [] { return new DummyCommunicator; };
}

CommunicatorSelector::~CommunicatorSelector()
{
    shutDown(current_, thread_);
    for (const auto& r : qAsConst(retired_))
        shutDown(r.first, r.second);
}

void CommunicatorSelector::shutDown(Communicator* c, QThread* t)
{
    if (!c)
        return;
    if (t)
        QObject::disconnect(t, &QThread::finished, nullptr, nullptr); // the selector is going
    if (t && t->isRunning()) {
        c->requestStop();
        if (!t->wait(10000))
            return; // never delete a running thread or what it works on
    }
    delete c;
    delete t;
}

void CommunicatorSelector::setFactory(Selection kind, Factory factory)
{
    QMutexLocker lock(&mutex_);
    if (kind <= Dummy)
        factories_[kind] = std::move(factory);
}

void CommunicatorSelector::setProtocolHandler(Y5ProtocolHandler* handler)
{
    QMutexLocker lock(&mutex_);
    handler_ = handler;
    if (current_)
        bindHandler(current_);
}

void CommunicatorSelector::bindHandler(Communicator* c)
{
    if (!handler_)
        return;
    c->setProtocolHandler(handler_);
    connect(c, &CommunicatorBase::sigDataReceived, handler_, &Y5ProtocolHandler::slotDataReceived,
            Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    handler_->setCommunicator(c);
}

bool CommunicatorSelector::currentHasStopped() const
{
    return current_ && (*currentEnded_ || current_->isStopRequested() || (thread_ && thread_->isFinished()));
}

void CommunicatorSelector::allowCommunicatorSelection()
{
    selectionAllowed = true;
}

void CommunicatorSelector::startCommunicator()
{
    QMutexLocker lock(&mutex_);
    if (!thread_ || thread_->isRunning() || thread_->isFinished())
        return;
    selectionAllowed = false;
    thread_->start();
}

bool CommunicatorSelector::select(Selection kind)
{
    // A select() reached from events processed inside another one (same
    // thread) would deadlock on the lock: refuse it.
    if (selectingThread_ == QThread::currentThread()) {
        logMessage(QStringLiteral("Transport change refused while another one is in progress"), 0);
        return false;
    }
    QMutexLocker lock(&mutex_);
    selectingThread_ = QThread::currentThread();
    struct Clear
    {
        std::atomic<QThread*>& t;
        ~Clear() { t = nullptr; }
    } clear{selectingThread_};
    if (kind > Dummy)
        return false;
    if (kind == kind_ && !currentHasStopped())
        return true;
    if (!factories_[kind]) {
        logMessage(QStringLiteral("No transport of kind %1 is available").arg(int(kind)), 0);
        return false;
    }
    Communicator* next = factories_[kind]();
    if (!next)
        return false;

    Communicator* old = current_;
    QThread* oldThread = thread_;
    if (old) {
        old->resetConnection();
        old->requestStop();
        // Until the old loop has ended: it may still be inside a handshake,
        // whose waits all end on the stop request.
        const bool started = oldThread && (oldThread->isRunning() || oldThread->isFinished());
        while (started && oldThread->isRunning()) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        selectionAllowed = true;
    }

    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("Communicator Thread"));
    auto ended = std::make_shared<std::atomic<bool>>(false);
    current_ = next;
    thread_ = thread;
    currentEnded_ = ended;
    kind_ = kind;
    next->moveToThread(thread);
    connect(thread, &QThread::started, next, &Communicator::run, Qt::QueuedConnection);
    // quit() is safe from any thread; called directly it does not depend on
    // an event loop running where the thread object lives.
    connect(next, &CommunicatorBase::done, thread, &QThread::quit, Qt::DirectConnection);
    connect(next, &CommunicatorBase::done, next, [ended] { *ended = true; }, Qt::DirectConnection);
    connect(thread, &QThread::finished, this, &CommunicatorSelector::allowCommunicatorSelection,
            Qt::QueuedConnection);
    bindHandler(next);

    emit CommunicatorChanged(kind, next);

    // The old transport stays alive until every holder has rebound (a
    // transport that stopped on its own may still be held by the window and
    // the pages) and a while longer for workers that took its pointer just
    // before the change. Its thread has ended, so nothing runs in it.
    if (old) {
        retired_.append(qMakePair(old, oldThread));
        while (retired_.size() > kRetiredKept) {
            const auto oldest = retired_.takeFirst();
            shutDown(oldest.first, oldest.second);
        }
    }
    return true;
}
