#pragma once

#include "FeatureSupportTable.h"
#include "Y5ProtocolHandler.h"

// The unit's feature bitmap as the protocol handler read it.
class HandlerBitmap : public FeatureBitmapSource
{
public:
    explicit HandlerBitmap(const Y5ProtocolHandler& handler) : m_handler(handler) {}
    bool isFeatureBitmapValid() const override { return m_handler.isFeatureBitmapValid(); }
    bool featureBitmapWord(int index, uint32_t* word) const override { return m_handler.featureBitmapWord(index, word); }

private:
    const Y5ProtocolHandler& m_handler;
};
