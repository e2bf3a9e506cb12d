#pragma once

// A configuration page without a unit: written words are recorded, the
// version line and the unit's feature bitmap are set by the test.
#include "Communicator.h"
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "HeldBox.h"
#include "SentenceMaps.h"
#include "Y5ProtocolHandler.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTest>

#include <memory>

struct FakeBitmap : FeatureBitmapSource
{
    QList<quint32> words;
    bool isFeatureBitmapValid() const override { return !words.isEmpty(); }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        if (index < 0 || index >= words.size())
            return false;
        *word = words.at(index);
        return true;
    }
};

struct VersionedHandler : Y5ProtocolHandler
{
    using Y5ProtocolHandler::Y5ProtocolHandler;
    // "VR1,<kind>,<serial>,<version>"
    void setVersionLine(const QString& line)
    {
        const QStringList f = line.split(',');
        setVersionFields(line, f.value(1), f.value(2), f.value(3));
    }
};

struct PageFixture
{
    CSntcMap map;
    Communicator comm;
    VersionedHandler handler{&comm};
    FakeBitmap bitmap;
    FeatureSupportTable features{&bitmap};
    std::unique_ptr<ConfigPage> page;
    QList<QPair<int, quint32>> writes;
    int modalBoxes = 0;

    PageFixture()
    {
        page.reset(new ConfigPage(&map, &comm, nullptr, &features));
        page->setProtocolHandler(&handler);
        page->setParamWriter([this](int id, uint32_t word) {
            writes << qMakePair(id, quint32(word));
            return true;
        });
        page->setModalBoxRunner([this](QMessageBox*) {
            testkit::holdLikeABox();
            ++modalBoxes;
        });
        // Editing is allowed at level 2 on the default firmware (feature 14).
        page->accessLevel = 2;
    }
    ~PageFixture() { page.reset(); }

    // What a data row may have changed, back to how a new page has it: no
    // values (as a lost link leaves them), no features, no version, level 2,
    // nothing recorded and none of the row's hooks (they capture its locals).
    void resetForRow()
    {
        page->setModalBoxRunner([this](QMessageBox*) {
            testkit::holdLikeABox();
            ++modalBoxes;
        });
        page->setSohVisibility(nullptr);
        page->setSplitterConfigStarter(nullptr);
        page->setCanSpeedChange(nullptr);
        handler.setVersionLine(QString());
        bitmap.words.clear();
        // The link-loss reset refreshes every editor: only when there is
        // something to undo.
        bool touched = page->isConnected() || page->configurationLoaded || page->isUnitGenerationKnown();
        for (ConfigParam* p : page->configParams())
            touched = touched || (p->slot && (p->slot->valid || p->slot->pending));
        if (touched)
            page->setConnected(false);
        page->chargingState = 0;
        page->accessLevel = 2;
        page->unsetCursor();
        writes.clear();
        modalBoxes = 0;
    }

    // The unit reports a value.
    void reply(int id, quint32 value, int digits = 8)
    {
        page->receiveSentence(QString("CF2,%1,%2").arg(id, 4, 16, QChar('0')).arg(value, digits, 16, QChar('0')).toUpper());
    }
    QString lastWrite() const
    {
        if (writes.isEmpty())
            return QString();
        return QString::asprintf("%04X=%X", writes.last().first, writes.last().second);
    }
};

// The tabs' own editors, for tests of rules that live on them; the other
// tests see the page machinery alone.
struct WithParameterTabs
{
    bool was = ConfigPage::buildParameterTabs;
    WithParameterTabs() { ConfigPage::buildParameterTabs = true; }
    ~WithParameterTabs() { ConfigPage::buildParameterTabs = was; }
};

// Building the page with its tabs is the costliest part of a test, so the data
// rows of one test function share one page: call startRow() from the test's
// init(). A new row gets the page reset (Fixture::resetForRow), a new test
// function a new page, built at its first get().
template <typename Fixture>
class PagePerFunction
{
public:
    void startRow()
    {
        const QByteArray function(QTest::currentTestFunction());
        if (function != m_function) {
            m_fixture.reset();
            m_function = function;
        } else if (m_fixture) {
            m_fixture->resetForRow();
        }
    }
    Fixture& get()
    {
        if (!m_fixture)
            m_fixture.reset(new Fixture);
        return *m_fixture;
    }
    void release()
    {
        m_fixture.reset();
        m_function.clear();
    }

private:
    std::unique_ptr<Fixture> m_fixture;
    QByteArray m_function;
};
