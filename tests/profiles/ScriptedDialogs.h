#pragma once

// The profile editors' boxes answered by the test: every box is recorded,
// questions and the number prompt take the scripted answers, each after
// holding its caller like a real box.
#include "HeldBox.h"
#include "ProfileDialogs.h"

#include <QStringList>

class ScriptedDialogs : public ProfileDialogs
{
public:
    QStringList warnings;  // "title|text"
    QStringList questions; // "title|text"
    bool answerYes = true;
    bool intAccepted = true;
    int intAnswer = 100;
    int intPrompts = 0;

    void warning(QWidget*, const QString& title, const QString& text) override
    {
        testkit::holdLikeABox();
        warnings << title + QLatin1Char('|') + text;
    }
    bool question(QWidget*, const QString& title, const QString& text) override
    {
        testkit::holdLikeABox();
        questions << title + QLatin1Char('|') + text;
        return answerYes;
    }
    bool getInt(QWidget*, const QString&, const QString&, int, int, int, int, int* result) override
    {
        testkit::holdLikeABox();
        ++intPrompts;
        if (intAccepted)
            *result = intAnswer;
        return intAccepted;
    }
};
