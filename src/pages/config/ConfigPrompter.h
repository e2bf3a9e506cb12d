#pragma once

#include <QDateTime>
#include <QMessageBox>
#include <QString>

class QWidget;

// The page's modal questions, messages and file dialogs. The default asks
// the user with Qt's dialogs; tests script it.
class ConfigPrompter
{
public:
    virtual ~ConfigPrompter() = default;
    // A password entry (echo hidden, empty at first); *accepted false on Cancel.
    virtual QString askPassword(QWidget* parent, const QString& title, const QString& label, bool* accepted);
    // A modal message box without parent, button Ok.
    virtual void showMessage(const QString& text);
    // A modal question without parent; the button pressed (Cancel or the
    // escape button's code when closed).
    virtual QMessageBox::StandardButton ask(const QString& text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton);
    // A warning (or, when information is set, an information) box with the
    // parent's window, button Ok.
    virtual void warn(QWidget* parent, const QString& title, const QString& text, bool information = false);
    // An integer entry; false on Cancel.
    virtual bool askInt(QWidget* parent, const QString& title, const QString& label, int value, int minimum,
                        int maximum, int* result);
    // The unit's date and time; false when rejected.
    virtual bool askDateTime(QDateTime* result);
    // File names; empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    // The configuration-mode warning (Ok and Cancel); true on Ok.
    virtual bool confirm(const QString& text, const QString& informativeText);
    // The two passwords a configuration file carries; false on Cancel.
    // Only returns true with both acceptable (see filePasswordErrors).
    virtual bool askFilePasswords(QWidget* parent, QString* level2, QString* level1);
};

// Why the passwords cannot go into a file (level 2's reason first); empty
// when both are acceptable.
QStringList filePasswordErrors(const QString& level2, const QString& level1);
