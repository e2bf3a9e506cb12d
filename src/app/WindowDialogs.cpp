#include "WindowDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

bool MessageBoxDialogs::confirmQuit(QWidget* parent)
{
    return QMessageBox::question(parent, QStringLiteral("Quit"), QStringLiteral("Are you sure to exit application?"),
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton)
           == QMessageBox::Ok;
}

void MessageBoxDialogs::information(QWidget* parent, const QString& text)
{
    QMessageBox box(parent);
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setModal(true);
    box.exec();
}

QString MessageBoxDialogs::chooseDirectory(QWidget* parent, const QString& title, const QString& start)
{
    return QFileDialog::getExistingDirectory(parent, title, start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

bool MessageBoxDialogs::askYesNo(const UserQuestion& question)
{
    QMessageBox box(QMessageBox::Information, QString(), question.text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int MessageBoxDialogs::askChoice(const UserQuestion& question)
{
    QMessageBox box(QMessageBox::Warning, QString(), question.text,
                    QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::Cancel);
    // The asking worker may stop (the link went) while the box is open.
    QTimer withdrawal;
    QObject::connect(&withdrawal, &QTimer::timeout, &box, [&box, &question] {
        if (question.isWithdrawn())
            box.done(QMessageBox::Cancel);
    });
    withdrawal.start(100);
    const int pressed = box.exec();
    if (pressed == QMessageBox::Yes || pressed == QMessageBox::YesToAll)
        return pressed;
    return QMessageBox::Cancel;
}

MessageBoxDialogs* MessageBoxDialogs::instance()
{
    static MessageBoxDialogs dialogs;
    return &dialogs;
}
