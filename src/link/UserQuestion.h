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
        // A configuration parameter (paramId) did not answer while all were
        // being read. Three buttons, answered with giveChoice(): Yes (0x4000)
        // skips it, Yes to All (0x8000) skips it and every later one without
        // asking, Cancel (0x400000, also a box closed without a choice) ends
        // the reading.
        ParamLoadFailure,
    };
    Kind kind = ObsoleteFirmware;
    QString text;
    int paramId = -1; // ParamLoadFailure: the parameter that did not answer
    // True once the worker has stopped waiting (it was stopped, the link went):
    // a box still open for this question closes, one not yet shown is not shown.
    std::function<bool()> withdrawn;
    bool isWithdrawn() const { return withdrawn && withdrawn(); }
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
    // Any thread: the answer to a question with more than two buttons (the
    // button's standard message-box code); the first answer, this or give(),
    // counts.
    void giveChoice(int choice)
    {
        bool expected = false;
        if (given_.compare_exchange_strong(expected, true)) {
            choice_ = choice;
            answered_ = true;
        }
    }
    bool isAnswered() const { return answered_; }
    bool isYes() const { return yes_; }
    int choice() const { return choice_; } // 0 when answered by give()

private:
    std::atomic<bool> given_{false};
    std::atomic<int> choice_{0};
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
    // own thread) and later calls answer->give() (or giveChoice()).
    virtual void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) = 0;
};

// The text of the obsolete-firmware question.
QString obsoleteFirmwareQuestionText();

// Waits in 1 ms steps until answered() or stop() is true. True when answered.
bool waitForUserAnswer(const std::function<bool()>& answered, const std::function<bool()>& stop);
