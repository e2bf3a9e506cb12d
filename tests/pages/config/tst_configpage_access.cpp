// Access levels from the unit's "PW1" replies, what each level enables, and
// the login, logout and set-password actions against the emulator.
#include "ConfigPageFixture.h"

#include "ScriptedPrompter.h"
#include "SimLink.h"
#include "Tip.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {


struct LinkBench
{
    SimLink link;
    CSntcMap map;
    FeatureSupportTable features;
    testkit::ScriptedPrompter prompter;
    std::unique_ptr<ConfigPage> page;

    bool start()
    {
        if (!link.start() || !link.waitLinked())
            return false;
        page.reset(new ConfigPage(&map, link.comm, nullptr, &features));
        page->setProtocolHandler(&link.handler);
        page->setPrompter(&prompter);
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        // A completed load: connected. Its access-level query is answered
        // before the test starts.
        page->passwordReplyState = 7;
        page->finishLoading();
        QElapsedTimer t;
        t.start();
        while (page->passwordReplyState == 7 && t.elapsed() < 10000)
            QTest::qWait(10);
        link.sim.clearReceived();
        return true;
    }
    bool waitLevel(int level)
    {
        QElapsedTimer t;
        t.start();
        while (page->accessLevel != level && t.elapsed() < 10000)
            QTest::qWait(10);
        return page->accessLevel == level;
    }
};

} // namespace

class TestConfigPageAccess : public QObject
{
    Q_OBJECT
private slots:
    // The page machinery alone: no tab declares parameters.
    void initTestCase() { ConfigPage::buildParameterTabs = false; }
    void levels_data();
    void levels();
    void passwordReplies();
    void notConnectedDisablesEverything();
    void chargerIdEditorsNeedTheManualFlag();
    void loginLevelByLevel();
    void authenticationFailedIsToldAtTheNextLogin();
    void setPassword();
};

void TestConfigPageAccess::levels_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("logout");
    QTest::addColumn<QString>("setPassword");
    QTest::addColumn<bool>("loginEnabled");
    QTest::addColumn<bool>("logoutEnabled");
    QTest::addColumn<bool>("editorEnabled");
    const QString two = "VR1,BMS2,1,2.5.0", one = "VR1,BMS1,1,2.0.10";
    QTest::newRow("two-level 0") << two << "PW1,0" << 0 << "Login to access level 1" << "Logout..."
                                 << "Set password..." << true << false << false;
    QTest::newRow("empty reply is 0") << two << "PW1," << 0 << "Login to access level 1" << "Logout..."
                                      << "Set password..." << true << false << false;
    QTest::newRow("two-level 1") << two << "PW1,1" << 1 << "Login to access level 2" << "Logout of access level 1"
                                 << "Set level 1 password" << true << true << false;
    QTest::newRow("two-level 2") << two << "PW1,2" << 2 << "Login..." << "Logout of access level 2"
                                 << "Set level 2 password" << false << true << true;
    QTest::newRow("one-level 0") << one << "PW1,0" << 0 << "Login..." << "Logout..." << "Set password..." << true
                                 << false << false;
    QTest::newRow("one-level 1") << one << "PW1,1" << 1 << "Login..." << "Logout..." << "Set password..." << false
                                 << true << true;
}

void TestConfigPageAccess::levels()
{
    QFETCH(QString, version);
    QFETCH(QString, line);
    QFETCH(int, level);
    QFETCH(QString, login);
    QFETCH(QString, logout);
    QFETCH(QString, setPassword);
    QFETCH(bool, loginEnabled);
    QFETCH(bool, logoutEnabled);
    QFETCH(bool, editorEnabled);
    PageFixture f;
    f.handler.setVersionLine(version);
    f.comm.linked = true;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> editor(f.page->createParamWidget("P", 1, 0x0004, 2, 2.0, 4.55, 200, 0.01, &p));
    f.page->finishLoading(); // a completed load: connected
    f.reply(0x0004, 0x7B);
    f.page->accessLevel = 2;
    f.page->receiveSentence(line);
    QCOMPARE(f.page->accessLevel, level);
    QCOMPARE(f.page->loginButton->text(), login);
    QCOMPARE(f.page->logoutButton->text(), logout);
    QCOMPARE(f.page->setPasswordButton->text(), setPassword);
    QCOMPARE(f.page->loginButton->isEnabled(), loginEnabled);
    QCOMPARE(f.page->logoutButton->isEnabled(), logoutEnabled);
    QCOMPARE(f.page->setPasswordButton->isEnabled(), logoutEnabled);
    QCOMPARE(f.page->loadButton->isEnabled(), logoutEnabled);
    QVERIFY(f.page->saveButton->isEnabled());
    QCOMPARE(editor->isEnabled(), editorEnabled);
    // The value is still shown at every level.
    QCOMPARE(static_cast<QLineEdit*>(editor.get())->text(), QString("3.23"));
}

