#pragma once

#include "CanLinkServices.h"
#include "CanTunnel.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>

// The link as the CAN jobs see it, without a port: sent sentences are kept
// (and handed to an optional responder), the mode changes answer as told.
class FakeCanLink : public CanLinkServices
{
public:
    bool linked = true;
    bool bitmapValid = true;
    bool canModeWorks = true;
    bool plainModeWorks = true;
    QMap<int, quint32> params;
    QStringList sent;                        // "CN1,<parameters>"
    QList<std::array<quint32, 5>> canModes;  // words of every "CM2" enter
    QList<bool> plainModes;                  // every "CM1" change
    std::function<void(const CanTunnelFrame&)> responder;

    bool canSend() const override { return linked; }
    void sendSentence(const QString& name, const QString& parameters, unsigned) override
    {
        sent.append(name + parameters);
        if (responder) {
            CanTunnelFrame f;
            if (cantunnel::parseLine(name + parameters + QLatin1Char(','), f))
                responder(f);
        }
    }
    bool featureBitmapValid() const override { return bitmapValid; }
    bool setCanConfigMode(bool enter, const std::array<quint32, 5>& words) override
    {
        if (enter)
            canModes.append(words);
        return canModeWorks;
    }
    bool setConfigModeIfConnected(bool enter) override
    {
        plainModes.append(enter);
        return linked && plainModeWorks;
    }
    quint32 paramValue(int id) const override { return params.value(id); }
};
