// The parameter loader reading from the control-unit emulator through the
// real serial transport and protocol handler: progress, tries, the failure
// question with scripted answers, "Hide", and stopping at any point.

#include "SimLink.h"
#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "ControlUnitSim.h"
#include "HeldBox.h"
#include "ParamReplyWait.h"
#include "UserQuestion.h"
#include "Y5ProtocolHandler.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr int kFirstId = 0x0010;

// How the emulated unit answers "CF2,IIII,?" for one id.
enum Behaviour : int {
    Answer = 0,   // at once
    ThirdTry = 1, // only to the third query
    Never = 2,    // not at all
    Stale = 3,    // with a late reply for the id before it, never its own
    Empty = 4,    // at once, with an empty value (no value for the id)
};

QString idText(int id) { return QString::asprintf("%04X", id); }

quint32 valueOf(int id) { return quint32(id) * 0x101u + 7u; }

// The unit's "CF2" side: a handler on the emulator, per id.
struct Cf2Unit
{
    std::mutex mutex;
    std::map<int, int> behaviour;
    std::map<int, int> queries;

    void install(ControlUnitSim& sim)
    {
        sim.setHandler("CF2", [this](ControlUnitSim& s, const ControlUnitSim::Sentence& in) {
            if (in.fields.size() != 2 || in.fields[1] != "?")
                return;
            bool ok = false;
            const int id = in.fields[0].toInt(&ok, 16);
            if (!ok)
                return;
            int kind = Never;
            int n = 0;
            {
                std::lock_guard<std::mutex> lock(mutex);
                n = ++queries[id];
                auto it = behaviour.find(id);
                if (it != behaviour.end())
                    kind = it->second;
            }
            if (kind == Answer || (kind == ThirdTry && n >= 3))
                s.reply(QString("CF2,%1,%2").arg(idText(id)).arg(valueOf(id), 0, 16).toUpper());
            else if (kind == Empty)
                s.reply("CF2," + idText(id) + ",");
            else if (kind == Stale)
                s.reply(QString("CF2,%1,%2").arg(idText(id - 1)).arg(valueOf(id - 1), 0, 16).toUpper());
        });
    }
};

// The configuration page's side, as little as the loader needs: records per
// id, the reply handling that feeds the reply wait, the progress signals and
// a failure question with scripted answers, shown in the GUI thread.
struct Page : QObject, UserQuestionAsker
{
    std::vector<std::unique_ptr<ConfigParamSlot>> records;
    std::vector<std::unique_ptr<ConfigParam>> params;
    ParamReplyWait replyWait;
    std::atomic<bool> loading{true};
    QStringList events;
    QStringList questionTexts;
    QList<int> answers;
    // Replaces the scripted answers when set (a box the user leaves open).
    std::function<int()> box;

