#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Splits a received "CF2,IIII,VVVV" line (without check suffix) into the
// parameter id and the value text. False for anything that is not a
// parameter reply with a hexadecimal id (at most 4 digits) and a hexadecimal
// value (at most 8 digits) or an empty one (the unit has no value: the
// record stays without value, but the id has answered).
bool parseParamReplyLine(const QString& line, int* paramId, QString* valueText);

// The wait for one "CF2" reply, shared by the configuration page's reply
// handling (GUI thread) and whoever waits (the loader's thread, or the page
// when it commits). Only a reply for the awaited id ends the wait: a late
// reply for an earlier id must not make an unanswered parameter count as read.
class ParamReplyWait
{
public:
    // One wait ends after this long without the awaited reply.
    static constexpr int kReplyTimeoutMs = 101;
    // Every wait's length from now on. Tests that count queries on a loaded
    // machine lengthen it; the program always waits kReplyTimeoutMs.
    static void setReplyTimeoutMs(int ms);
    static int replyTimeoutMs();

    // Waiter, before sending the query: from now on, a reply for paramId ends
    // the wait (with expectedValue non-empty, only a reply with that value,
    // as a written value's echo; otherwise any reply, an empty one included).
    // Forgets any reply noted before.
    void expect(int paramId, const QString& expectedValue = QString());

    // GUI thread, for every parameter reply received. True when it was the
    // awaited one.
    bool noteReply(int paramId, const QString& valueText);

    // Waits for the awaited reply, processing the calling thread's events
    // meanwhile (a wait in the GUI thread lets the reply handling run). True
    // as soon as it has arrived (also when it arrived before the call); false
    // after timeoutMs (replyTimeoutMs() when negative) or once stop is set. On
    // true the wait is over: further replies are not awaited until the next
    // expect().
    bool wait(const std::atomic<bool>& stop, int timeoutMs = -1);

    // Nothing awaited any more (a waiter that gave up).
    void cancel();

    bool isWaiting() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    int awaitedId_ = -1;
    QString expectedValue_;
    bool received_ = false;
};
