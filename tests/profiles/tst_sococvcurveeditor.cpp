// The SOC-OCV curve window: the checks of every edited cell, adding and
// removing points, the resets and what a commit hands out.
#include "SOCOCVCurveEditWidget.h"
#include "ScriptedDialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "ToolTipPlot.h"

using PointMap = SOCOCVCurveEditWidget::PointMap;
Q_DECLARE_METATYPE(PointMap)

namespace {

struct Editor
{
    ScriptedDialogs dialogs;
    QList<PointMap> commits;
    SOCOCVCurveEditWidget w{32, [this](const PointMap& m) { commits << m; }};

    explicit Editor(const PointMap& points)
    {
        w.setDialogs(&dialogs);
        w.setPoints(points);
    }
    QTableWidget* t() const { return w.table(); }
    // What the table's delegate does when the user finishes typing a cell.
    void type(int row, int column, const QString& text)
    {
        t()->model()->setData(t()->model()->index(row, column), text);
    }
    int rowOf(int soc) const
    {
        for (int r = 0; r < t()->rowCount(); ++r) {
            if (t()->item(r, 0) && t()->item(r, 0)->text() == QString::number(soc))
                return r;
        }
        return -1;
    }
    QString text(int row, int column) const
    {
        return t()->item(row, column) ? t()->item(row, column)->text() : QString();
    }
    // A new row with its SOC accepted; returns the row.
    int newPoint(int soc)
    {
        w.insertPoint();
        const int row = t()->rowCount() - 1;
        type(row, 0, QString::number(soc));
        return rowOf(soc);
    }
};

const PointMap kFourPoints = {{0, 2.8}, {40, 3.30}, {60, 3.35}, {100, 3.6}};

} // namespace

class TestSocOcvCurveEditor : public QObject
{
    Q_OBJECT
private slots:
    void defaultsAndGivenPointsAreShown();
    void ocvIsCheckedAgainstItsNeighbours_data();
    void ocvIsCheckedAgainstItsNeighbours();
    void socIsCheckedForDuplicatesAndRange_data();
    void socIsCheckedForDuplicatesAndRange();
    void aRefusedOcvKeepsTheStoredPoint();
    void aClearedCellKeepsTheStoredPoint();
    void aMovedPointStaysUntilItFitsAtItsNewSoc();
    void anOcvTypedBeforeItsSocWaitsForIt();
    void aPointWithoutOcvIsNotCommitted();
    void zeroAndFullCannotBeRemoved();
    void zeroAndFullKeepTheirSoc();
    void insertStopsAtTheMaximum();
    void anEmptyInsertedRowCanBeRemoved();
    void deleteKeyRemovesSelectedPoints();
    void resetsBringBackGivenAndDefaultPoints();
};

void TestSocOcvCurveEditor::defaultsAndGivenPointsAreShown()
{
    Editor e(kFourPoints);
    QCOMPARE(e.w.defaultPoints().size(), 27);
    QCOMPARE(e.w.defaultPoints().firstKey(), 0);
    QCOMPARE(e.w.defaultPoints().lastKey(), 100);
    QCOMPARE(e.w.defaultPoints().value(97), 3.3639);
    QCOMPARE(e.t()->rowCount(), 4);
    QCOMPARE(e.text(1, 0), QString("40"));
    QCOMPARE(e.text(1, 1), QString("3.300"));
    QCOMPARE(e.t()->item(1, 1)->data(Qt::UserRole).toInt(), 40);
    QCOMPARE(e.w.plot()->graph(0)->data()->size(), 4);
    QVERIFY(!e.w.modifiedCurve());
    QVERIFY(!e.w.isModified());
    QCOMPARE(e.w.windowTitle(), QString("Reference SOC-OCV Dependency Curve of Cell"));
    QVERIFY(e.w.isHidden());

    // A smaller maximum takes only the first slots of the default table.
    SOCOCVCurveEditWidget small(10, {});
    QCOMPARE(small.defaultPoints().size(), 10);
}

