#pragma once

#include "UserQuestion.h"

#include <QString>

class QWidget;

// Every box and dialog the main window puts in front of the user. The window
// shows them through this one interface so that a test can answer them
// without a modal box ever blocking it.
class WindowDialogs
{
public:
    virtual ~WindowDialogs() = default;

    // "Quit" / "Are you sure to exit application?", Ok and Cancel, no
    // default. True for Ok.
    virtual bool confirmQuit(QWidget* parent) = 0;
    // A modal information box with one Ok button; text may be rich text.
    virtual void information(QWidget* parent, const QString& text) = 0;
    // A directory chosen by the user; empty when none was chosen.
    virtual QString chooseDirectory(QWidget* parent, const QString& title, const QString& start) = 0;
    // A worker's yes/no question (UserQuestion::ObsoleteFirmware). True for Yes.
    virtual bool askYesNo(const UserQuestion& question) = 0;
    // A worker's question with more buttons (UserQuestion::ParamLoadFailure):
    // the standard button code of the answer (Yes 0x4000, Yes to All 0x8000,
    // Cancel 0x400000, also for a box closed without a choice).
    virtual int askChoice(const UserQuestion& question) = 0;
};

// The real boxes.
class MessageBoxDialogs : public WindowDialogs
{
public:
    bool confirmQuit(QWidget* parent) override;
    void information(QWidget* parent, const QString& text) override;
    QString chooseDirectory(QWidget* parent, const QString& title, const QString& start) override;
    bool askYesNo(const UserQuestion& question) override;
    int askChoice(const UserQuestion& question) override;

    static MessageBoxDialogs* instance();
};
