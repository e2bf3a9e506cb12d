#pragma once

// A device bitmap that reports exactly the features a test names.
#include "FeatureSupportTable.h"

#include <QSet>

class FeatureSetBitmap : public FeatureBitmapSource
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
