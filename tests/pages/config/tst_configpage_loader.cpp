// The configuration page reads all parameters from the control-unit emulator
// through the real transport and protocol handler: progress in its dialog,
// the failure question answered by a script, "Hide", and the values other
// pages follow.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "FeatureSupportTable.h"
#include "HeldBox.h"
#include "ParamReplyWait.h"
#include "SentenceMaps.h"
#include "SimLink.h"
#include "UserQuestion.h"

#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <map>
#include <mutex>

namespace {

enum Behaviour { Answer, ThirdTry, Never };

QString idText(int id) { return QString::asprintf("%04X", id); }
quint32 valueOf(int id) { return quint32(id) * 3u + 1u; }

// The failure question with scripted answers, answered in the GUI thread as
// the window's box would be.
struct ScriptedAsker : QObject, UserQuestionAsker
{
    QList<int> answers;
    QList<int> askedIds;
    void ask(const UserQuestion& question, std::shared_ptr<UserAnswer> answer) override
    {
        QMetaObject::invokeMethod(this, [this, question, answer] {
            testkit::holdLikeABox();
            askedIds << question.paramId;
            answer->giveChoice(answers.isEmpty() ? int(ConfigParamLoader::Cancel) : answers.takeFirst());
        }, Qt::QueuedConnection);
    }
};

// The unit reports one feature no tab of the page declares: only the
// bench's own parameters are read.
constexpr int kBenchFeature = 159;
struct OneFeature : FeatureBitmapSource
{
    bool isFeatureBitmapValid() const override { return true; }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        *word = index == kBenchFeature / 32 ? 1u << (kBenchFeature % 32) : 0u;
        return true;
    }
};

struct Bench
{
    SimLink link;
    CSntcMap map;
    OneFeature bitmap;
    FeatureSupportTable features{&bitmap};
    ConfigPage* page = nullptr;
    ScriptedAsker asker;
    std::mutex mutex;
    std::map<int, Behaviour> behaviour;
    std::map<int, int> queries;
    QList<int> progress;

    ~Bench() { delete page; }

    bool start()
    {
        link.sim.setHandler("CF2", [this](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
            if (s.fields.size() != 2 || s.fields[1] != "?")
                return;
            const int id = s.fields[0].toInt(nullptr, 16);
            std::lock_guard<std::mutex> lock(mutex);
            const int n = ++queries[id];
            const Behaviour b = behaviour.count(id) ? behaviour[id] : Answer;
            if (b == Answer || (b == ThirdTry && n == 3))
                sim.reply("CF2," + idText(id) + "," + QString::asprintf("%04X", valueOf(id)));
        });
        if (!link.start() || !link.waitLinked())
            return false;
        page = new ConfigPage(&map, link.comm, nullptr, &features);
        // Only the parameters a test adds are read: the tabs' own are left
        // out as if the firmware had none of them.
        for (ConfigParam* p : page->configParams())
            p->featureId = -1;
        page->setProtocolHandler(&link.handler);
        page->setQuestionAsker(&asker);
        // The window's pump: every received line to the page.
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page, [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        return true;
    }
    // Parameters of 16-bit ids from 0x0010 on (two editors for the first).
    void addParams(const QList<Behaviour>& kinds)
    {
        for (int i = 0; i < kinds.size(); ++i) {
            behaviour[0x0010 + i] = kinds[i];
            page->addConfigParam(0x0010 + i, kBenchFeature);
        }
        page->addConfigParam(0x0010, kBenchFeature);
    }
    bool startLoad()
    {
        if (!page->startParamLoader())
            return false;
        QProgressBar* bar = page->progressDialog()->findChild<QProgressBar*>();
        QObject::connect(bar, &QProgressBar::valueChanged, page, [this](int v) {
            if (v > 0)
                progress << v;
        });
        return true;
    }
    bool finished(int timeoutMs = 10000)
    {
        QElapsedTimer t;
        t.start();
        while ((page->parametersLoading || page->paramLoader) && t.elapsed() < timeoutMs)
            QTest::qWait(10);
        return !page->parametersLoading && !page->paramLoader;
    }
    int queriesFor(int id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return queries[id];
    }
    bool valid(int id) const { return page->paramSlot(id) && page->paramSlot(id)->valid; }
};

} // namespace

class TestConfigPageLoader : public QObject
{
    Q_OBJECT
private slots:
    // The page machinery alone: no tab declares parameters.
    void initTestCase()
    {
        ConfigPage::buildParameterTabs = false;
        // Replies counted per query must not time out on a loaded machine.
        ParamReplyWait::setReplyTimeoutMs(500);
    }
    void threeParametersReportProgress();
    void silentParameter_data();
    void silentParameter();
    void hideOnlyHides();
};

