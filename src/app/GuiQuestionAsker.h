#pragma once

#include "UserQuestion.h"

#include <QObject>

#include <functional>
#include <memory>

// Puts the link's questions to the user: a worker thread asks, the question
// is shown in the GUI thread, and the answer goes back to the waiting worker.
// A "No" to the obsolete-firmware question also asks the window to close.
class GuiQuestionAsker : public QObject, public UserQuestionAsker
{
    Q_OBJECT
public:
    // box shows the question and returns true for Yes; declined runs after a No.
    GuiQuestionAsker(std::function<bool(const UserQuestion&)> box, std::function<void()> declined,
                     QObject* parent = nullptr);

    // Any thread; never blocks.
    void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) override;

    // The modal box: information icon, Yes and No, No the default and escape.
    static bool showMessageBox(const UserQuestion& question);

private:
    std::function<bool(const UserQuestion&)> m_box;
    std::function<void()> m_declined;
};
