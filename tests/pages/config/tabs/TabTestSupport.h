#pragma once

// Finding a tab's editors by their parameter names, and firmware features
// reported through the unit's bitmap.
#include <QTest>
#include "../ConfigPageFixture.h"

#include <QLineEdit>

inline ConfigParam* paramNamed(PageFixture& f, const QString& name)
{
    for (ConfigParam* p : f.page->configParams()) {
        if (p->name == name)
            return p;
    }
    return nullptr;
}

inline void reportFeatures(PageFixture& f, const QList<int>& features)
{
    f.bitmap.words.clear();
    for (int i = 0; i < 8; ++i)
        f.bitmap.words << 0u;
    for (int feature : features)
        f.bitmap.words[feature / 32] |= 1u << (feature % 32);
}

inline QString editorText(ConfigParam* p)
{
    auto* edit = qobject_cast<QLineEdit*>(p->widget);
    return edit ? edit->text() : QString();
}

// How a reply shows in the named editor and, when text is typed, the word
// written for it (the row's data of an encodings table).
template <typename Fixture>
void checkEncoding(Fixture& f, const QString& name, quint32 raw, const QString& shown, const QString& typed,
                   const QString& written)
{
    ConfigParam* p = paramNamed(f, name);
    QVERIFY(p);
    f.reply(p->paramId(), raw);
    QCOMPARE(editorText(p), shown);
    if (typed.isEmpty())
        return;
    static_cast<QLineEdit*>(p->widget)->setText(typed);
    f.page->submitParam(p);
    QCOMPARE(f.lastWrite(), written);
}
