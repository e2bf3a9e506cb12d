#pragma once

// What a Statistics page needs around it in a test: the main window's
// services with a protocol handler, a feature table whose device bitmap the
// test sets, the root sentence map and scripted boxes.
#include "../../params/FeatureSetBitmap.h"
#include "Communicator.h"
#include "FeatureSupportTable.h"
#include "HeldBox.h"
#include "SentenceMaps.h"
#include "StatisticsPage.h"
#include "Y5ProtocolHandler.h"
#include "../TestServices.h"

#include <QSet>
#include <QStringList>

#include <memory>

using FeatureBits = FeatureSetBitmap;

// The handler's stored version line, set as the link handshake would.
class VersionedHandler : public Y5ProtocolHandler
{
public:
    using Y5ProtocolHandler::Y5ProtocolHandler;
    void setVersion(const QString& line)
    {
        const QStringList f = line.split(',');
        setVersionFields(line, f.value(1), f.value(2), f.value(3));
    }
};

struct StatisticsFixture
{
    FeatureBits bits;
    FeatureSupportTable features{&bits};
    CSntcMap map;
    TestServices services;
    QStringList questions;
    bool answer = true;
    QStringList criticals;
    std::unique_ptr<StatisticsPage> page;

    StatisticsFixture(Communicator* comm, Y5ProtocolHandler* handler)
    {
        services.handler = handler;
        g_mainWindow = &services;
        page = std::make_unique<StatisticsPage>(&map, comm, nullptr, &features);
        StatisticsPage::Dialogs d;
        d.confirm = [this](const QString& text) {
            testkit::holdLikeABox();
            questions << text;
            return answer;
        };
        d.critical = [this](const QString& title, const QString& text) {
            testkit::holdLikeABox();
            criticals << title + "|" + text;
        };
        page->setDialogs(d);
    }
    ~StatisticsFixture()
    {
        page.reset();
        g_mainWindow = nullptr;
    }
};
