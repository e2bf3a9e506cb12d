#include "CanLinkServices.h"

#include "ConfigPage.h"
#include "MainWindowServices.h"
#include "Y5ProtocolHandler.h"

HandlerCanLink::HandlerCanLink()
    : HandlerCanLink([] { return g_mainWindow ? g_mainWindow->protocolHandler() : nullptr; },
                     [](int id) -> quint32 {
                         ConfigPage* page = g_mainWindow ? g_mainWindow->configPage() : nullptr;
                         return page ? page->getParamValue(id) : 0;
                     })
{
}

HandlerCanLink::HandlerCanLink(std::function<Y5ProtocolHandler*()> handler, std::function<quint32(int)> params)
    : handler_(std::move(handler)), params_(std::move(params))
{
}

bool HandlerCanLink::canSend() const
{
    Y5ProtocolHandler* h = handler_ ? handler_() : nullptr;
    return h && h->isConnected() && !h->isFirmwareUpdating();
}

void HandlerCanLink::sendSentence(const QString& name, const QString& parameters, unsigned delayMs)
{
    if (Y5ProtocolHandler* h = handler_ ? handler_() : nullptr)
        h->sendSentence(name, parameters, delayMs);
}

bool HandlerCanLink::featureBitmapValid() const
{
    Y5ProtocolHandler* h = handler_ ? handler_() : nullptr;
    return h && h->isFeatureBitmapValid();
}

bool HandlerCanLink::setCanConfigMode(bool enter, const std::array<quint32, 5>& w)
{
    Y5ProtocolHandler* h = handler_ ? handler_() : nullptr;
    return h && h->setCanConfigMode(enter, w[0], w[1], w[2], w[3], w[4]);
}

bool HandlerCanLink::setConfigModeIfConnected(bool enter)
{
    Y5ProtocolHandler* h = handler_ ? handler_() : nullptr;
    return h && h->setConfigModeIfConnected(enter);
}

quint32 HandlerCanLink::paramValue(int id) const
{
    return id > 0 && params_ ? params_(id) : 0;
}
