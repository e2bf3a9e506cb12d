#pragma once

#include "Communicator.h"

#include <QList>
#include <QPair>
#include <QRecursiveMutex>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class Y5ProtocolHandler;

// Owns the one active transport: creates the transport of a requested kind
// with its own thread ("Communicator Thread"), stops the previous one, binds
// the protocol handler to the new one and announces the change.
//
// The new thread is created but not started: the caller connects its own
// signals to the transport (from the CommunicatorChanged signal or through
// communicator()) and then calls startCommunicator().
class CommunicatorSelector : public QObject
{
    Q_OBJECT
public:
    enum Selection : quint8 { Serial = 0, Bluetooth = 1, Dummy = 2, NoSelection = 3 };
    Q_ENUM(Selection)

    // Makes a new, unstarted transport of one kind.
    using Factory = std::function<Communicator*()>;

    // The process-wide selector (created on first use; lives in the thread
    // that first asks, which must be the one calling select()).
    static CommunicatorSelector* instance();

    // A separate selector, for tests; the application uses instance().
    CommunicatorSelector();
    ~CommunicatorSelector() override;

    // Makes a transport of this kind current. Nothing happens for a kind that
    // is current and still running, for an unknown kind, or for a kind with no
    // factory (Bluetooth until its code registers one): the result says
    // whether the kind is current afterwards. A current transport that has
    // stopped is replaced by a fresh one. When another transport runs, it is
    // stopped and this returns only after its thread has ended (processing
    // this thread's events, user input excluded, meanwhile).
    bool select(Selection kind);

    // Replaces how a kind is built (the Bluetooth transport registers itself
    // here; tests put fakes in). A null factory makes the kind unavailable.
    void setFactory(Selection kind, Factory factory);

    // Clears selectionAllowed and starts the current transport's thread, so
    // that the next select() waits for it to end. Does nothing when there is
    // no current thread or it was started already.
    void startCommunicator();

    // The handler that follows the current transport: select() gives each new
    // transport the handler, connects its sigDataReceived() directly to the
    // handler's slotDataReceived() (once) and points the handler at it before
    // announcing it. Holders of the handler must not connect that signal
    // themselves (or must use Qt::UniqueConnection).
    void setProtocolHandler(Y5ProtocolHandler* handler);

    Selection currentSelection() const { return kind_; }
    AbstractCommunicator* communicator() const { return current_; }
    QThread* communicatorThread() const { return thread_; }

    // Cleared by whoever starts a transport's thread; set again when that
    // thread has finished.
    std::atomic<bool> selectionAllowed{true};

signals:
    void CommunicatorChanged(CommunicatorSelector::Selection kind, AbstractCommunicator* communicator);

private slots:
    void allowCommunicatorSelection();

private:
    bool currentHasStopped() const;
    void bindHandler(Communicator* c);
    // Ends the thread (asking its transport to stop) and deletes both.
    static void shutDown(Communicator* c, QThread* t);

    // Recursive: a slot run while select() processes events may still
    // register a factory or the handler (select() itself refuses to nest).
    QRecursiveMutex mutex_;
    Factory factories_[3];
    Selection kind_ = NoSelection;
    Communicator* current_ = nullptr;
    QThread* thread_ = nullptr;
    // Set (in the transport's thread) when the current transport's run ends.
    std::shared_ptr<std::atomic<bool>> currentEnded_;
    Y5ProtocolHandler* handler_ = nullptr;
    std::atomic<QThread*> selectingThread_{nullptr};
    // Replaced transports with their ended threads. A worker that took the
    // old pointer just before the change (a poller's send, the keep-alive
    // check) still finds a stopped transport whose writes fail, never freed
    // memory; the oldest go once a few newer ones have been retired.
    static constexpr int kRetiredKept = 8;
    QList<QPair<Communicator*, QThread*>> retired_;
};
