// What the configuration tabs show, with the program's own font and style
// sheet, in the main window linked to the control-unit emulator: whatever
// features the unit reports, no two visible widgets of a tab lie on top of
// each other; every editor shows the widest value of its range whole; the
// pictures of the tips are there.
#include "ConfigUnitRig.h"

#include "ConfigParam.h"
#include "ParamConversion.h"
#include "Tip.h"
#include "WidgetFold.h"
#include "myTabWidget.h"

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSpinBox>

using namespace ParamConversion;

namespace {

// The unit's features: the emulator's own, with some added and some taken away.
struct FeatureSet
{
    QList<int> added;
    QList<int> removed;
    bool every = false;
};

} // namespace

Q_DECLARE_METATYPE(FeatureSet)

namespace {

QList<quint32> bitmapOf(const FeatureSet& set)
{
    QList<quint32> words;
    for (int i = 0; i < 8; ++i)
        words << (set.every ? 0xFFFFFFFFu : 0u);
    if (!set.every)
        for (int f : ControlUnitSim::factoryFeatures())
            words[f / 32] |= 1u << (f % 32);
    for (int f : set.added)
        words[f / 32] |= 1u << (f % 32);
    for (int f : set.removed)
        words[f / 32] &= ~(1u << (f % 32));
    return words;
}

QString describe(const QWidget* w)
{
    QString text;
    if (auto* label = qobject_cast<const QLabel*>(w))
        text = label->text();
    else if (auto* button = qobject_cast<const QAbstractButton*>(w))
        text = button->text();
    if (text.isEmpty())
        for (const QObject* o = w; o && text.isEmpty(); o = o->parent())
            text = o->objectName();
    const QRect g = w->geometry();
    return QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
        .arg(w->metaObject()->className(), text.simplified())
        .arg(g.x())
        .arg(g.y())
        .arg(g.width())
        .arg(g.height());
}

void layoutWidgets(QLayout* layout, QList<QWidget*>* out)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* w = item->widget())
            *out << w;
        else if (QLayout* inner = item->layout())
            layoutWidgets(inner, out);
    }
}

// An empty label only holds a row or column open.
bool drawsNothing(const QWidget* w)
{
    const auto* label = qobject_cast<const QLabel*>(w);
    return label && label->text().isEmpty() && label->pixmap(Qt::ReturnByValue).isNull();
}

// Pairs of visible widgets that one layout put on top of each other.
QStringList overlapsIn(QWidget* tab)
{
    QStringList found;
    QList<QWidget*> holders{tab};
    holders << tab->findChildren<QWidget*>();
    for (QWidget* holder : holders) {
        // A fold lays its title strip and arrow over its group box on purpose.
        if (!holder->layout() || !holder->isVisible() || qobject_cast<WidgetFold*>(holder))
            continue;
        QList<QWidget*> placed;
        layoutWidgets(holder->layout(), &placed);
        placed.erase(std::remove_if(placed.begin(), placed.end(),
                                    [](QWidget* w) {
                                        return !w->isVisible() || w->geometry().isEmpty() || drawsNothing(w);
                                    }),
                     placed.end());
        for (int a = 0; a < placed.size(); ++a)
            for (int b = a + 1; b < placed.size(); ++b)
                if (placed[a]->geometry().intersects(placed[b]->geometry()))
                    found << describe(placed[a]) + " / " + describe(placed[b]);
    }
    return found;
}

int cursorLeft(QLineEdit* edit)
{
    return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
}

// Whether a line edit shows text from its first character: QLineEdit scrolls a
// text that does not fit so that the cursor at its end stays in sight.
bool showsWhole(QWidget* painted, QLineEdit* edit, const QString& text)
{
    edit->setText(QString());
    painted->grab();
    const int start = cursorLeft(edit);
    edit->setText(text);
    edit->end(false);
    painted->grab();
    edit->home(false);
    return cursorLeft(edit) >= start;
}

// The smallest width a layout may give the editor.
int narrowest(const QWidget* editor)
{
    return editor->minimumWidth() > 0 ? editor->minimumWidth() : editor->minimumSizeHint().width();
}

} // namespace

class TestConfigTabsLooks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void tabsHaveNoOverlapWhateverTheUnitReports_data();
    void tabsHaveNoOverlapWhateverTheUnitReports();
    void tipPicturesArePresent();
    void everyEditorShowsItsWidestValueWhole();
    void cleanupTestCase() { rig.closeWindow(); }

private:
    bool relink(const FeatureSet& features);
    ConfigUnitRig rig;
};

void TestConfigTabsLooks::initTestCase()
{
    // Dressed as the program dresses itself.
    QFontDatabase::addApplicationFont(QStringLiteral(":/tahoma.ttf"));
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));
    QFile sheet(QStringLiteral(":/stylesheet.css"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));

    QVERIFY(rig.startEmulator());
    rig.sim.holdFactoryConfiguration();
}