void TestSocOcvCurveEditor::ocvIsCheckedAgainstItsNeighbours_data()
{
    QTest::addColumn<PointMap>("given");
    QTest::addColumn<int>("soc");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("warning"); // empty: accepted
    const QString range("Voltage out of range|Voltage is out of neighboring soc voltage range %1");
    QTest::newRow("comma is a decimal point") << kFourPoints << 50 << "3,32" << QString();
    QTest::newRow("equal to lower neighbour") << kFourPoints << 50 << "3.30" << range.arg("3.3000V to 3.3500V");
    QTest::newRow("equal to upper neighbour") << kFourPoints << 50 << "3.35" << range.arg("3.3000V to 3.3500V");
    QTest::newRow("not a number") << kFourPoints << 50 << "abc" << range.arg("3.3000V to 3.3500V");
    const PointMap low = {{0, 2.8}, {50, 3.3}};
    QTest::newRow("4.55 at the top") << low << 100 << "4.55" << QString();
    QTest::newRow("4.56 at the top") << low << 100 << "4.56" << range.arg("3.3000V to 4.5500V");
    QTest::newRow("infinity at the top") << low << 100 << "inf" << range.arg("3.3000V to 4.5500V");
    const PointMap high = {{50, 3.3}, {100, 3.6}};
    QTest::newRow("2.0 at the bottom") << high << 0 << "2.0" << QString();
    QTest::newRow("1.99 at the bottom") << high << 0 << "1.99" << range.arg("2.0000V to 3.3000V");
}

void TestSocOcvCurveEditor::ocvIsCheckedAgainstItsNeighbours()
{
    QFETCH(PointMap, given);
    QFETCH(int, soc);
    QFETCH(QString, typed);
    QFETCH(QString, warning);
    Editor e(given);
    const int row = e.newPoint(soc);
    QVERIFY(row >= 0);
    QVERIFY(!(e.t()->item(row, 0)->flags() & Qt::ItemIsEditable)); // the SOC is fixed now
    e.type(row, 1, typed);
    const int after = e.rowOf(soc);
    if (warning.isEmpty()) {
        QVERIFY2(e.dialogs.warnings.isEmpty(), qPrintable(e.dialogs.warnings.join('\n')));
        QCOMPARE(e.w.modifiedPoints().value(soc), QString(typed).replace(',', '.').toDouble());
        QCOMPARE(e.text(after, 1), QString(typed).replace(',', '.'));
        QCOMPARE(e.t()->item(after, 1)->data(Qt::UserRole).toInt(), soc);
        QCOMPARE(e.w.modifiedCurve()->data()->size(), given.size() + 1);
    } else {
        QCOMPARE(e.dialogs.warnings, QStringList{warning});
        QVERIFY(!e.w.modifiedPoints().contains(soc));
        QCOMPARE(e.text(after, 1), QString());
    }
}

void TestSocOcvCurveEditor::socIsCheckedForDuplicatesAndRange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("warning");
    QTest::newRow("duplicate") << "40" << "Duplicated SoC value|Trying to add already existing soc: 40%%";
    QTest::newRow("above 100") << "101" << "Incorrect SoC value|SOC value should be in range from 0 to 100";
    QTest::newRow("negative") << "-1" << "Incorrect SoC value|SOC value should be in range from 0 to 100";
    QTest::newRow("not a number reads 0") << "x" << "Duplicated SoC value|Trying to add already existing soc: 0%%";
}

void TestSocOcvCurveEditor::socIsCheckedForDuplicatesAndRange()
{
    QFETCH(QString, typed);
    QFETCH(QString, warning);
    Editor e(kFourPoints);
    e.w.insertPoint();
    e.type(4, 0, typed);
    QCOMPARE(e.dialogs.warnings, QStringList{warning});
    QCOMPARE(e.text(4, 0), QString());
    QVERIFY(e.t()->item(4, 0)->flags() & Qt::ItemIsEditable); // open for another try
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
}

void TestSocOcvCurveEditor::aRefusedOcvKeepsTheStoredPoint()
{
    Editor e(kFourPoints);
    e.type(e.rowOf(40), 1, "3.40"); // above its upper neighbour
    QCOMPARE(e.dialogs.warnings.size(), 1);
    QCOMPARE(e.w.modifiedPoints(), kFourPoints); // still there for a commit
    QCOMPARE(e.text(e.rowOf(40), 1), QString("3.300"));

    e.type(e.rowOf(40), 1, "3.31");
    QCOMPARE(e.w.modifiedPoints().value(40), 3.31);
    QCOMPARE(e.w.modifiedPoints().size(), 4);
    e.w.commitChanges();
    QCOMPARE(e.commits.size(), 1);
    QCOMPARE(e.commits.first().value(40), 3.31);
}

