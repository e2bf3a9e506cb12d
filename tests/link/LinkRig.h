#pragma once

// The real serial transport in its own thread against the control-unit
// emulator on a pty, with the handler, a stand-in for the window's sentence
// pump and a scripted answerer for questions to the user.
#include "FeedTransport.h"
#include "HeldBox.h"
#include "SimLink.h"
#include "UserQuestion.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <memory>

// Answers from a script: Yes or No, or never. As the window's box does, the
// question is shown in the test's (GUI) thread and held open there a while
// before it is answered; the worker waits meanwhile.
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
        Reply reply = Never;
        {
            QMutexLocker lock(&mutex_);
            asked_.append(question.text);
            reply = reply_;
        }
        if (reply == Never)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [reply, answer] {
                testkit::holdLikeABox();
                answer->give(reply == Yes);
            },
            Qt::QueuedConnection);
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

// SimLink with the captured log, the pump and the answerer joined, short
// handler timings, and optionally the handler's keep-alive loop.
struct LinkRig : SimLink
{
    LogCapture log;
    TestPump pump{&handler};
    ScriptedAsker asker;
    QThread handlerThread;

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
        QObject::connect(comm, &CommunicatorBase::sigReceivedSentence, &pump, &TestPump::pump, Qt::QueuedConnection);
        QObject::connect(comm, &CommunicatorBase::sigStatusChanged, &pump, &TestPump::state, Qt::QueuedConnection);
        if (!SimLink::start())
            return false;
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
        // The transport may still ask the answerer or log: stop it first.
        SimLink::stop();
    }
};
