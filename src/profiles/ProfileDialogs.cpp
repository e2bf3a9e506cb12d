#include "ProfileDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

void ProfileDialogs::warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

bool ProfileDialogs::question(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
           == QMessageBox::Yes;
}

bool ProfileDialogs::getInt(QWidget* parent, const QString& title, const QString& label, int value, int minimum,
                            int maximum, int step, int* result)
{
    bool ok = false;
    const int v = QInputDialog::getInt(parent, title, label, value, minimum, maximum, step, &ok);
    if (ok && result)
        *result = v;
    return ok;
}

ProfileDialogs* ProfileDialogs::standard()
{
    static ProfileDialogs dialogs;
    return &dialogs;
}
