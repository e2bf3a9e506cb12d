#pragma once

#include <QString>

#include <array>
#include <functional>

class Y5ProtocolHandler;

// What the CAN jobs need of the sentence link and of the configuration.
class CanLinkServices
{
public:
    virtual ~CanLinkServices() = default;
    // Linked, and the control unit's own firmware transfer is not running.
    virtual bool canSend() const = 0;
    virtual void sendSentence(const QString& name, const QString& parameters, unsigned delayMs) = 0;
    // The unit sent its parameter-support bitmap, so it takes "CM2".
    virtual bool featureBitmapValid() const = 0;
    // Both wait for the unit while processing the caller's events.
    virtual bool setCanConfigMode(bool enter, const std::array<quint32, 5>& words) = 0;
    virtual bool setConfigModeIfConnected(bool enter) = 0;
    // A configuration parameter's value as last read or written; 0 unknown.
    virtual quint32 paramValue(int id) const = 0;
};

// The services through a protocol handler and a parameter source. By
// default both come from the main window (its handler, the configuration
// page's values).
class HandlerCanLink : public CanLinkServices
{
public:
    HandlerCanLink();
    HandlerCanLink(std::function<Y5ProtocolHandler*()> handler, std::function<quint32(int)> params);

    bool canSend() const override;
    void sendSentence(const QString& name, const QString& parameters, unsigned delayMs) override;
    bool featureBitmapValid() const override;
    bool setCanConfigMode(bool enter, const std::array<quint32, 5>& words) override;
    bool setConfigModeIfConnected(bool enter) override;
    quint32 paramValue(int id) const override;

private:
    std::function<Y5ProtocolHandler*()> handler_;
    std::function<quint32(int)> params_;
};