void TestConfigPageAccess::passwordReplies()
{
    PageFixture f;
    f.page->finishLoading(); // a completed load: connected
    f.page->receiveSentence("PW1,1");
    const QString loginText = f.page->loginButton->text();
    struct Case { const char* line; int state; };
    for (Case c : {Case{"PW1,2", 2}, Case{"PW1,?", 3}, Case{"PW2,1", 4}, Case{"PW2,0", 5}, Case{"PW2,X", 5},
                   Case{"PW1,0", 0}}) {
        f.page->receiveSentence(c.line);
        QCOMPARE(f.page->passwordReplyState, c.state);
    }
    // "PW2" replies leave the buttons alone.
    f.page->receiveSentence("PW1,1");
    f.page->receiveSentence("PW2,1");
    f.page->receiveSentence("PW2,0");
    QCOMPARE(f.page->loginButton->text(), loginText);
    QCOMPARE(f.page->accessLevel, 1);
}

void TestConfigPageAccess::notConnectedDisablesEverything()
{
    PageFixture f;
    auto* action = new QPushButton("Defaults...", f.page.get());
    f.page->actionButtons << action;
    f.page->receiveSentence("PW1,2");
    for (QPushButton* b : f.page->securityButtons)
        QVERIFY(!b->isEnabled());
    QVERIFY(!action->isEnabled());
    f.page->finishLoading(); // a completed load: connected
    QVERIFY(action->isEnabled());
    f.page->setConnected(false);
    QVERIFY(!action->isEnabled());
}

void TestConfigPageAccess::chargerIdEditorsNeedTheManualFlag()
{
    PageFixture f;
    f.page->finishLoading(); // a completed load: connected
    ConfigParam* manual = nullptr;
    std::unique_ptr<QWidget> box(f.page->createParamWidget("BF73", 7, 0x1608, 2, -1, 1, 0, 1, &manual));
    manual->bitMask = 0x200;
    std::unique_ptr<QWidget> id(f.page->createParamWidget("TX", 2, 0x1A3A, 16, 0, 0x1FFFFFFF, 0, 1));
    f.page->receiveSentence("PW1,2");
    f.reply(0x1608, 0);
    f.reply(0x1A3A, 0x18FF50E5);
    QVERIFY(!id->isEnabled());
    QVERIFY(box->isEnabled());
    f.reply(0x1608, 0x200);
    QVERIFY(f.page->manualChargerIdControl);
    QVERIFY(id->isEnabled());
    f.page->receiveSentence("PW1,1");
    QVERIFY(!id->isEnabled());
}

void TestConfigPageAccess::loginLevelByLevel()
{
    LinkBench b;
    QVERIFY(b.start());
    b.page->receiveSentence("PW1,0");
    b.prompter.passwords = QStringList{"1111"};
    b.page->loginButton->click();
    QVERIFY(b.waitLevel(1));
    QCOMPARE(b.prompter.prompts.last(), QString("Enter login password|BMS Level 1 password:"));
    QCOMPARE(b.page->loginButton->text(), QString("Login to access level 2"));
    b.prompter.passwords = QStringList{"2222"};
    b.page->loginButton->click();
    QVERIFY(b.waitLevel(2));
    QCOMPARE(b.prompter.prompts.last(), QString("Enter login password|BMS Level 2 password:"));
    QVERIFY(b.link.handler.loginAnswered);
    // At level 2 a login asks and sends nothing.
    b.link.sim.clearReceived();
    b.page->slotLoginPressed();
    QCOMPARE(b.prompter.prompts.size(), 2);
    // Cancel sends nothing either, and a password with a comma is refused.
    b.page->receiveSentence("PW1,1");
    b.prompter.passwords = QStringList{QString(), "22,22"};
    b.page->slotLoginPressed();
    b.page->slotLoginPressed();
    QCOMPARE(b.prompter.messages.size(), 1);
    QVERIFY(b.page->rememberedPassword.isEmpty());
    b.page->logoutButton->click();
    QVERIFY(b.link.sim.waitForSentence("PW1,", 10000));
    QVERIFY(b.waitLevel(0));
    for (const QString& s : b.link.sim.goodSentences())
        QVERIFY2(!s.startsWith("PW1,2") && !s.startsWith("PW1,22"), qPrintable(s));
}

