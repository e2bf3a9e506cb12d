#pragma once

// Finding a tab's editors and driving them as the user would, for the
// Controls, I/O Pins and Master/Slave tab tests.
#include "ConfigPageFixture.h"
#include "myTabWidget.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QValidator>

#include <initializer_list>

namespace TabTest {

// The editor of the id on the tab (with the given mask, 0: any).
inline ConfigParam* paramOn(const PageFixture& f, const QWidget* tab, int id, uint32_t mask = 0)
{
    const ConfigParamSlot* slot = f.page->paramSlot(id);
    if (!slot)
        return nullptr;
    for (ConfigParam* p : slot->params)
        if (p->widget && tab->isAncestorOf(p->widget) && (mask == 0 || p->bitMask == mask))
            return p;
    return nullptr;
}

// The tab page of the title.
inline QWidget* tabPage(const PageFixture& f, const QString& title)
{
    for (int i = 0; i < f.page->tabWidget->count(); ++i)
        if (f.page->tabWidget->tabText(i) == title)
            return f.page->tabWidget->widget(i);
    return nullptr;
}

// A unit whose feature bitmap holds exactly these features.
inline void setFeatures(PageFixture& f, std::initializer_list<int> features)
{
    QList<quint32> words;
    for (int i = 0; i < 8; ++i)
        words << 0u;
    for (int feature : features)
        words[feature / 32] |= 1u << (feature % 32);
    f.bitmap.words = words;
}

// What a typed text leaves behind, committed by the next focus change.
inline void typeAndCommit(PageFixture& f, ConfigParam* p, const QString& text)
{
    static_cast<QLineEdit*>(p->widget)->setText(text);
    p->editState = ConfigPage::Edited;
    f.page->commitEditedParams(nullptr, nullptr);
}

inline bool accepts(ConfigParam* p, QString text)
{
    const QValidator* v = static_cast<QLineEdit*>(p->widget)->validator();
    int pos = 0;
    return v && v->validate(text, pos) == QValidator::Acceptable;
}

} // namespace TabTest
