#include "RangeRegExp.h"

#include <QRandomGenerator>
#include <QRegExp>
#include <QRegExpValidator>
#include <QTest>

class TestRangeRegExp : public QObject
{
    Q_OBJECT
private:
    // The value v / 10^d written with exactly d decimals and the given separator.
    static QString format(qint64 v, int d, QChar sep)
    {
        QString s = QString::number(v).rightJustified(d + 1, '0');
        if (d > 0)
            s.insert(s.size() - d, sep);
        return s;
    }

private slots:
    void workedExamples_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("accepted");
        QTest::addColumn<QStringList>("rejected");
        QTest::newRow("0..255") << 0.0 << 255.0 << 0
                                << "[0-9]|[1-9][0-9]|1[0-9][0-9]|2[0-4][0-9]|25[0-5]"
                                << QStringList{"0", "9", "10", "99", "100", "199", "249", "250", "255"}
                                << QStringList{"256", "300", "007", "00", "-1", "1000", ""};
        QTest::newRow("255..0") << 255.0 << 0.0 << 0
                                << "[0-9]|[1-9][0-9]|1[0-9][0-9]|2[0-4][0-9]|25[0-5]" << QStringList{"0", "255"}
                                << QStringList{"256"};
        QTest::newRow("12..345") << 12.0 << 345.0 << 0
                                 << "1[2-9]|[2-9][0-9]|[1-2][0-9][0-9]|3[0-3][0-9]|34[0-5]"
                                 << QStringList{"12", "19", "20", "99", "100", "299", "300", "345"}
                                 << QStringList{"11", "346", "350", "0", "9", "012"};
        QTest::newRow("9..16") << 9.0 << 16.0 << 0 << "9|1[0-6]" << QStringList{"9", "10", "16"}
                               << QStringList{"8", "17", "19"};
        QTest::newRow("1..100") << 1.0 << 100.0 << 0 << "[1-9]|[1-9][0-9]|100"
                                << QStringList{"1", "9", "10", "99", "100"} << QStringList{"0", "101", "01"};
        QTest::newRow("5..5") << 5.0 << 5.0 << 0 << "5" << QStringList{"5"} << QStringList{"4", "6", "55"};
        QTest::newRow("2.00..4.55") << 2.0 << 4.55 << 2
                                    << "[2-3](\\.|\\,)[0-9][0-9]|4(\\.|\\,)[0-4][0-9]|4(\\.|\\,)5[0-5]"
                                    << QStringList{"2.00", "2,00", "3.99", "4.49", "4.55", "4,55"}
                                    << QStringList{"1.99", "4.56", "4,56", "5.00", "2.5", "2", "2.000", "2;00"};
        QTest::newRow("1.00..3.55") << 1.0 << 3.55 << 2
                                    << "[1-2](\\.|\\,)[0-9][0-9]|3(\\.|\\,)[0-4][0-9]|3(\\.|\\,)5[0-5]"
                                    << QStringList{"1.00", "2,99", "3.55"} << QStringList{"0.99", "3.56"};
        QTest::newRow("0.05..0.20") << 0.05 << 0.20 << 2
                                    << "0(\\.|\\,)0[5-9]|0(\\.|\\,)1[0-9]|0(\\.|\\,)20"
                                    << QStringList{"0.05", "0,10", "0.20"} << QStringList{"0.04", "0.21", ".05"};
        QTest::newRow("0..1 (3)") << 0.0 << 1.0 << 3
                                  << "0(\\.|\\,)00[0-9]|0(\\.|\\,)0[1-9][0-9]|0(\\.|\\,)[1-9][0-9][0-9]|1(\\.|\\,)000"
                                  << QStringList{"0.000", "0.010", "0,999", "1.000"}
                                  << QStringList{"1.001", "0.0001", "00.000"};
        QTest::newRow("0..0.5 (1)") << 0.0 << 0.5 << 1 << "0(\\.|\\,)[0-5]" << QStringList{"0.0", "0,5"}
                                    << QStringList{"0.6", "0"};
    }
    void workedExamples()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(int, decimals);
        QFETCH(QString, pattern);
        QFETCH(QStringList, accepted);
        QFETCH(QStringList, rejected);
        QRegExp exp;
        buildRangeRegExp(&exp, min, max, decimals);
        QCOMPARE(exp.pattern(), pattern);
        for (const QString& s : accepted)
            QVERIFY2(exp.exactMatch(s), qPrintable(s));
        for (const QString& s : rejected)
            QVERIFY2(!exp.exactMatch(s), qPrintable(s));
    }

    void negativeBoundLeavesTheExpression_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::newRow("-100..155") << -100.0 << 155.0;
        QTest::newRow("155..-100") << 155.0 << -100.0;
        QTest::newRow("too large") << 0.0 << 1e18;
    }
    void negativeBoundLeavesTheExpression()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QRegExp exp("keep", Qt::CaseInsensitive);
        buildRangeRegExp(&exp, min, max, 0);
        QCOMPARE(exp.pattern(), QString("keep"));
        QCOMPARE(exp.caseSensitivity(), Qt::CaseInsensitive);
    }

    void validatorSeesShortDecimalsAsIntermediate()
    {
        QRegExp exp;
        buildRangeRegExp(&exp, 2.0, 4.55, 2);
        QRegExpValidator v(exp);
        int pos = 0;
        QString partial("2.5");
        QCOMPARE(v.validate(partial, pos), QValidator::Intermediate);
        QString full("2,50");
        QCOMPARE(v.validate(full, pos), QValidator::Acceptable);
        QString outside("4.56");
        QVERIFY(v.validate(outside, pos) != QValidator::Acceptable);
    }

    // For random ranges, the expression accepts exactly the numbers in range:
    // every value with up to as many digits as the upper bound, and a sample
    // of values with one digit more.
    void randomRangesAcceptExactlyTheRange()
    {
        QRandomGenerator rng(20261210);
        for (int round = 0; round < 100; ++round) {
            const int d = rng.bounded(4);
            const qint64 a = rng.bounded(d == 0 ? 3000 : 1000);
            const qint64 b = rng.bounded(d == 0 ? 3000 : 1000);
            const qint64 lo = qMin(a, b);
            const qint64 hi = qMax(a, b);
            double scale = 1;
            for (int i = 0; i < d; ++i)
                scale *= 10;
            QRegExp exp;
            buildRangeRegExp(&exp, a / scale, b / scale, d);
            qint64 limit = 10;
            while (limit <= hi)
                limit *= 10;
            QList<qint64> values;
            for (qint64 v = 0; v < limit; ++v)
                values << v;
            for (int i = 0; i < 50; ++i)
                values << limit + rng.bounded(int(9 * limit));
            for (qint64 v : qAsConst(values)) {
                const bool inRange = v >= lo && v <= hi;
                for (QChar sep : {QChar('.'), QChar(',')}) {
                    const QString text = format(v, d, sep);
                    if (exp.exactMatch(text) != inRange)
                        QFAIL(qPrintable(QString("range %1..%2 (%3 decimals), pattern %4: %5 %6")
                                             .arg(lo).arg(hi).arg(d).arg(exp.pattern(), text,
                                                                         inRange ? "rejected" : "accepted")));
                    if (d == 0)
                        break;
                }
            }
            // Leading zeros never match.
            if (d == 0 && lo > 0)
                QVERIFY(!exp.exactMatch("0" + QString::number(lo)));
        }
    }
};

QTEST_MAIN(TestRangeRegExp)
#include "tst_rangeregexp.moc"
