#pragma once

// The real serial transport in its own thread against the control-unit
// emulator on a pty, with the handler, a stand-in for the window's sentence
// pump and a scripted answerer for questions to the user.
#include "Communicator.h"
#include "ControlUnitSim.h"
#include "FeedTransport.h"
#include "PortList.h"
#include "UserQuestion.h"
#include "Y5ProtocolHandler.h"

#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

// Answers from a script: Yes or No at once, or never.
class ScriptedAsker : public UserQuestionAsker
{
public:
    enum Reply { Yes, No, Never };
    explicit ScriptedAsker(Reply reply = Yes) : reply_(reply) {}
    void setReply(Reply r)
    {
        QMutexLocker lock(&mutex_);
        reply_ = r;
    }
    void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) override
    {
        QMutexLocker lock(&mutex_);
        asked_.append(question.text);
        if (reply_ != Never)
            answer->give(reply_ == Yes);
    }
    QStringList asked() const
    {
        QMutexLocker lock(&mutex_);
        return asked_;
    }

private:
    mutable QMutex mutex_;
    Reply reply_;
    QStringList asked_;
};

// Takes the queued lines in the test's thread as the window's pump does and
// applies the handler's reply checks.
class TestPump : public QObject
{
    Q_OBJECT
public:
    explicit TestPump(Y5ProtocolHandler* h) : handler(h) {}
    Y5ProtocolHandler* handler;
    QStringList lines;
    QList<int> states;
    int linkStarts() const { return states.count(1); }

public slots:
    void pump()
    {
        QString s;
        while (handler->getSentence(s)) {
            handler->applyReplyFlags(s);
            lines.append(s);
        }
    }
    void state(int s) { states.append(s); }
};

struct LinkRig
{
    QTemporaryDir dir;
    ControlUnitSim sim;
    LogCapture log;
    Communicator* comm = new Communicator;
    Y5ProtocolHandler handler{comm};
    TestPump pump{&handler};
    ScriptedAsker asker;
    QThread commThread;
    QThread handlerThread;
    QString portPath;

    LinkRig()
    {
        Y5Timing t;
        t.authFirstSleepMs = 50;
        t.authLongPollMs = 20;
        t.authLongPolls = 50;
        t.authShortPollMs = 50;
        t.restoreFactorySleepMs = 100;
        t.restoreStepMs = 20;
        t.restoreStepsPerPass = 10;
        t.restoreBackSleepMs = 50;
        handler.setTiming(t);
        handler.setUserQuestionAsker(&asker);
    }

    // keepAlive: run the handler's keep-alive loop in "Y5 Handler Thread".
    bool start(bool keepAlive = false)
    {
        portPath = dir.filePath("ttyBMS0");
        if (!sim.start(portPath))
            return false;
        qputenv("BMS_SERIAL_PORTS", portPath.toLocal8Bit());
        QString entry;
        for (const PortEntry& p : availableSerialPorts())
            if (p.systemLocation == portPath)
                entry = portEntryText(p);
        if (entry.isEmpty())
            return false;
        comm->setProtocolHandler(&handler);
        QObject::connect(comm, &CommunicatorBase::sigDataReceived, &handler, &Y5ProtocolHandler::slotDataReceived,
                         Qt::DirectConnection);
        QObject::connect(comm, &CommunicatorBase::sigReceivedSentence, &pump, &TestPump::pump, Qt::QueuedConnection);
        QObject::connect(comm, &CommunicatorBase::sigStatusChanged, &pump, &TestPump::state, Qt::QueuedConnection);
        comm->selectPort(entry);
        comm->moveToThread(&commThread);
        commThread.setObjectName("Communicator Thread");
        QObject::connect(&commThread, &QThread::started, comm, &Communicator::run);
        QObject::connect(comm, &CommunicatorBase::done, &commThread, &QThread::quit, Qt::DirectConnection);
        commThread.start();
        if (keepAlive) {
            handlerThread.setObjectName("Y5 Handler Thread");
            QObject::connect(&handlerThread, &QThread::started, [this] { handler.run(); });
            handlerThread.start();
        }
        return true;
    }
    int sentCount(const QString& prefix) const
    {
        int n = 0;
        for (const QString& s : sim.goodSentences())
            n += s.startsWith(prefix) ? 1 : 0;
        return n;
    }
    ~LinkRig()
    {
        handler.requestStop();
        comm->requestStop();
        if (handlerThread.isRunning()) {
            handlerThread.quit();
            if (!handlerThread.wait(5000))
                qFatal("the keep-alive loop did not stop");
        }
        if (!commThread.wait(10000))
            qFatal("the transport loop did not stop");
        delete comm;
        sim.stop();
    }
};
