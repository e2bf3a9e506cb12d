// The link's questions reach the user in the GUI thread, and the answer gets
// back to the worker that waits for it.
#include "GuiQuestionAsker.h"
#include "HeldBox.h"

#include <QTest>
#include <QThread>

class TestGuiQuestionAsker : public QObject
{
    Q_OBJECT
private slots:
    void answerReachesTheWaitingWorker_data();
    void answerReachesTheWaitingWorker();
    void loadFailureAnswerIsTheButton_data();
    void loadFailureAnswerIsTheButton();
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
            testkit::holdLikeABox();
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

void TestGuiQuestionAsker::loadFailureAnswerIsTheButton_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("expected");
    QTest::newRow("Yes") << 0x4000 << false << 0x4000;
    QTest::newRow("Yes to All") << 0x8000 << false << 0x8000;
    QTest::newRow("Cancel") << 0x400000 << false << 0x400000;
    // The program ends: no box, the reading is cancelled.
    QTest::newRow("closing") << 0x8000 << true << 0x400000;
}

void TestGuiQuestionAsker::loadFailureAnswerIsTheButton()
{
    QFETCH(int, button);
    QFETCH(bool, closed);
    QFETCH(int, expected);
    int boxes = 0;
    int declined = 0;
    int shownId = -1;
    GuiQuestionAsker asker([](const UserQuestion&) { return true; }, [&] { ++declined; },
                           [&](const UserQuestion& q) {
                               testkit::holdLikeABox();
                               ++boxes;
                               shownId = q.paramId;
                               return button;
                           });
    if (closed)
        asker.close();
    auto answer = std::make_shared<UserAnswer>();
    UserQuestion q;
    q.kind = UserQuestion::ParamLoadFailure;
    q.paramId = 0x1E00;
    asker.ask(q, answer);
    QTRY_VERIFY(answer->isAnswered());
    QCOMPARE(answer->choice(), expected);
    QCOMPARE(boxes, closed ? 0 : 1);
    if (!closed)
        QCOMPARE(shownId, 0x1E00);
    QCOMPARE(declined, 0);
}

QTEST_MAIN(TestGuiQuestionAsker)
#include "tst_guiquestionasker.moc"
