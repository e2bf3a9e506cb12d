#include "LabelToggleSwitch.h"
#include "ToggleButton.h"
#include "ToggleSwitch.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

class TestToggles : public QObject
{
    Q_OBJECT
private slots:

    void newSwitchIsOffAndGrey()
    {
        ToggleSwitch s;
        QCOMPARE(s.size(), QSize(46, 24));
        QCOMPARE(s.sizeHint(), QSize(42, 24));
        QVERIFY(!s.state());
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        QCOMPARE(s.thumbX(), 9);
        const QImage img = s.grab().toImage();
        // Track right of the thumb, thumb in the middle of the off end.
        QCOMPARE(img.pixelColor(38, 12), QColor("#C1C1C1"));
        QCOMPARE(img.pixelColor(14, 12), QColor("#FFFFFF"));
    }

    void clicksSlideTheThumb()
    {
        ToggleSwitch s;
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        QSignalSpy toggled(&s, &ToggleSwitch::toggled);

        QTest::mouseClick(&s, Qt::LeftButton);
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        QVERIFY(s.state());
        // 19 steps of 10 ms, not a jump.
        QVERIFY(s.thumbX() < 28);
        QTRY_VERIFY(!s.isSliding());
        QCOMPARE(s.thumbX(), 28);
        QCOMPARE(s.grab().toImage().pixelColor(8, 12), QColor("#6ecff7"));

        QTest::mouseClick(&s, Qt::LeftButton);
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(toggled.at(1).at(0).toBool(), false);
        QTRY_VERIFY(!s.isSliding());
        QCOMPARE(s.thumbX(), 9);
    }

    void rightButtonAndBlockedSwitchDoNothing()
    {
        ToggleSwitch s;
        s.show();
        QSignalSpy toggled(&s, &ToggleSwitch::toggled);
        QTest::mouseClick(&s, Qt::RightButton);
        QCOMPARE(toggled.count(), 0);
        QVERIFY(!s.state());
        s.setBlocked(true);
        QTest::mouseClick(&s, Qt::LeftButton);
        QCOMPARE(toggled.count(), 0);
        QVERIFY(!s.state());
    }

    void setStateSlidesSilentlyAndResizeKeepsTheEnd()
    {
        ToggleSwitch s;
        s.show();
        QSignalSpy toggled(&s, &ToggleSwitch::toggled);
        s.setState(true);
        QTRY_COMPARE(s.thumbX(), 28);
        QCOMPARE(toggled.count(), 0);
        // A resize draws an "on" switch at its on end.
        s.setFixedSize(60, 24);
        QCOMPARE(s.thumbX(), 60 - 18);
    }

    void labelSwitchSignals()
    {
        LabelToggleSwitch l("Enable Bluetooth");
        QCOMPARE(l.text(), QString("Enable Bluetooth"));
        QSignalSpy state(&l, &LabelToggleSwitch::stateChanged);
        QSignalSpy text(&l, &LabelToggleSwitch::textChanged);

        l.setState(LabelToggleSwitch::on);
        QCOMPARE(state.count(), 1);
        QCOMPARE(state.at(0).at(0).value<LabelToggleSwitch::SwitchState>(), LabelToggleSwitch::on);
        QCOMPARE(l.state(), LabelToggleSwitch::on);

        l.moveSlider(LabelToggleSwitch::off);
        QCOMPARE(state.count(), 1);
        QCOMPARE(l.state(), LabelToggleSwitch::off);

        l.show();
        QVERIFY(QTest::qWaitForWindowExposed(&l));
        QTest::mouseClick(l.toggleSwitch(), Qt::LeftButton);
        QCOMPARE(state.count(), 2);
        QCOMPARE(state.at(1).at(0).value<LabelToggleSwitch::SwitchState>(), LabelToggleSwitch::on);

        l.setText("Enable Bluetooth");
        l.setText("Off");
        QCOMPARE(text.count(), 2);
        QCOMPARE(text.at(0), QVariantList({"Enable Bluetooth", "Enable Bluetooth"}));
        QCOMPARE(text.at(1), QVariantList({"Enable Bluetooth", "Off"}));
    }

    void labelSwitchFontStylesTheLabelOnly()
    {
        QFont f("DejaVu Sans", 11);
        LabelToggleSwitch l("Name", f);
        QCOMPARE(l.label()->styleSheet(), QString("QLabel {font-size: 11pt; font-family: 'DejaVu Sans';}"));
        QCOMPARE(l.QWidget::font(), QWidget().font());
    }

    void toggleButtonFlipsTexts()
    {
        ToggleButton b("Connect", "Disconnect");
        QCOMPARE(b.text(), QString("Connect"));
        QSignalSpy clicked(&b, QOverload<ToggleButton::State>::of(&ToggleButton::clicked));
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(b.text(), QString("Disconnect"));
        QCOMPARE(b.state, ToggleButton::on);
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(b.text(), QString("Connect"));
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(clicked.at(0).at(0).value<ToggleButton::State>(), ToggleButton::on);
        QCOMPARE(clicked.at(1).at(0).value<ToggleButton::State>(), ToggleButton::off);
    }
};

QTEST_MAIN(TestToggles)
#include "tst_toggles.moc"
