#include "GuiQuestionAsker.h"

#include <QMessageBox>
#include <QMetaObject>

GuiQuestionAsker::GuiQuestionAsker(std::function<bool(const UserQuestion&)> box, std::function<void()> declined,
                                   QObject* parent)
    : QObject(parent), m_box(std::move(box)), m_declined(std::move(declined))
{
}

void GuiQuestionAsker::ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer)
{
    QMetaObject::invokeMethod(
        this,
        [this, question, answer] {
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
    QMessageBox box(QMessageBox::Information, QString(), question.text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
