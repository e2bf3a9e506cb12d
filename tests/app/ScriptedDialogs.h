#pragma once

#include "HeldBox.h"
#include "WindowDialogs.h"

#include <QStringList>

// The window's boxes answered by a script, each after holding its caller
// like a real box; records what was shown.
struct ScriptedDialogs : WindowDialogs
{
    bool quitAnswer = false;
    QString directory;
    bool yesNoAnswer = false;
    int choiceAnswer = 0x400000;

    int quitQuestions = 0;
    QStringList informations;
    QStringList directoryTitles;
    QList<UserQuestion> questions;

    bool confirmQuit(QWidget*) override
    {
        testkit::holdLikeABox();
        ++quitQuestions;
        return quitAnswer;
    }
    void information(QWidget*, const QString& text) override
    {
        testkit::holdLikeABox();
        informations << text;
    }
    QString chooseDirectory(QWidget*, const QString& title, const QString&) override
    {
        testkit::holdLikeABox();
        directoryTitles << title;
        return directory;
    }
    bool askYesNo(const UserQuestion& q) override
    {
        testkit::holdLikeABox();
        questions << q;
        return yesNoAnswer;
    }
    int askChoice(const UserQuestion& q) override
    {
        testkit::holdLikeABox();
        questions << q;
        return choiceAnswer;
    }
};
