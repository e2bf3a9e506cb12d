// The page base: the feature registry, the support question and sending.
#include "BasePage.h"
#include "FeatureSupportTable.h"
#include "FeedTransport.h"
#include "TestServices.h"
#include "Y5ProtocolHandler.h"

#include <QTest>

#include <stdexcept>

namespace {

// The unit reports features 3 and 5 only.
class Bitmap : public FeatureBitmapSource
{
public:
    bool isFeatureBitmapValid() const override { return true; }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        *word = index == 0 ? (1u << 3) | (1u << 5) : 0;
        return index < 4;
    }
};

struct Fixture
{
    Bitmap bitmap;
    FeatureSupportTable table{&bitmap};
    FeedTransport transport;
    Y5ProtocolHandler handler{&transport};
    TestServices window;
    QWidget top;
    BasePage* page = new BasePage(nullptr, &transport, &top, &table);

    Fixture()
    {
        window.handler = &handler;
        g_mainWindow = &window;
        top.show();
    }
    ~Fixture() { g_mainWindow = nullptr; }

    // A group (child of the page) and its entries (children of the group).
    QWidget* group(bool keep, const QList<QPair<int, int>>& entries, QList<QWidget*>* widgets = nullptr)
    {
        auto* g = new QWidget(page);
        g->show();
        page->registerFeatureGroup(g, keep);
        for (const auto& e : entries) {
            auto* w = new QWidget(g);
            w->show();
            page->registerFeatureWidget(w, e.first, e.second);
            if (widgets)
                widgets->append(w);
        }
        return g;
    }
};

} // namespace

class TestBasePage : public QObject
{
    Q_OBJECT
private slots:
    void nullTransportIsRefused();
    void groupsFollowTheFirmware();
    void manualEntriesAreNeverShownByTheRegistry();
    void supportQuestionOnlyAnswers();
    void sendingGoesThroughTheHandlerUnlessFirmwareIsWritten();
};

void TestBasePage::nullTransportIsRefused()
{
    QVERIFY_EXCEPTION_THROWN(BasePage(nullptr, nullptr, nullptr, nullptr), std::invalid_argument);
}

void TestBasePage::groupsFollowTheFirmware()
{
    Fixture f;
    QList<QWidget*> shown;
    QWidget* unsupported = f.group(false, {{4, 0}, {-1, 0}});
    QWidget* kept = f.group(true, {{4, 0}});
    QWidget* mixed = f.group(false, {{4, 0}, {3, 0}}, &shown);
    QWidget* empty = f.group(false, {});
    mixed->hide();
    shown.at(1)->hide();
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(unsupported->isHidden());
    QVERIFY(!kept->isHidden());
    QVERIFY(!mixed->isHidden());
    QVERIFY(shown.at(0)->isHidden());
    QVERIFY(!shown.at(1)->isHidden());
    QVERIFY(empty->isHidden());
    QCOMPARE(f.window.relayouts, 1);
}

void TestBasePage::manualEntriesAreNeverShownByTheRegistry()
{
    Fixture f;
    QList<QWidget*> w;
    QWidget* g = f.group(false, {{3, 1}, {4, 1}, {5, 0}}, &w);
    w.at(0)->hide();
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(w.at(0)->isHidden()); // supported, manual: left hidden
    QVERIFY(w.at(1)->isHidden()); // unsupported, manual: hidden
    QVERIFY(!w.at(2)->isHidden());
    QVERIFY(!g->isHidden());
    w.at(0)->show();
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(!w.at(0)->isHidden()); // supported, manual: left shown
}

void TestBasePage::supportQuestionOnlyAnswers()
{
    Fixture f;
    QList<QWidget*> w;
    QWidget* g = f.group(false, {{4, 0}, {5, 0}, {-1, 0}}, &w);
    QWidget* none = f.group(false, {{4, 0}});
    QWidget* empty = f.group(false, {});
    g->hide();
    QVERIFY(!f.page->isWidgetUnsupported(w.at(1)));
    QVERIFY(f.page->isWidgetUnsupported(w.at(0)));
    QVERIFY(f.page->isWidgetUnsupported(w.at(2)));
    QVERIFY(!f.page->isWidgetUnsupported(g));
    QVERIFY(f.page->isWidgetUnsupported(none));
    QVERIFY(f.page->isWidgetUnsupported(empty));
    QWidget stranger;
    QVERIFY(f.page->isWidgetUnsupported(&stranger));
    // Asking changed nothing on screen.
    QVERIFY(g->isHidden());
}

void TestBasePage::sendingGoesThroughTheHandlerUnlessFirmwareIsWritten()
{
    Fixture f;
    f.page->sendSentence("VR1", ",?");
    QCOMPARE(f.transport.written, QByteArray("VR1,?,D7\r"));
    f.transport.written.clear();
    f.handler.updateRunning = true;
    f.page->sendSentence("VR1", ",?");
    QVERIFY(f.transport.written.isEmpty());
    f.handler.updateRunning = false;
    f.page->sendRawSentence("#");
    QCOMPARE(f.transport.written, QByteArray("#"));
    f.transport.written.clear();
    g_mainWindow = nullptr;
    f.page->sendSentence("VR1", ",?");
    QVERIFY(f.transport.written.isEmpty());
}

QTEST_MAIN(TestBasePage)
#include "tst_basepage.moc"