void TestConfigPageLoader::threeParametersReportProgress()
{
    Bench b;
    QVERIFY(b.start());
    b.addParams({Answer, Answer, Answer});
    // A parameter whose feature the firmware lacks is not read.
    b.page->addConfigParam(0x0020, -1);
    qRegisterMetaType<uint32_t>("uint32_t");
    QSignalSpy published(b.page, &ConfigPage::sigConfigParamUpdate);
    QVERIFY(b.startLoad());
    QVERIFY(b.page->parametersLoading);
    QVERIFY(!b.page->startParamLoader()); // one reading at a time
    QVERIFY(b.finished());

    QCOMPARE(b.progress, (QList<int>{33, 66, 100}));
    for (int id : {0x0010, 0x0011, 0x0012}) {
        QVERIFY(b.valid(id));
        QCOMPARE(b.page->paramSlot(id)->value, valueOf(id));
        QCOMPARE(b.queriesFor(id), 1);
    }
    QCOMPARE(b.queriesFor(0x0020), 0);
    QVERIFY(!b.valid(0x0020));
    QVERIFY(b.asker.askedIds.isEmpty());
    // A completed reading closes its dialog and marks the page loaded.
    QTRY_VERIFY(b.page->progressDialog() == nullptr);
    QVERIFY(b.page->configurationLoaded);
    // Of these ids only 0x0010 is followed by other pages.
    QCOMPARE(published.size(), 1);
    QCOMPARE(published.at(0).at(0).toInt(), 0x0010);
    QCOMPARE(published.at(0).at(1).value<uint32_t>(), valueOf(0x0010));
}

void TestConfigPageLoader::silentParameter_data()
{
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QList<int>>("expectedQuestions");
    QTest::addColumn<QList<int>>("expectedQueries");
    QTest::addColumn<bool>("lastRead");
    const int yes = ConfigParamLoader::Yes, all = ConfigParamLoader::YesToAll, cancel = ConfigParamLoader::Cancel;
    // ids 0x10.. in order; the third-try id raises no question.
    QTest::newRow("Yes asks again") << QList<int>{Never, ThirdTry, Never, Answer} << QList<int>{yes, yes}
                                    << QList<int>{0x10, 0x12} << QList<int>{3, 3, 3, 1} << true;
    QTest::newRow("Yes to All asks once") << QList<int>{Never, Answer, Never, Answer} << QList<int>{all}
                                          << QList<int>{0x10} << QList<int>{3, 1, 3, 1} << true;
    QTest::newRow("Cancel ends the reading") << QList<int>{Answer, Never, Answer, Answer} << QList<int>{cancel}
                                             << QList<int>{0x11} << QList<int>{1, 3, 0, 0} << false;
}

void TestConfigPageLoader::silentParameter()
{
    QFETCH(QList<int>, kinds);
    QFETCH(QList<int>, answers);
    QFETCH(QList<int>, expectedQuestions);
    QFETCH(QList<int>, expectedQueries);
    QFETCH(bool, lastRead);
    Bench b;
    QVERIFY(b.start());
    QList<Behaviour> behaviours;
    for (int k : kinds)
        behaviours << Behaviour(k);
    b.addParams(behaviours);
    b.asker.answers = answers;
    QVERIFY(b.startLoad());
    QVERIFY(b.finished());

    QCOMPARE(b.asker.askedIds, expectedQuestions);
    for (int i = 0; i < expectedQueries.size(); ++i)
        QCOMPARE(b.queriesFor(0x10 + i), expectedQueries[i]);
    QCOMPARE(b.valid(0x10 + kinds.size() - 1), lastRead);
    // Either way the dialog goes; only a completed reading counts as loaded.
    QTRY_VERIFY(b.page->progressDialog() == nullptr);
    QCOMPARE(b.page->configurationLoaded, lastRead);
}

void TestConfigPageLoader::hideOnlyHides()
{
    Bench b;
    QVERIFY(b.start());
    b.link.sim.setReplyDelay(40);
    b.addParams({Answer, Answer, Answer, Answer, Answer, Answer});
    QVERIFY(b.startLoad());
    QPointer<QProgressDialog> dialog = b.page->progressDialog();
    QVERIFY(dialog->isVisible());
    QTRY_VERIFY(!b.progress.isEmpty());
    QPushButton* hide = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Hide")
            hide = button;
    QVERIFY(hide);
    hide->click();
    QVERIFY(!dialog->isVisible());
    bool shownAgain = false;
    QElapsedTimer t;
    t.start();
    while (b.page->paramLoader && t.elapsed() < 10000) {
        shownAgain |= dialog && dialog->isVisible();
        QTest::qWait(5);
    }
    QVERIFY(b.finished());
    QVERIFY(!shownAgain);
    for (int id = 0x10; id < 0x16; ++id)
        QVERIFY2(b.valid(id), qPrintable(idText(id)));
}

QTEST_MAIN(TestConfigPageLoader)
#include "tst_configpage_loader.moc"
