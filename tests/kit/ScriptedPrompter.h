#pragma once

// The configuration page's questions, messages and file dialogs answered by
// a script. Every one of them holds its caller like a real box before it
// answers, so a job that goes on behind its own box shows in the test.
#include "ConfigPrompter.h"
#include "HeldBox.h"

#include <QStringList>

namespace testkit {

struct ScriptedPrompter : ConfigPrompter
{
    // --- answers
    QList<QMessageBox::StandardButton> answers; // ask(), in order; then askDefault
    QMessageBox::StandardButton askDefault = QMessageBox::No;
    // The answer to "Sensor found SN: ..." (Save or Discard), taken before
    // the scripted answers.
    QMessageBox::StandardButton found = QMessageBox::Save;
    QList<bool> confirms; // the configuration-mode question, in order; then confirmDefault
    bool confirmDefault = false;
    QStringList passwords; // askPassword(), in order (a null text is Cancel); then password
    QString password;      // empty: Cancel
    QList<int> ints;       // askInt(), in order; Cancel when none is left
    QString fileName;      // every file dialog; empty: cancelled
    bool dateTimeAccepted = false;
    QDateTime dateTime;

    // --- what was shown, in order
    QStringList asked;     // every box's text (the question's informative text); prompts by title
    QStringList messages;  // showMessage() and warn() texts
    QStringList questions; // ask() texts
    QStringList prompts;   // password and number prompts, "title|label"
    int confirmations = 0;

    QString askPassword(QWidget*, const QString& title, const QString& label, bool* accepted) override
    {
        holdLikeABox();
        asked << title;
        prompts << title + QLatin1Char('|') + label;
        const QString a = passwords.isEmpty() ? (password.isEmpty() ? QString() : password) : passwords.takeFirst();
        *accepted = !a.isNull();
        return a;
    }
    void showMessage(const QString& text) override
    {
        holdLikeABox();
        asked << text;
        messages << text;
    }
    QMessageBox::StandardButton ask(const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) override
    {
        holdLikeABox();
        asked << text;
        questions << text;
        if (buttons == (QMessageBox::Save | QMessageBox::Discard) && defaultButton == QMessageBox::Save
            && text.startsWith(QLatin1String("Sensor found SN:")))
            return found;
        return answers.isEmpty() ? askDefault : answers.takeFirst();
    }
    void warn(QWidget*, const QString&, const QString& text, bool) override
    {
        holdLikeABox();
        asked << text;
        messages << text;
    }
    bool askInt(QWidget*, const QString& title, const QString& label, int, int, int, int* result) override
    {
        holdLikeABox();
        asked << title;
        prompts << title + QLatin1Char('|') + label;
        if (ints.isEmpty())
            return false;
        *result = ints.takeFirst();
        return true;
    }
    bool askDateTime(QDateTime* result) override
    {
        holdLikeABox();
        if (dateTimeAccepted)
            *result = dateTime;
        return dateTimeAccepted;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        holdLikeABox();
        return fileName;
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        holdLikeABox();
        return fileName;
    }
    bool confirm(const QString&, const QString& informativeText) override
    {
        holdLikeABox();
        asked << informativeText;
        ++confirmations;
        return confirms.isEmpty() ? confirmDefault : confirms.takeFirst();
    }
    bool askFilePasswords(QWidget*, QString*, QString*) override
    {
        holdLikeABox();
        return false;
    }
};

} // namespace testkit
