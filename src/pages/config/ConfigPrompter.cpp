#include "ConfigPrompter.h"

#include "DateTimeEntryDlg.h"
#include "PasswordValidator.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("ConfigPage", text);
}

bool acceptablePassword(QString text)
{
    PasswordValidator validator;
    int pos = 0;
    // A comma would split the "PW2" sentence's fields, and the file is
    // read back as ASCII: what the load refuses is not saved.
    for (QChar c : text)
        if (c == QLatin1Char(',') || c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return validator.validate(text, pos) == QValidator::Acceptable;
}
} // namespace

QStringList filePasswordErrors(const QString& level2, const QString& level1)
{
    QStringList errors;
    if (!acceptablePassword(level2))
        errors << tr("Access level 2 password was not set correctly");
    if (!acceptablePassword(level1))
        errors << tr("Access level 1 password was not set correctly");
    return errors;
}

QString ConfigPrompter::askPassword(QWidget* parent, const QString& title, const QString& label, bool* accepted)
{
    return QInputDialog::getText(parent, title, label, QLineEdit::Password, QString(), accepted);
}

void ConfigPrompter::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
    box.exec();
}

QMessageBox::StandardButton ConfigPrompter::ask(const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, buttons);
    box.setDefaultButton(defaultButton);
    box.setModal(true);
    return QMessageBox::StandardButton(box.exec());
}

void ConfigPrompter::warn(QWidget* parent, const QString& title, const QString& text, bool information)
{
    if (information)
        QMessageBox::information(parent, title, text, QMessageBox::Ok, QMessageBox::Ok);
    else
        QMessageBox::warning(parent, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool ConfigPrompter::askInt(QWidget* parent, const QString& title, const QString& label, int value, int minimum,
                            int maximum, int* result)
{
    bool ok = false;
    const int v = QInputDialog::getInt(parent, title, label, value, minimum, maximum, 1, &ok);
    if (ok)
        *result = v;
    return ok;
}

bool ConfigPrompter::askDateTime(QDateTime* result)
{
    DateTimeEntryDlg dialog;
    if (dialog.exec() != QDialog::Accepted || !dialog.dateTime.isValid())
        return false;
    *result = dialog.dateTime;
    return true;
}

QString ConfigPrompter::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                     const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, QFileDialog::ReadOnly);
}

QString ConfigPrompter::saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                     const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, QFileDialog::ReadOnly);
}

bool ConfigPrompter::confirm(const QString& text, const QString& informativeText)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok | QMessageBox::Cancel);
    box.setInformativeText(informativeText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setModal(true);
    // Widens the box so that the text keeps its lines.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(300, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box.exec() == QMessageBox::Ok;
}

bool ConfigPrompter::askFilePasswords(QWidget* parent, QString* level2, QString* level1)
{
    QDialog dialog;
    dialog.setWindowTitle(QString());
    dialog.setFixedSize(180, 120);
    auto* grid = new QGridLayout(&dialog);
    grid->addWidget(new QLabel(tr("New passwords:")), 0, 0, 1, 2, Qt::AlignLeft);
    auto* edit1 = new QLineEdit;
    auto* edit2 = new QLineEdit;
    edit1->setPlaceholderText(tr("Access level 1 password"));
    edit2->setPlaceholderText(tr("Access level 2 password"));
    auto* validator = new PasswordValidator(&dialog);
    for (QLineEdit* e : {edit1, edit2}) {
        e->setEchoMode(QLineEdit::PasswordEchoOnEdit);
        e->setValidator(validator);
        e->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
        e->setStyleSheet(QStringLiteral("%1 %2").arg(e->styleSheet(), QStringLiteral("QLineEdit { font-size: 10pt; }")));
    }
    grid->addWidget(edit1, 1, 0, 1, 2);
    grid->addWidget(edit2, 2, 0, 1, 2);
    auto* save = new QPushButton(tr("Save"));
    auto* cancel = new QPushButton(tr("Cancel"));
    grid->addWidget(save, 3, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(cancel, 3, 1, Qt::AlignLeft | Qt::AlignVCenter);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        const QStringList errors = filePasswordErrors(edit2->text(), edit1->text());
        for (const QString& e : errors)
            QMessageBox::information(parent, tr("Invalid password"), e);
        if (errors.isEmpty())
            dialog.accept();
    });
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *level2 = edit2->text();
    *level1 = edit1->text();
    return true;
}
