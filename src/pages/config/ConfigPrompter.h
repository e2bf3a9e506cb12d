#pragma once

#include <QString>

class QWidget;

// The page's modal questions and messages of the login and password
// actions. The default asks the user with Qt's dialogs; tests script it.
class ConfigPrompter
{
public:
    virtual ~ConfigPrompter() = default;
    // A password entry (echo hidden, empty at first); *accepted false on Cancel.
    virtual QString askPassword(QWidget* parent, const QString& title, const QString& label, bool* accepted);
    // A modal message box without parent, button Ok.
    virtual void showMessage(const QString& text);
};