    // Loader's thread: the question goes to the GUI thread, as a box would.
    void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) override
    {
        QMetaObject::invokeMethod(this, [this, question, answer] {
            testkit::holdLikeABox();
            events << "ask " + idText(question.paramId);
            questionTexts << question.text;
            int choice = int(ConfigParamLoader::Cancel);
            if (question.kind != UserQuestion::ParamLoadFailure)
                choice = 0;
            else if (box)
                choice = box();
            else if (!answers.isEmpty())
                choice = answers.takeFirst();
            answer->giveChoice(choice);
        }, Qt::QueuedConnection);
    }

    void addParams(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto slot = std::make_unique<ConfigParamSlot>();
            slot->id = kFirstId + i;
            // Two editors of the same id: the id is read once.
            for (int k = 0; k < 2; ++k) {
                auto p = std::make_unique<ConfigParam>();
                p->slot = slot.get();
                slot->params.append(p.get());
                params.push_back(std::move(p));
            }
            records.push_back(std::move(slot));
        }
    }
    QList<ConfigParam*> paramList() const
    {
        QList<ConfigParam*> list;
        for (const auto& p : params)
            list.append(p.get());
        return list;
    }

    void receive(Y5ProtocolHandler& handler)
    {
        QString line;
        while (handler.getSentence(line)) {
            int id = 0;
            QString value;
            if (!parseParamReplyLine(line, &id, &value))
                continue;
            for (const auto& slot : records) {
                if (slot->id == id && !value.isEmpty()) {
                    slot->value = value.toUInt(nullptr, 16);
                    slot->valid = true;
                }
            }
            replyWait.noteReply(id, value);
        }
    }

    ConfigParamLoader* makeLoader(std::function<void(int)> send)
    {
        ConfigParamLoader::Hooks hooks;
        hooks.sendParamRequest = std::move(send);
        hooks.replyWait = &replyWait;
        hooks.asker = this;
        hooks.loadingFlag = &loading;
        auto* loader = new ConfigParamLoader(hooks);
        loader->queueParams(paramList());
        connect(loader, &ConfigParamLoader::sigSetProgressBar, this,
                [this](int percent) { events << QString("progress %1").arg(percent); }, Qt::QueuedConnection);
        connect(loader, &ConfigParamLoader::sigHideProgressBar, this, [this] { events << "hide"; },
                Qt::QueuedConnection);
        connect(loader, &ConfigParamLoader::sigShowProgressBar, this, [this] { events << "show"; },
                Qt::QueuedConnection);
        connect(loader, &ConfigParamLoader::sigCloseProgressBar, this, [this] { events << "close"; },
                Qt::QueuedConnection);
        connect(loader, &ConfigParamLoader::sigDeleteProgressBarObjects, this, [this] { events << "delete"; },
                Qt::QueuedConnection);
        connect(loader, &ConfigParamLoader::done, this, [this] { events << "done"; }, Qt::QueuedConnection);
        return loader;
    }
};

// The emulator, the transport, the pump into the page and the unit's "CF2".
struct Bench
{
    SimLink link;
    Cf2Unit unit;
    Page page;

    bool start()
    {
        unit.install(link.sim);
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &page,
                         [this] { page.receive(link.handler); }, Qt::QueuedConnection);
        return link.start() && link.waitLinked();
    }
    std::function<void(int)> sender()
    {
        return [this](int id) { link.handler.sendParamRequest(quint16(id)); };
    }
    int queriesFor(int id) const
    {
        const QString query = "CF2," + idText(id) + ",?";
        int n = 0;
        for (const QString& s : link.sim.goodSentences())
            n += s == query;
        return n;
    }
};

} // namespace

class TestParamLoaderOverLink : public QObject
{
    Q_OBJECT
private slots:
    // Replies counted per query must not time out on a loaded machine.
    void initTestCase() { ParamReplyWait::setReplyTimeoutMs(500); }
    void walk_data();
    void walk();
    void stopWhileWaitingForAReply();
    void stopWhileTheQuestionIsOpen();
    void hungLoaderLetsTheOwnerFinish();
};