void TestConfigPageAccess::authenticationFailedIsToldAtTheNextLogin()
{
    LinkBench b;
    QVERIFY(b.start());
    b.page->receiveSentence("PW1,0");
    b.page->rememberedPassword = "1111";
    b.page->slotAuthenticationFailed();
    b.prompter.passwords = QStringList{QString()};
    b.page->slotLoginPressed();
    QCOMPARE(b.prompter.messages, QStringList{"Authentication failed!\nPlease check your password and try again."});
    QVERIFY(b.page->rememberedPassword.isEmpty());
    QVERIFY(!b.page->authenticationFailed);
    // During a firmware update the remembered password goes without asking.
    b.page->setUpdateInProgressProbe([] { return true; });
    b.page->rememberedPassword = "1111";
    b.page->slotLoginPressed();
    QVERIFY(b.waitLevel(1));
    QCOMPARE(b.prompter.prompts.size(), 1);
}

void TestConfigPageAccess::setPassword()
{
    LinkBench b;
    QVERIFY(b.start());
    b.page->receiveSentence("PW1,0");
    b.prompter.passwords = QStringList{"1111"};
    b.page->loginButton->click();
    QVERIFY(b.waitLevel(1));
    b.prompter.passwords = QStringList{"abc", "ab,cd", "abcde", "abcdf", "abcde", "abcde"};
    b.page->setPasswordButton->click();
    QCOMPARE(b.prompter.messages.size(), 3);
    QCOMPARE(b.prompter.messages.at(0),
             QString("Password must be between 4 to 8 charcters.\nEmpty string disables password."));
    QCOMPARE(b.prompter.messages.at(2), QString("Passwords don't match. Enter again"));
    // The unit gets the password alone and sets it for the level logged in at.
    QVERIFY(b.link.sim.waitForSentence("PW2,abcde", 10000));
    QTRY_COMPARE_WITH_TIMEOUT(b.page->passwordReplyState, 4, 10000);
    QCOMPARE(b.link.sim.password(1), QString("abcde"));
    QCOMPARE(b.link.sim.password(2), QString("2222"));
    QCOMPARE(b.page->rememberedPassword, QString("abcde"));
    QCOMPARE(b.prompter.messages.size(), 3);

    // Logged out, the new password logs in again; the old one no longer does.
    b.page->logoutButton->click();
    QVERIFY(b.waitLevel(0));
    b.link.sim.clearReceived();
    b.page->passwordReplyState = 7;
    b.prompter.passwords = QStringList{"1111"};
    b.page->loginButton->click();
    QVERIFY(b.link.sim.waitForSentence("PW1,1111", 10000));
    QTRY_COMPARE_WITH_TIMEOUT(b.page->passwordReplyState, 0, 10000);
    QCOMPARE(b.page->accessLevel, 0);
    b.prompter.passwords = QStringList{"abcde"};
    b.page->loginButton->click();
    QVERIFY(b.waitLevel(1));

    // A refused change is told and not remembered.
    b.link.sim.setPasswordChangesRefused(true);
    b.prompter.passwords = QStringList{"wxyz1", "wxyz1"};
    b.page->setPasswordButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(b.page->passwordReplyState, 5, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(b.prompter.messages.size(), 4, 10000);
    QCOMPARE(b.prompter.messages.last(), QString("The BMS refused the new password.\nThe password was not changed."));
    QCOMPARE(b.page->rememberedPassword, QString("abcde"));
    QCOMPARE(b.link.sim.password(1), QString("abcde"));

    // Cancel at the second question sends nothing.
    b.link.sim.clearReceived();
    b.prompter.passwords = QStringList{"wxyz", QString()};
    b.page->setPasswordButton->click();
    QTest::qWait(200);
    for (const QString& s : b.link.sim.goodSentences())
        QVERIFY2(!s.startsWith("PW2"), qPrintable(s));
}

QTEST_MAIN(TestConfigPageAccess)
#include "tst_configpage_access.moc"
