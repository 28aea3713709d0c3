#include "resources.h"

#include <QtCore/qglobal.h>

static void initResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
}

namespace dv {

void initResources()
{
    // Pictures live in a static library; naming the initializer keeps the linker
    // from dropping them.
    static const bool done = (initResourcesOnce(), true);
    (void)done;
}

} // namespace dv
