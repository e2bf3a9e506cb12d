#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

// A yes/no question that a worker thread puts to the user. The worker never
// shows anything itself: it hands the question to the installed asker and
// waits for the answer, and every such wait also ends when the worker is
// asked to stop.
struct UserQuestion
{
    enum Kind {
        // The unit runs firmware too old for this tool; Yes puts it into its
        // bootloader, No stops the transport.
        ObsoleteFirmware,
    };
    Kind kind = ObsoleteFirmware;
    QString text;
};

// Where the answer goes; shared by the asker and the waiting worker, so an
// answer given after the worker stopped waiting is harmless.
class UserAnswer
{
public:
    // Any thread; the first answer counts.
    void give(bool yes)
    {
        bool expected = false;
        if (given_.compare_exchange_strong(expected, true)) {
            yes_ = yes;
            answered_ = true;
        }
    }
    bool isAnswered() const { return answered_; }
    bool isYes() const { return yes_; }

private:
    std::atomic<bool> given_{false};
    std::atomic<bool> answered_{false};
    std::atomic<bool> yes_{false};
};

// Implemented by the GUI (a message box shown in the GUI thread) and by tests
// (a scripted answer).
class UserQuestionAsker
{
public:
    virtual ~UserQuestionAsker() = default;
    // Called in the worker's thread. Must not block: it arranges for the
    // question to be shown where the user can answer (the GUI posts it to its
    // own thread) and later calls answer->give().
    virtual void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) = 0;
};

// The text of the obsolete-firmware question.
QString obsoleteFirmwareQuestionText();

// Waits in 1 ms steps until answered() or stop() is true. True when answered.
bool waitForUserAnswer(const std::function<bool()>& answered, const std::function<bool()>& stop);
