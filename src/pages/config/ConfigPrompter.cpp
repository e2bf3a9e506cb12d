#include "ConfigPrompter.h"

#include <QInputDialog>
#include <QMessageBox>

QString ConfigPrompter::askPassword(QWidget* parent, const QString& title, const QString& label, bool* accepted)
{
    return QInputDialog::getText(parent, title, label, QLineEdit::Password, QString(), accepted);
}

void ConfigPrompter::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
    box.exec();
}
