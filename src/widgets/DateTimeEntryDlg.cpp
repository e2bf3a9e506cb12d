#include "DateTimeEntryDlg.h"

#include "Tip.h"

#include <QDateTimeEdit>
#include <QGridLayout>
#include <QPushButton>

DateTimeEntryDlg::DateTimeEntryDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("KEPO BMS"));
    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    edit = new QDateTimeEdit(QDateTime::currentDateTime());
    edit->setMinimumDate(QDate(2000, 1, 1));
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd  hh:mm:ss"));
    edit->setCalendarPopup(true);
    edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    edit->setContentsMargins(0, 0, 0, 0);
    edit->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
    new Tip(edit, tr("Sets the date and time of BMS."), 0, 200, 10000, 0);

    cancel = new QPushButton(tr("Cancel"));
    ok = new QPushButton(tr("OK"));
    grid->addWidget(edit, 0, 0, 1, 2);
    grid->addWidget(cancel, 1, 0);
    grid->addWidget(ok, 1, 1);
    connect(cancel, &QPushButton::clicked, this, &DateTimeEntryDlg::slotCancelPressed);
    connect(ok, &QPushButton::clicked, this, &DateTimeEntryDlg::slotOKPressed);
}

void DateTimeEntryDlg::slotOKPressed()
{
    dateTime = edit->dateTime();
    accept();
}

void DateTimeEntryDlg::slotCancelPressed()
{
    reject();
}
