#pragma once

#include "UserQuestion.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

// Puts the workers' questions to the user: a worker thread asks, the question
// is shown in the GUI thread, and the answer goes back to the waiting worker.
// A "No" to the obsolete-firmware question also asks the window to close.
// The parameter loader's failure question (ParamLoadFailure) has three
// buttons; its answer is the pressed button's code.
class GuiQuestionAsker : public QObject, public UserQuestionAsker
{
    Q_OBJECT
public:
    // box shows a yes/no question and returns true for Yes; declined runs
    // after a No. choice shows a ParamLoadFailure question and returns the
    // button code; without one such a question is answered Cancel.
    GuiQuestionAsker(std::function<bool(const UserQuestion&)> box, std::function<void()> declined,
                     std::function<int(const UserQuestion&)> choice = {}, QObject* parent = nullptr);

    // Any thread; never blocks.
    void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) override;

    // The program is ending: questions still to be shown and later ones are
    // answered No (Cancel) without a box.
    void close() { closed_ = true; }

    // The modal box: information icon, Yes and No, No the default and escape.
    static bool showMessageBox(const UserQuestion& question);

private:
    std::function<bool(const UserQuestion&)> m_box;
    std::function<void()> m_declined;
    std::function<int(const UserQuestion&)> m_choice;
    std::atomic<bool> closed_{false};
};
