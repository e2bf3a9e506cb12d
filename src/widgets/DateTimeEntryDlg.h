#pragma once

#include <QDateTime>
#include <QDialog>

class QDateTimeEdit;
class QPushButton;

// Asks for the date and time to set in the control unit. Run it with exec();
// after OK, dateTime holds the chosen value (null otherwise).
class DateTimeEntryDlg : public QDialog
{
    Q_OBJECT
public:
    explicit DateTimeEntryDlg(QWidget* parent = nullptr);

    QDateTime dateTime;

    QDateTimeEdit* editor() const { return edit; }
    QPushButton* okButton() const { return ok; }
    QPushButton* cancelButton() const { return cancel; }

public slots:
    void slotOKPressed();
    void slotCancelPressed();

private:
    QDateTimeEdit* edit;
    QPushButton* ok;
    QPushButton* cancel;
};
