#pragma once

// What a Status page needs around it in a test: the main window's services
// (a protocol handler, nothing else), a feature table whose device bitmap the
// test sets, the root sentence map and a transport.

#include "Communicator.h"
#include "FeatureSupportTable.h"
#include "SentenceMaps.h"
#include "StatusPage.h"
#include "Y5ProtocolHandler.h"
#include "../TestServices.h"

#include <QSet>

#include <memory>

// A device bitmap that reports exactly the features a test names.
class TestBitmap : public FeatureBitmapSource
{
public:
    QSet<int> features;
    bool isFeatureBitmapValid() const override { return true; }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        if (index < 0 || index >= 8)
            return false;
        uint32_t w = 0;
        for (int f : features)
            if (f / 32 == index)
                w |= 1u << (f % 32);
        *word = w;
        return true;
    }
};

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
        h.askObsoleteFirmware = []() { return false; };
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
