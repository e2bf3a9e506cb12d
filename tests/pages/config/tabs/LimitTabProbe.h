#pragma once

// Finding the editors and cells of a limit-block group (Protections,
// Warnings, Reductions) on a page built by the fixture.
#include "../ConfigPageFixture.h"

#include "ParamConversion.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QValidator>

#include <initializer_list>

namespace LimitTabProbe {

inline int editorWidth()
{
    return QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999.9  "));
}

inline QGroupBox* groupBox(const PageFixture& f, const QString& title)
{
    for (QGroupBox* box : f.page->findChildren<QGroupBox*>())
        if (box->title() == title)
            return box;
    return nullptr;
}

inline WidgetFold* foldOf(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (auto* fold = qobject_cast<WidgetFold*>(p))
            return fold;
    return nullptr;
}

// The parameter of that name whose editor lies in the group (names repeat
// across tabs).
inline ConfigParam* param(const PageFixture& f, QGroupBox* box, const QString& name)
{
    for (ConfigParam* p : f.page->configParams())
        if (p->name == name && p->widget && box->isAncestorOf(p->widget))
            return p;
    return nullptr;
}

inline QList<ConfigParam*> params(const PageFixture& f, QGroupBox* box)
{
    QList<ConfigParam*> list;
    for (ConfigParam* p : f.page->configParams())
        if (p->widget && box->isAncestorOf(p->widget))
            list << p;
    return list;
}

// The block grids of the group, by block number (their row in the group grid).
inline QList<QGridLayout*> blocks(QGroupBox* box)
{
    auto* group = qobject_cast<QGridLayout*>(box->layout());
    QMap<int, QGridLayout*> byRow;
    for (int i = 0; group && i < group->count(); ++i) {
        auto* grid = qobject_cast<QGridLayout*>(group->itemAt(i)->layout());
        if (!grid)
            continue;
        int row, column, rowSpan, columnSpan;
        group->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        if (column == 1)
            byRow.insert(row, grid);
    }
    return byRow.values();
}

struct Cell
{
    int block = -1;
    int row = -1;
    int column = -1;
    Qt::Alignment alignment;
};

inline Cell cellOf(QGroupBox* box, QWidget* w)
{
    Cell c;
    const QList<QGridLayout*> grids = blocks(box);
    for (int b = 0; b < grids.size(); ++b) {
        const int i = grids.at(b)->indexOf(w);
        if (i < 0)
            continue;
        int rowSpan, columnSpan;
        grids.at(b)->getItemPosition(i, &c.row, &c.column, &rowSpan, &columnSpan);
        c.block = b;
        c.alignment = grids.at(b)->itemAt(i)->alignment();
    }
    return c;
}

inline QList<QWidget*> widgetsAt(QGridLayout* grid, int row, int column)
{
    QList<QWidget*> list;
    for (int i = 0; i < grid->count(); ++i) {
        int r, c, rs, cs;
        grid->getItemPosition(i, &r, &c, &rs, &cs);
        if (r == row && c == column && grid->itemAt(i)->widget())
            list << grid->itemAt(i)->widget();
    }
    return list;
}

inline QString labelText(QGridLayout* grid, int row, int column)
{
    QStringList texts;
    for (QWidget* w : widgetsAt(grid, row, column))
        if (auto* l = qobject_cast<QLabel*>(w))
            texts << l->text();
    return texts.join('|');
}

inline QLabel* label(QGridLayout* grid, int row, int column, const QString& text)
{
    for (QWidget* w : widgetsAt(grid, row, column))
        if (auto* l = qobject_cast<QLabel*>(w))
            if (l->text() == text)
                return l;
    return nullptr;
}

inline QList<QWidget*> blockWidgets(QGridLayout* grid)
{
    QList<QWidget*> list;
    for (int i = 0; i < grid->count(); ++i)
        if (QWidget* w = grid->itemAt(i)->widget())
            list << w;
    return list;
}

// 0: every widget of the block hidden; 1: every one shown; -1 mixed.
inline int blockShown(QGridLayout* grid)
{
    int shown = 0, hidden = 0;
    for (QWidget* w : blockWidgets(grid))
        (w->isHidden() ? hidden : shown)++;
    return hidden == 0 ? 1 : shown == 0 ? 0 : -1;
}

// The unit reports exactly these features in its bitmap; visibility applied.
inline void reportFeatures(PageFixture& f, const QList<int>& features)
{
    f.bitmap.words = QList<quint32>{0, 0, 0, 0, 0, 0};
    for (int id : features)
        f.bitmap.words[id / 32] |= 1u << (id % 32);
    f.page->updateFeatureVisibility(QString());
}

// Each numeric editor can carry its whole range in its id's word, and each
// is a line edit of the given width (or one of the listed exceptions).
inline void checkEditorsFitTheirWords(const PageFixture& f, QGroupBox* box, const QStringList& otherWidths)
{
    const QList<ConfigParam*> list = params(f, box);
    QVERIFY(!list.isEmpty());
    for (const ConfigParam* p : list) {
        if (p->widgetKind == ParamConversion::CheckBox) {
            QVERIFY2(p->bitMask && !(p->bitMask & (p->bitMask - 1)), qPrintable(p->name));
            QVERIFY2(ParamConversion::valueWidth(p->paramId()) == 4, qPrintable(p->name));
            continue;
        }
        QCOMPARE(p->widgetKind, int(ParamConversion::LineEdit));
        QCOMPARE(p->bitMask, 0xFFFFFFFFu);
        const double rawLow = p->minimum / p->scale - p->offset;
        const double rawHigh = p->maximum / p->scale - p->offset;
        QVERIFY2(rawLow >= -0.5, qPrintable(p->name));
        QVERIFY2(rawHigh <= double(ParamConversion::widthMask(p->paramId())) + 0.5, qPrintable(p->name));
        QCOMPARE(p->decimals, ParamConversion::decimalsForScale(p->scale));
        // A fixed width, widened where the range's widest value needs more.
        if (!otherWidths.contains(p->name))
            QVERIFY2(p->widget->minimumWidth() == p->widget->maximumWidth()
                         && p->widget->maximumWidth() >= editorWidth(),
                     qPrintable(p->name));
    }
}

// Types a value into a line edit as the user would (through its validator).
inline bool typeInto(QLineEdit* edit, const QString& text)
{
    QString t = text;
    int pos = 0;
    if (edit->validator() && edit->validator()->validate(t, pos) != QValidator::Acceptable)
        return false;
    edit->setText(text);
    return true;
}

} // namespace LimitTabProbe
