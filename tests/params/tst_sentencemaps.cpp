#include "Param.h"
#include "SentenceMaps.h"

#include <QTest>

#include <memory>
#include <vector>

namespace {

// Records each call as "tag|name|index|text|field;field;...".
class Recorder : public Param
{
public:
    Recorder(QString tag, QStringList* log) : m_tag(std::move(tag)), m_log(log) {}
    void updateValue(const QString& name, int fieldIndex, const QString& fieldText,
                     const QStringList& fields) override
    {
        m_log->append(m_tag + '|' + name + '|' + QString::number(fieldIndex) + '|' + fieldText + '|' +
                      fields.join(';'));
    }

private:
    QString m_tag;
    QStringList* m_log;
};

} // namespace

class TestSentenceMaps : public QObject
{
    Q_OBJECT

private slots:
    void dispatch_data();
    void dispatch();
    void sameParamTwiceIsCalledTwiceInOrder();
    void namesAreThePollList();
};

void TestSentenceMaps::dispatch_data()
{
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("fields, empty field, whole sentence first")
        << "ST1,1A,,3"
        << QStringList{"W|ST1|-1|1A,,3|ST1;1A;;3", "F0|ST1|0|1A|ST1;1A;;3", "F1|ST1|1||ST1;1A;;3",
                       "F2|ST1|2|3|ST1;1A;;3"};
    QTest::newRow("name alone: empty rest, one empty field")
        << "VR1" << QStringList{"VW|VR1|-1||VR1;", "V0|VR1|0||VR1;"};
    QTest::newRow("two empty fields") << "ABC,," << QStringList{"A0|ABC|0||ABC;;", "A1|ABC|1||ABC;;"};
    QTest::newRow("fewer fields than registered")
        << "ST1,1,2" << QStringList{"W|ST1|-1|1,2|ST1;1;2", "F0|ST1|0|1|ST1;1;2", "F1|ST1|1|2|ST1;1;2"};
    QTest::newRow("trailing comma ends with an empty field 4")
        << "ST1,1,2,3,4,"
        << QStringList{"W|ST1|-1|1,2,3,4,|ST1;1;2;3;4;", "F0|ST1|0|1|ST1;1;2;3;4;", "F1|ST1|1|2|ST1;1;2;3;4;",
                       "F2|ST1|2|3|ST1;1;2;3;4;"};
    QTest::newRow("empty field 5 reaches its handler")
        << "ST1,1,2,3,4,5,"
        << QStringList{"W|ST1|-1|1,2,3,4,5,|ST1;1;2;3;4;5;", "F0|ST1|0|1|ST1;1;2;3;4;5;",
                       "F1|ST1|1|2|ST1;1;2;3;4;5;", "F2|ST1|2|3|ST1;1;2;3;4;5;", "F5|ST1|5||ST1;1;2;3;4;5;"};
    QTest::newRow("names are case-sensitive") << "st1,5" << QStringList{};
    QTest::newRow("unknown name dropped") << "XYZ,1,2" << QStringList{};
    QTest::newRow("empty line") << "" << QStringList{};
    QTest::newRow("comma only: empty name") << "," << QStringList{};
    QTest::newRow("name that only starts like a registered one") << "ST1X,1" << QStringList{};
}

void TestSentenceMaps::dispatch()
{
    QFETCH(QString, sentence);
    QFETCH(QStringList, calls);

    QStringList log;
    std::vector<std::unique_ptr<Recorder>> params;
    CSntcMap map;
    auto reg = [&](const char* tag, const QString& name, int index) {
        params.push_back(std::make_unique<Recorder>(tag, &log));
        map.addHandler(name, index, params.back().get());
    };
    // Registered out of field order: dispatch still serves ascending fields.
    reg("F5", "ST1", 5);
    reg("F2", "ST1", 2);
    reg("F0", "ST1", 0);
    reg("W", "ST1", -1);
    reg("F1", "ST1", 1);
    reg("NEG", "ST1", -3); // stored, never reached
    reg("VW", "VR1", -1);
    reg("V0", "VR1", 0);
    reg("A0", "ABC", 0);
    reg("A1", "ABC", 1);

    map.dispatch(sentence);
    QCOMPARE(log, calls);
}

void TestSentenceMaps::sameParamTwiceIsCalledTwiceInOrder()
{
    QStringList log;
    Recorder a("a", &log), b("b", &log);
    CSntcMap map;
    map.addHandler("ST1", 0, &a);
    map.addHandler("ST1", 0, &b);
    map.addHandler("ST1", 0, &a);
    map.addHandler("SS1", 0, &a); // the same parameter under another name
    map.dispatch("ST1,7");
    QCOMPARE(log, (QStringList{"a|ST1|0|7|ST1;7", "b|ST1|0|7|ST1;7", "a|ST1|0|7|ST1;7"}));
    log.clear();
    map.dispatch("SS1,8");
    QCOMPARE(log, (QStringList{"a|SS1|0|8|SS1;8"}));
}

void TestSentenceMaps::namesAreThePollList()
{
    QStringList log;
    Recorder a("a", &log);
    CSntcMap map;
    QVERIFY(map.sentenceNames().isEmpty());
    map.addHandler("ST1", 3, &a);
    map.addHandler("CV1", -1, &a);
    map.addHandler("ST1", 4, &a);
    QStringList names = map.sentenceNames();
    names.sort();
    QCOMPARE(names, (QStringList{"CV1", "ST1"}));
    QVERIFY(map.contains("CV1"));
    QVERIFY(!map.contains("cv1"));
}

QTEST_APPLESS_MAIN(TestSentenceMaps)
#include "tst_sentencemaps.moc"
