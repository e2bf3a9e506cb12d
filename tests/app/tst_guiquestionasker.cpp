// The link's questions reach the user in the GUI thread, and the answer gets
// back to the worker that waits for it.
#include "GuiQuestionAsker.h"

#include <QThread>
#include <QtTest>

class TestGuiQuestionAsker : public QObject
{
    Q_OBJECT
private slots:
    void answerReachesTheWaitingWorker_data();
    void answerReachesTheWaitingWorker();
};

void TestGuiQuestionAsker::answerReachesTheWaitingWorker_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No closes the window") << false;
}

void TestGuiQuestionAsker::answerReachesTheWaitingWorker()
{
    QFETCH(bool, yes);
    QThread* boxThread = nullptr;
    QString shown;
    int declined = 0;
    GuiQuestionAsker asker(
        [&](const UserQuestion& q) {
            boxThread = QThread::currentThread();
            shown = q.text;
            return yes;
        },
        [&] { ++declined; });

    auto answer = std::make_shared<UserAnswer>();
    bool waited = false;
    QThread* worker = QThread::create([&] {
        UserQuestion q;
        q.text = obsoleteFirmwareQuestionText();
        asker.ask(q, answer);
        waited = waitForUserAnswer([&] { return answer->isAnswered(); }, [] { return false; });
    });
    worker->start();
    QTRY_VERIFY(worker->isFinished());
    delete worker;

    QVERIFY(waited);
    QCOMPARE(answer->isYes(), yes);
    QCOMPARE(boxThread, QThread::currentThread());
    QVERIFY(shown.startsWith("Firmware version of the connected Kepo BMS Control Unit is obsolete"));
    QCOMPARE(declined, yes ? 0 : 1);
}

QTEST_MAIN(TestGuiQuestionAsker)
#include "tst_guiquestionasker.moc"