void TestParamLoaderOverLink::walk_data()
{
    QTest::addColumn<QList<int>>("behaviours");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QList<int>>("queries");

    const int yes = ConfigParamLoader::Yes;
    const int all = ConfigParamLoader::YesToAll;
    const int cancel = ConfigParamLoader::Cancel;
    QTest::newRow("empty list") << QList<int>{} << QList<int>{} << false
                                << QStringList{"progress 100", "done"} << QList<int>{};
    QTest::newRow("three answer") << QList<int>{Answer, Answer, Answer} << QList<int>{} << false
                                  << QStringList{"progress 33", "progress 66", "progress 100", "done"}
                                  << QList<int>{1, 1, 1};
    QTest::newRow("answer on the third try")
        << QList<int>{Answer, ThirdTry, Answer} << QList<int>{} << false
        << QStringList{"progress 33", "progress 66", "progress 100", "done"} << QList<int>{1, 3, 1};
    QTest::newRow("never answers, Yes each time")
        << QList<int>{Never, Answer, Never} << QList<int>{yes, yes} << false
        << QStringList{"hide", "ask 0010", "show", "progress 33", "progress 66",
                       "hide", "ask 0012", "show", "progress 100", "done"}
        << QList<int>{3, 1, 3};
    QTest::newRow("Yes to All asks no more")
        << QList<int>{Never, Never, Answer} << QList<int>{all} << false
        << QStringList{"hide", "ask 0010", "show", "progress 33", "progress 66", "progress 100", "done"}
        << QList<int>{3, 3, 1};
    QTest::newRow("Cancel ends the walk")
        << QList<int>{Never, Answer, Answer} << QList<int>{cancel} << false
        << QStringList{"hide", "ask 0010", "close", "delete", "done"} << QList<int>{3, 0, 0};
    QTest::newRow("a box closed without a choice ends the walk")
        << QList<int>{Answer, Never, Answer} << QList<int>{0} << false
        << QStringList{"progress 33", "hide", "ask 0011", "close", "delete", "done"} << QList<int>{1, 3, 0};
    // Each query of 0011 brings only a late reply for 0010: 0011 is unread.
    QTest::newRow("late reply of the previous id")
        << QList<int>{Answer, Stale, Answer} << QList<int>{yes} << false
        << QStringList{"progress 33", "hide", "ask 0011", "show", "progress 66", "progress 100", "done"}
        << QList<int>{1, 3, 1};
    // An empty value is an answer: no question, the record stays without value.
    QTest::newRow("empty value")
        << QList<int>{Answer, Empty, Answer} << QList<int>{} << false
        << QStringList{"progress 33", "progress 66", "progress 100", "done"} << QList<int>{1, 1, 1};
    // "Hide": no progress shown, the question still comes, the walk ends.
    QTest::newRow("hidden dialog")
        << QList<int>{Answer, Never, Answer} << QList<int>{yes} << true
        << QStringList{"hide", "hide", "ask 0011", "show", "hide", "hide", "progress 100", "done"}
        << QList<int>{1, 3, 1};
}

void TestParamLoaderOverLink::walk()
{
    QFETCH(QList<int>, behaviours);
    QFETCH(QList<int>, answers);
    QFETCH(bool, hidden);
    QFETCH(QStringList, events);
    QFETCH(QList<int>, queries);

    Bench bench;
    for (int i = 0; i < behaviours.size(); ++i)
        bench.unit.behaviour[kFirstId + i] = behaviours[i];
    bench.page.addParams(behaviours.size());
    bench.page.answers = answers;
    QVERIFY(bench.start());

    QPointer<ConfigParamLoader> loader = bench.page.makeLoader(bench.sender());
    QCOMPARE(loader->queuedCount(), behaviours.size());
    if (hidden)
        loader->hideProgress();
    QThread* thread = ConfigParamLoader::start(loader, &bench.page);
    QCOMPARE(thread->objectName(), QString("CF2 ParamLoader Thread"));

    // The thread ends on its own and the page's side deletes it and the loader.
    QTRY_VERIFY_WITH_TIMEOUT(loader.isNull(), 15000);
    QCOMPARE(bench.page.events, events);
    QVERIFY(!bench.page.loading);
    QVERIFY(bench.page.answers.isEmpty());
    // The question names the parameter in decimal.
    for (const QString& event : events) {
        if (event.startsWith("ask ")) {
            const QString name = QString("parameter %1.").arg(event.mid(4).toInt(nullptr, 16));
            QVERIFY(!bench.page.questionTexts.filter(name).isEmpty());
        }
    }
    for (int i = 0; i < queries.size(); ++i) {
        const int id = kFirstId + i;
        QCOMPARE(bench.queriesFor(id), queries[i]);
        const ConfigParamSlot& slot = *bench.page.records[size_t(i)];
        const bool read = (behaviours[i] == Answer || behaviours[i] == ThirdTry) && queries[i] > 0;
        QCOMPARE(slot.valid, read);
        if (read)
            QCOMPARE(slot.value, valueOf(id));
    }
}