void TestSocOcvCurveEditor::aClearedCellKeepsTheStoredPoint()
{
    Editor e(kFourPoints);
    e.type(e.rowOf(60), 1, "");
    e.type(e.rowOf(60), 0, "");
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
    QCOMPARE(e.text(e.rowOf(60), 1), QString("3.350"));
    QVERIFY(e.dialogs.warnings.isEmpty());

    // Moving a point to a free SOC keeps its OCV when it fits there.
    e.type(e.rowOf(60), 0, "70");
    QVERIFY(!e.w.modifiedPoints().contains(60));
    QCOMPARE(e.w.modifiedPoints().value(70), 3.35);
}

void TestSocOcvCurveEditor::aMovedPointStaysUntilItFitsAtItsNewSoc()
{
    Editor e(kFourPoints);
    // 3.35 V does not fit between 0 % (2.8 V) and 40 % (3.30 V).
    e.type(e.rowOf(60), 0, "30");
    QCOMPARE(e.dialogs.warnings,
             QStringList{"Voltage out of range|Voltage is out of neighboring soc voltage range 2.8000V to 3.3000V"});
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
    const int row = e.rowOf(60);
    QVERIFY(row >= 0);
    QCOMPARE(e.text(row, 1), QString("3.350"));
    QVERIFY(e.t()->item(row, 0)->flags() & Qt::ItemIsEditable); // open for another try
    e.w.commitChanges();
    QCOMPARE(e.commits, QList<PointMap>{kFourPoints});

    // Where it fits, it moves; its old place is no neighbour of its new one.
    e.type(row, 0, "50");
    QCOMPARE(e.w.modifiedPoints(), (PointMap{{0, 2.8}, {40, 3.30}, {50, 3.35}, {100, 3.6}}));
    QCOMPARE(e.dialogs.warnings.size(), 1);
}

void TestSocOcvCurveEditor::anOcvTypedBeforeItsSocWaitsForIt()
{
    Editor e(kFourPoints);
    e.w.insertPoint();
    e.type(4, 1, "2.9"); // no SOC yet: must not land on the 0 % point
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
    const int row = [&]() {
        for (int r = 0; r < e.t()->rowCount(); ++r)
            if (e.text(r, 0).isEmpty())
                return r;
        return -1;
    }();
    QVERIFY(row >= 0);
    e.type(row, 0, "20");
    QCOMPARE(e.w.modifiedPoints().value(20), 2.9);
    QCOMPARE(e.w.modifiedPoints().size(), 5);
}

void TestSocOcvCurveEditor::aPointWithoutOcvIsNotCommitted()
{
    Editor e(kFourPoints);
    e.newPoint(50);
    QVERIFY(e.w.isModified());
    QVERIFY(e.w.modifiedCurve());
    e.w.commitChanges();
    QCOMPARE(e.commits, QList<PointMap>{kFourPoints});
    QCOMPARE(e.w.pointCount(), 4);
}

