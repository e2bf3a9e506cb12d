#pragma once

// What a Status page needs around it in a test: the main window's services
// (a protocol handler, nothing else), a feature table whose device bitmap the
// test sets, the root sentence map and a transport.

#include "../../params/FeatureSetBitmap.h"
#include "Communicator.h"
#include "FeatureSupportTable.h"
#include "HeldBox.h"
#include "SentenceMaps.h"
#include "StatusPage.h"
#include "Y5ProtocolHandler.h"
#include "../TestServices.h"

#include <QSet>

#include <memory>

using TestBitmap = FeatureSetBitmap;

struct StatusFixture
{
    TestBitmap bitmap;
    FeatureSupportTable features{&bitmap};
    CSntcMap map;
    TestServices services;
    bool loading = false;
    std::unique_ptr<StatusPage> page;

    // comm: the transport the page holds; handler: the one sends go through.
    StatusFixture(Communicator* comm, Y5ProtocolHandler* handler)
    {
        services.handler = handler;
        g_mainWindow = &services;
        page = std::make_unique<StatusPage>(&map, comm, nullptr, &features);
        StatusPage::Hooks h;
        h.parametersLoading = [this]() { return loading; };
        h.askObsoleteFirmware = []() {
            testkit::holdLikeABox();
            return false;
        };
        h.closeMainWindow = []() { return false; };
        h.restartTransport = []() {};
        page->setHooks(h);
    }
    ~StatusFixture()
    {
        page.reset();
        g_mainWindow = nullptr;
    }
};
