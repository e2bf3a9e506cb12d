#include "DateTimeEntryDlg.h"
#include "MyGroupBox.h"
#include "PasswordValidator.h"
#include "Tip.h"
#include "myRadioBox.h"

#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

class PressCounter : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

} // namespace

class TestForms : public QObject
{
    Q_OBJECT
private slots:
    void groupBoxLeavesPressesToItsParent()
    {
        PressCounter parent;
        auto* box = new MyGroupBox("Checkable", &parent);
        box->setCheckable(true);
        box->setChecked(true);
        box->setGeometry(0, 0, 200, 100);
        parent.resize(300, 200);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(box->title(), QString("Checkable"));

        // A click on the title's check box would toggle a plain group box.
        const QPoint title(12, 6);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, title);
        QCOMPARE(parent.presses, 1);
        QVERIFY(box->isChecked());


        // The same click toggles a plain group box: the point is on its check box.
        auto* plain = new QGroupBox("Checkable", &parent);
        plain->setCheckable(true);
        plain->setChecked(true);
        plain->setGeometry(0, 100, 200, 100);
        plain->show();
        QTest::mouseClick(plain, Qt::LeftButton, Qt::NoModifier, title);
        QVERIFY(!plain->isChecked());
    }

    void radioBoxPlacesOptions()
    {
        myRadioBox box;
        box.addOption("Serial", 0);
        box.addOption("Side", 5, 0, 1);
        box.addOption("CAN", 1, -1, 3);
        auto* grid = qobject_cast<QGridLayout*>(box.layout());
        QVERIFY(grid);
        QCOMPARE(grid->spacing(), 2);
        auto cell = [&](int index) {
            int r, c, rs, cs;
            grid->getItemPosition(grid->indexOf(box.option(index)), &r, &c, &rs, &cs);
            return QPoint(c, r);
        };
        QCOMPARE(cell(0), QPoint(0, 0));
        QCOMPARE(cell(5), QPoint(1, 0));
        QCOMPARE(cell(1), QPoint(0, 1));
        QCOMPARE(box.focusPolicy(), Qt::StrongFocus);
    }

    void radioBoxIndexes()
    {
        myRadioBox empty;
        empty.setIndex(3);
        QCOMPARE(empty.currentIndex(), -1);
        QVERIFY(!empty.isChecked(3));

        myRadioBox box;
        box.addOption("Electric vehicle", 0, 0, 0);
        box.addOption("Energy storage", 1, 0, 1);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QSignalSpy changed(&box, &myRadioBox::indexChanged);

        box.setIndex(1);
        QVERIFY(box.isChecked(1));
        QVERIFY(!box.isChecked(0));
        QCOMPARE(box.currentIndex(), 1);
        QCOMPARE(changed.count(), 0);

        box.setIndex(9);
        QVERIFY(box.isChecked(1));
        QCOMPARE(box.currentIndex(), 1);
        QVERIFY(!box.isChecked(9));

        QTest::mouseClick(box.option(0), Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 0);
        QCOMPARE(box.currentIndex(), 0);
        QVERIFY(box.isChecked(0));
        QVERIFY(!box.isChecked(1));

        // Clicking the checked option reports it again.
        QTest::mouseClick(box.option(0), Qt::LeftButton);
        QCOMPARE(changed.count(), 2);
    }

    void passwordValidator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");
        QTest::newRow("empty") << "" << int(QValidator::Intermediate);
        QTest::newRow("3") << "abc" << int(QValidator::Intermediate);
        QTest::newRow("4") << "abcd" << int(QValidator::Acceptable);
        QTest::newRow("8") << "abcd1234" << int(QValidator::Acceptable);
        QTest::newRow("9") << "abcd12345" << int(QValidator::Invalid);
        QTest::newRow("space and Latin-1") << QString::fromUtf8("ab cé!") << int(QValidator::Acceptable);
        // The password is a sentence field and a file line.
        QTest::newRow("comma") << "ab,cd" << int(QValidator::Invalid);
        QTest::newRow("carriage return") << "abcd\r" << int(QValidator::Invalid);
        QTest::newRow("line feed") << "ab\ncd" << int(QValidator::Invalid);
        QTest::newRow("beyond Latin-1") << QString::fromUtf8("abc€") << int(QValidator::Invalid);
    }
    void passwordValidator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        PasswordValidator v;
        QString text = input;
        int pos = 2;
        QCOMPARE(int(v.validate(text, pos)), state);
        QCOMPARE(text, input);
        QCOMPARE(pos, 2);
    }

    void passwordEditRefusesANinthCharacter()
    {
        QLineEdit edit;
        edit.setValidator(new PasswordValidator(&edit));
        QTest::keyClicks(&edit, "abcdefghij,");
        QCOMPARE(edit.text(), QString("abcdefgh"));
        QVERIFY(edit.hasAcceptableInput());
        edit.setText("abc");
        QVERIFY(!edit.hasAcceptableInput());
    }

    void dateTimeDialogLayout()
    {
        DateTimeEntryDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("KEPO BMS"));
        QCOMPARE(dlg.editor()->displayFormat(), QString("yyyy-MM-dd  hh:mm:ss"));
        QVERIFY(dlg.editor()->calendarPopup());
        QCOMPARE(dlg.layout()->sizeConstraint(), QLayout::SetFixedSize);
        QVERIFY(qAbs(dlg.editor()->dateTime().secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(dlg.cancelButton()->text(), QString("Cancel"));
        QCOMPARE(dlg.okButton()->text(), QString("OK"));
        Tip* tip = dlg.editor()->findChild<Tip*>();
        QVERIFY(tip);
        bool found = false;
        for (QLabel* l : tip->bubble()->findChildren<QLabel*>())
            found = found || l->text() == "Sets the date and time of BMS.";
        QVERIFY(found);
    }

    void dateTimeDialogRefusesDatesBefore2000()
    {
        DateTimeEntryDlg dlg;
        dlg.editor()->setDateTime(QDateTime(QDate(1999, 12, 31), QTime(23, 0)));
        QCOMPARE(dlg.editor()->date(), QDate(2000, 1, 1));
    }

    void dateTimeDialogOkAndCancel_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("ok") << 0;
        QTest::newRow("cancel") << 1;
        QTest::newRow("close") << 2;
    }
    void dateTimeDialogOkAndCancel()
    {
        QFETCH(int, how);
        DateTimeEntryDlg dlg;
        const QDateTime chosen(QDate(2024, 2, 29), QTime(12, 34, 56));
        dlg.editor()->setDateTime(chosen);
        QTimer::singleShot(0, &dlg, [&] {
            if (how == 0)
                QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
            else if (how == 1)
                QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
            else
                dlg.close();
        });
        const int result = dlg.exec();
        QCOMPARE(result, how == 0 ? int(QDialog::Accepted) : int(QDialog::Rejected));
        if (how == 0)
            QCOMPARE(dlg.dateTime, chosen);
        else
            QVERIFY(dlg.dateTime.isNull());
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