// Links the window (built at the first call) to a unit with these features;
// the configuration is read at the first link only.
bool TestConfigTabsLooks::relink(const FeatureSet& features)
{
    const bool first = !rig.window;
    if (!first && !rig.unplug())
        return false;
    rig.sim.setVersion("BMS2", "0000BEEF", "2.1.4.2");
    const QList<quint32> words = bitmapOf(features);
    rig.sim.setFeatureBitmap(words.size() * 32, words);
    if (first) {
        if (!rig.openWindow())
            return false;
    } else if (!rig.sim.reappear()) {
        return false;
    }
    if (!rig.waitLoadQuestion())
        return false;
    if (!first) {
        rig.answerLoadQuestion(QMessageBox::No);
        return true;
    }
    rig.answerLoadQuestion(QMessageBox::Yes);
    return rig.waitLoaded();
}

void TestConfigTabsLooks::tabsHaveNoOverlapWhateverTheUnitReports_data()
{
    QTest::addColumn<FeatureSet>("features");
    QTest::newRow("the emulator's") << FeatureSet{};
    // Both members of every either-or pair, and everything else.
    QTest::newRow("every feature") << FeatureSet{{}, {}, true};
    // One member of each pair alone.
    QTest::newRow("61, 63, 70, 95") << FeatureSet{{61, 63, 70, 95}, {62, 64, 71, 94}};
    QTest::newRow("62, 64, 71, 94") << FeatureSet{{62, 64, 71, 94}, {61, 63, 70, 95}};
}

void TestConfigTabsLooks::tabsHaveNoOverlapWhateverTheUnitReports()
{
    QFETCH(FeatureSet, features);
    QVERIFY(relink(features));
    QListWidget* pages = rig.window->pageList();
    QListWidgetItem* configuration = pages->item(2);
    QTest::mouseClick(pages->viewport(), Qt::LeftButton, {}, pages->visualItemRect(configuration).center());
    QTRY_VERIFY(rig.page->isVisible());

    myTabWidget* tabs = rig.page->tabWidget;
    QStringList overlaps;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        for (const QString& o : overlapsIn(tabs->widget(i)))
            overlaps << tabs->tabText(i) + ": " + o;
    }
    overlaps.removeDuplicates();
    for (const QString& o : overlaps)
        qInfo("%s", qPrintable(o));
    QVERIFY2(overlaps.isEmpty(), qPrintable(overlaps.join("\n")));
}

// After a load every tip is made; a picture it names is in the resources
// (the current sensor type's tip shows one per sensor kind).
void TestConfigTabsLooks::tipPicturesArePresent()
{
    QStringList pictures;
    for (const Tip* tip : rig.window->findChildren<Tip*>()) {
        QRegularExpressionMatchIterator it = QRegularExpression("<img src=\"([^\"]+)\"").globalMatch(tip->text());
        while (it.hasNext())
            pictures << it.next().captured(1);
    }
    QVERIFY2(pictures.size() >= 3, qPrintable(pictures.join(' ')));
    for (const QString& picture : pictures)
        QVERIFY2(!QImage(picture).isNull(), qPrintable(picture));
}

// Each line edit and spin box, at the narrowest its layout may make it, with
// the lowest and the highest value of its range.
void TestConfigTabsLooks::everyEditorShowsItsWidestValueWhole()
{
    QStringList cut;
    int checked = 0;
    for (const ConfigParam* p : rig.page->configParams()) {
        QWidget* editor = p->widget;
        if (!editor)
            continue;
        QLineEdit* edit = qobject_cast<QLineEdit*>(editor);
        auto* spin = qobject_cast<QSpinBox*>(editor);
        QStringList texts;
        switch (p->widgetKind) {
        case LineEdit:
        case ImmediateLineEdit:
            if (p->valueType != TwoChars)
                texts << QString::number(p->minimum, 'f', p->decimals) << QString::number(p->maximum, 'f', p->decimals);
            break;
        case GLineEdit:
            texts << QString::number(p->minimum, 'g', p->decimals) << QString::number(p->maximum, 'g', p->decimals);
            break;
        case HexLineEdit:
            texts << canIdText(p->rawMaximum, p->valueType);
            break;
        case SpinBox:
            edit = spin->findChild<QLineEdit*>();
            texts << spin->prefix() + QString::number(spin->minimum()) + spin->suffix()
                  << spin->prefix() + QString::number(spin->maximum()) + spin->suffix();
            break;
        default:
            break;
        }
        if (texts.isEmpty() || !edit)
            continue;
        const QString before = edit->text();
        editor->resize(narrowest(editor), editor->height());
        for (const QString& text : texts)
            if (!showsWhole(editor, edit, text))
                cut << QStringLiteral("%1: \"%2\" in %3 px").arg(p->name, text).arg(editor->width());
        edit->setText(before);
        ++checked;
    }
    QVERIFY(checked > 0);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
}

QTEST_MAIN(TestConfigTabsLooks)
#include "tst_configtabs_looks.moc"
