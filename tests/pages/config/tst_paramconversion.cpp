// Between unit words and the numbers and texts the editors show.
#include "ConfigParam.h"
#include "ParamConversion.h"

#include <QTest>

#include <cstring>

using namespace ParamConversion;

class TestParamConversion : public QObject
{
    Q_OBJECT
private slots:
    void decimals_data();
    void decimals();
    void shownAndBack_data();
    void shownAndBack();
    void negativeRawReadsBack_data();
    void negativeRawReadsBack();
    void floatWords();
    void widths_data();
    void widths();
    void texts();
};

void TestParamConversion::decimals_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("decimals");
    QTest::newRow("1") << 1.0 << 0;
    QTest::newRow("0.1") << 0.1 << 1;
    QTest::newRow("0.01") << 0.01 << 2;
    QTest::newRow("single-precision 0.01") << 0.00999999977648258 << 2;
    QTest::newRow("0.0001") << 0.0001 << 4;
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("100/255") << 100.0 / 255.0 << 0;
    QTest::newRow("1e-12 capped") << 1e-12 << 11;
    QTest::newRow("1000 floored") << 1000.0 << 0;
    QTest::newRow("1e-7") << 1e-7 << 7;
    QTest::newRow("zero scale") << 0.0 << 0;
}

void TestParamConversion::decimals()
{
    QFETCH(double, scale);
    QFETCH(int, decimals);
    QCOMPARE(decimalsForScale(scale), decimals);
}

// shown = (offset + (word & mask)) x scale held in [min, max]; back: the
// number held in [min, max], / scale - offset, rounded half away from zero.
void TestParamConversion::shownAndBack_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("word");
    QTest::addColumn<double>("shown");
    QTest::addColumn<double>("typed");
    QTest::addColumn<uint>("raw");
    QTest::newRow("cell voltage") << 200 << 0.01 << 2.0 << 4.55 << 0xFFFFFFFFu << 123u << 3.23 << 3.5 << 150u;
    QTest::newRow("single-precision scale reads back")
        << 200 << 0.00999999977648258 << 2.0 << 4.55 << 0xFFFFFFFFu << 123u << 3.23 << 3.23 << 123u;
    QTest::newRow("temperature offset") << -100 << 1.0 << -100.0 << 155.0 << 0xFFFFFFFFu << 0u << -100.0 << -20.0
                                        << 80u;
    QTest::newRow("below minimum shows minimum") << 0 << 0.1 << 0.1 << 25.5 << 0xFFFFFFFFu << 0u << 0.1 << 0.0
                                                 << 1u;
    QTest::newRow("above maximum is held") << 0 << 1.0 << 0.0 << 100.0 << 0xFFFFFFFFu << 250u << 100.0 << 900.0
                                           << 100u;
    QTest::newRow("check box bit") << 0 << 1.0 << -1.0 << 1.0 << 0x2u << 0x6u << 1.0 << -1.0 << 0xFFFFFFFFu;
    QTest::newRow("half rounds away from zero") << 0 << 0.5 << 0.0 << 100.0 << 0xFFFFFFFFu << 0u << 0.0 << 1.25
                                                << 3u;
}

void TestParamConversion::shownAndBack()
{
    QFETCH(int, offset);
    QFETCH(double, scale);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(uint, mask);
    QFETCH(uint, word);
    QFETCH(double, shown);
    QFETCH(double, typed);
    QFETCH(uint, raw);
    ConfigParam p;
    p.offset = offset;
    p.scale = scale;
    p.minimum = minimum;
    p.maximum = maximum;
    p.bitMask = mask;
    QVERIFY(qAbs(shownValue(p, word, false) - shown) < 1e-6);
    QCOMPARE(rawFromValue(p, typed, false), raw);
}

// A range reaching below the offset's value writes negative raw values as
// two's complement of the id's width: those words read back signed. Ranges
// that start at the offset's value stay unsigned.
void TestParamConversion::negativeRawReadsBack_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("typed");
    QTest::addColumn<uint>("word"); // as the unit stores it
    QTest::newRow("coefficient") << 0x2A08 << 0 << 0.01 << -0.05 << 0.05 << -0.02 << 0xFFFFFFFEu;
    QTest::newRow("coefficient at its end") << 0x2A04 << 0 << 0.1 << -0.5 << 0.5 << -0.5 << 0xFFFFFFFBu;
    QTest::newRow("whole-byte check box") << 0x0C88 << 0 << 1.0 << -1.0 << 1.0 << -1.0 << 0xFFu;
    QTest::newRow("byte temperature stays unsigned") << 0x0014 << -100 << 1.0 << -100.0 << 155.0 << 100.0 << 200u;
}

void TestParamConversion::negativeRawReadsBack()
{
    QFETCH(int, id);
    QFETCH(int, offset);
    QFETCH(double, scale);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, typed);
    QFETCH(uint, word);
    ConfigParamSlot slot;
    slot.id = id;
    ConfigParam p;
    p.slot = &slot;
    p.offset = offset;
    p.scale = scale;
    p.minimum = minimum;
    p.maximum = maximum;
    QCOMPARE(rawFromValue(p, typed, false) & widthMask(id), word);
    QVERIFY(qAbs(shownValue(p, word, false) - typed) < 1e-9);
    p.slot = nullptr;
}

// Float words hold single-precision bits; the scale is not applied.
void TestParamConversion::floatWords()
{
    ConfigParam p;
    p.scale = 1e-7;
    p.minimum = -1000;
    p.maximum = 1000;
    const float f = 1.5f;
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    QCOMPARE(shownValue(p, bits, true), 1.5);
    QCOMPARE(rawFromValue(p, 1.5, true), bits);
}

void TestParamConversion::widths_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<uint>("mask");
    QTest::newRow("byte") << 0x0C88 << 0xFFu;
    QTest::newRow("two bytes") << 0x0111 << 0xFFFFu;
    QTest::newRow("four bytes") << 0x1600 << 0xFFFFFFFFu;
    QTest::newRow("code 3 never written") << 0x0300 << 0u;
}

void TestParamConversion::widths()
{
    QFETCH(int, id);
    QFETCH(uint, mask);
    QCOMPARE(widthMask(id), mask);
}

void TestParamConversion::texts()
{
    QCOMPARE(twoCharsValue("km"), 0x6B6Du);
    QCOMPARE(twoCharsText(0x6D69), QString("mi"));
    QCOMPARE(twoCharsValue(QString::fromUtf8("\u20ACm")), 0x6Du); // a code above 255 counts 0
    QCOMPARE(twoCharsValue(""), 0u);
    QCOMPARE(canIdText(0x12345, CanId13), QString("0x2345"));
    QCOMPARE(canIdText(0x18FF0000, CanId29), QString("0x18FF0000"));
    uint32_t v = 1;
    QVERIFY(parseCanIdText("0x7FF", &v));
    QCOMPARE(v, 0x7FFu);
    QVERIFY(parseCanIdText("", &v));
    QCOMPARE(v, 0u);
    QVERIFY(!parseCanIdText("0xZZ", &v));
    double d = 0;
    QVERIFY(parseDecimalText("3,5", &d));
    QCOMPARE(d, 3.5);
    QVERIFY(!parseDecimalText("abc", &d));
}

QTEST_GUILESS_MAIN(TestParamConversion)
#include "tst_paramconversion.moc"
