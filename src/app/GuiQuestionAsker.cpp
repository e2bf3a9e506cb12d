#include "GuiQuestionAsker.h"

#include "WindowDialogs.h"

#include <QMetaObject>

namespace {
constexpr int kCancel = 0x400000;
}

GuiQuestionAsker::GuiQuestionAsker(std::function<bool(const UserQuestion&)> box, std::function<void()> declined,
                                   std::function<int(const UserQuestion&)> choice, QObject* parent)
    : QObject(parent), m_box(std::move(box)), m_declined(std::move(declined)), m_choice(std::move(choice))
{
}

void GuiQuestionAsker::ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer)
{
    QMetaObject::invokeMethod(
        this,
        [this, question, answer] {
            if (question.kind == UserQuestion::ParamLoadFailure) {
                const bool show = !closed_ && m_choice && !question.isWithdrawn();
                const int code = show ? m_choice(question) : kCancel;
                answer->giveChoice(code);
                return;
            }
            if (closed_) {
                answer->give(false);
                return;
            }
            const bool yes = m_box && m_box(question);
            if (!yes && m_declined)
                m_declined();
            // Last: the worker goes on once it has the answer.
            answer->give(yes);
        },
        Qt::QueuedConnection);
}

bool GuiQuestionAsker::showMessageBox(const UserQuestion& question)
{
    return MessageBoxDialogs::instance()->askYesNo(question);
}