void TestParamLoaderOverLink::stopWhileWaitingForAReply()
{
    Bench bench;
    bench.page.addParams(3); // none answers
    QVERIFY(bench.start());
    QPointer<ConfigParamLoader> loader = bench.page.makeLoader(bench.sender());
    ConfigParamLoader::start(loader, &bench.page);
    QVERIFY(bench.link.sim.waitForSentence("CF2,0010,?", 5000));

    // True means it stopped within the deadline; how fast depends on the machine.
    QVERIFY(ConfigParamLoader::shutdown(loader, 500));
    QVERIFY(loader.isNull());
    QTRY_VERIFY(bench.page.events.contains("done"));
    QCOMPARE(bench.page.events, (QStringList{"close", "delete", "done"}));
    QVERIFY(!bench.page.loading);
    QVERIFY(!bench.page.replyWait.isWaiting());
    // Nothing more is asked of the unit.
    QTest::qWait(300);
    QVERIFY(bench.queriesFor(0x0010) <= 2);
    QCOMPARE(bench.queriesFor(0x0011), 0);
}

void TestParamLoaderOverLink::stopWhileTheQuestionIsOpen()
{
    Bench bench;
    bench.page.addParams(2); // none answers
    QVERIFY(bench.start());
    QPointer<ConfigParamLoader> loader = bench.page.makeLoader(bench.sender());

    // The question is a box the user leaves open; meanwhile the program is
    // closed (the close handler runs inside the box's event loop), and only
    // then does the user press Yes.
    bool stopped = false;
    bool asked = false;
    bench.page.box = [&] {
        QEventLoop box;
        QTimer::singleShot(100, &box, [&] {
            stopped = ConfigParamLoader::shutdown(loader, 500);
            asked = true;
            QTimer::singleShot(100, &box, &QEventLoop::quit);
        });
        box.exec();
        return int(ConfigParamLoader::Yes);
    };
    ConfigParamLoader::start(loader, &bench.page);
    QTRY_VERIFY_WITH_TIMEOUT(asked, 10000);
    QVERIFY(stopped);
    QTRY_VERIFY(bench.page.events.contains("done"));
    QTest::qWait(200);
    QCOMPARE(bench.page.events, (QStringList{"hide", "ask 0010", "close", "delete", "done"}));
    QCOMPARE(bench.queriesFor(0x0011), 0);
    QVERIFY(!bench.page.loading);
}

void TestParamLoaderOverLink::hungLoaderLetsTheOwnerFinish()
{
    // A send that hangs (a transport write that never returns) and heeds no
    // stop until released.
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false;
    bool released = false;
    auto hungSend = [&](int) {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        cv.notify_all();
        cv.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
    };

    Page page;
    page.addParams(2);
    QPointer<ConfigParamLoader> loader = page.makeLoader(hungSend);
    QPointer<QThread> thread = ConfigParamLoader::start(loader, &page);
    {
        std::unique_lock<std::mutex> lock(mutex);
        QVERIFY(cv.wait_for(lock, std::chrono::seconds(5), [&] { return entered; }));
    }

    QElapsedTimer t;
    t.start();
    QVERIFY(!ConfigParamLoader::shutdown(loader, 500));
    const qint64 ms = t.elapsed();
    // It gave the loader its whole deadline before giving up.
    QVERIFY2(ms >= 450, qPrintable(QString::number(ms)));
    QVERIFY(!loader.isNull());
    QVERIFY(thread && thread->isRunning());

    // Once the send returns the loader sees the stop, and the thread and the
    // loader go away by themselves.
    {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
    }
    cv.notify_all();
    QTRY_VERIFY_WITH_TIMEOUT(loader.isNull() && thread.isNull(), 5000);
    QCOMPARE(page.events, (QStringList{"close", "delete", "done"}));
}

QTEST_GUILESS_MAIN(TestParamLoaderOverLink)
#include "tst_paramloader_link.moc"
