#include "WidgetResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must not be used inside a namespace.
static void registerBundle()
{
    Q_INIT_RESOURCE(widgets);
}

void initWidgetResources()
{
    static const bool done = (registerBundle(), true);
    Q_UNUSED(done);
}