void TestSocOcvCurveEditor::zeroAndFullCannotBeRemoved()
{
    Editor e(kFourPoints);
    auto* sel = e.t()->selectionModel();
    sel->select(e.t()->model()->index(e.rowOf(0), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel->select(e.t()->model()->index(e.rowOf(40), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    e.w.removeSelectedPoints();
    QCOMPARE(e.dialogs.warnings, QStringList{"Not allowed to remove|SoC 0% and 100% can't be removed, only modified"});
    QCOMPARE(e.w.modifiedPoints().keys(), (QList<int>{0, 60, 100}));
    QCOMPARE(e.t()->rowCount(), 3);
    QVERIFY(e.rowOf(0) >= 0);
    QCOMPARE(e.w.modifiedCurve()->data()->size(), 3);
    QVERIFY(!e.w.removeButton()->isEnabled());
}

void TestSocOcvCurveEditor::zeroAndFullKeepTheirSoc()
{
    Editor e(kFourPoints);
    e.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.w));
    auto openEditors = [&e]() {
        int n = 0;
        for (QLineEdit* editor : e.t()->viewport()->findChildren<QLineEdit*>())
            n += editor->isVisible();
        return n;
    };
    auto doubleClick = [&e](int row, int column) {
        // The press a double click begins with, then the double click.
        const QRect cell = e.t()->visualRect(e.t()->model()->index(row, column));
        QTest::mouseClick(e.t()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::mouseDClick(e.t()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    };
    // Another point's SOC opens for editing (it may move) ...
    doubleClick(e.rowOf(40), 0);
    QCOMPARE(openEditors(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_COMPARE(openEditors(), 0);
    // ... the ends' do not, and a SOC given to them all the same is refused.
    for (int soc : {0, 100}) {
        doubleClick(e.rowOf(soc), 0);
        QCOMPARE(openEditors(), 0);
        e.type(e.rowOf(soc), 0, "50");
        QCOMPARE(e.dialogs.warnings.last(),
                 QString("Not allowed to remove|SoC 0% and 100% can't be removed, only modified"));
        QVERIFY(e.rowOf(soc) >= 0);
    }
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
    // Their OCV can be modified.
    doubleClick(e.rowOf(0), 1);
    QCOMPARE(openEditors(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    e.type(e.rowOf(0), 1, "2.5");
    e.type(e.rowOf(100), 1, "4.2");
    QCOMPARE(e.w.modifiedPoints(), (PointMap{{0, 2.5}, {40, 3.30}, {60, 3.35}, {100, 4.2}}));
}

void TestSocOcvCurveEditor::insertStopsAtTheMaximum()
{
    PointMap full;
    for (int i = 0; i < 31; ++i)
        full.insert(i, 3.0 + i * 0.01);
    Editor e(full);
    QVERIFY(e.w.insertButton()->isEnabled());
    e.w.insertPoint();
    QCOMPARE(e.t()->rowCount(), 32);
    QVERIFY(!e.w.insertButton()->isEnabled());
    e.w.insertPoint();
    QCOMPARE(e.t()->rowCount(), 32);

    e.t()->selectRow(e.rowOf(5));
    e.w.removeSelectedPoints();
    QCOMPARE(e.t()->rowCount(), 31);
    QVERIFY(e.w.insertButton()->isEnabled());

    e.w.setPoints(full);
    e.w.insertPoint();
    QVERIFY(!e.w.insertButton()->isEnabled());
    e.w.resetPoints();
    QCOMPARE(e.t()->rowCount(), 31);
    QVERIFY(e.w.insertButton()->isEnabled());
}

void TestSocOcvCurveEditor::anEmptyInsertedRowCanBeRemoved()
{
    Editor e(kFourPoints);
    e.w.insertPoint(); // selects the new row
    e.w.removeSelectedPoints();
    QCOMPARE(e.t()->rowCount(), 4);
    QVERIFY(e.dialogs.warnings.isEmpty());
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
}

void TestSocOcvCurveEditor::deleteKeyRemovesSelectedPoints()
{
    Editor e(kFourPoints);
    // Without the focus the key is swallowed and nothing goes.
    e.t()->selectRow(e.rowOf(60));
    QTest::keyClick(e.t(), Qt::Key_Delete);
    QCOMPARE(e.t()->rowCount(), 4);

    e.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.w));
    e.w.activateWindow();
    e.t()->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(e.t()->hasFocus(), 5000);
    e.t()->selectRow(e.rowOf(60));
    QTest::keyClick(e.t(), Qt::Key_Delete);
    QCOMPARE(e.t()->rowCount(), 3);
    QVERIFY(!e.w.modifiedPoints().contains(60));
}

void TestSocOcvCurveEditor::resetsBringBackGivenAndDefaultPoints()
{
    Editor e(kFourPoints);
    e.w.resetToDefaults();
    QCOMPARE(e.w.modifiedPoints(), e.w.defaultPoints());
    QCOMPARE(e.t()->rowCount(), 27);
    QCOMPARE(e.w.modifiedCurve()->data()->size(), 27);
    QCOMPARE(e.w.plot()->graph(0)->data()->size(), 4); // curve 0 keeps the given points
    QVERIFY(e.w.isModified());

    e.w.resetPoints();
    QCOMPARE(e.w.modifiedPoints(), kFourPoints);
    QVERIFY(!e.w.modifiedCurve());
    QVERIFY(!e.w.isModified());
    QCOMPARE(e.t()->rowCount(), 4);
    QVERIFY(e.dialogs.warnings.isEmpty()); // the refills were not taken for edits
}

QTEST_MAIN(TestSocOcvCurveEditor)
#include "tst_sococvcurveeditor.moc"
