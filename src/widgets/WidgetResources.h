#pragma once

// The kit's pictures live in a static library, so its resource bundle has to
// be registered by hand before the first use. Safe to call any number of times.
void initWidgetResources();
