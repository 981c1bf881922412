#include "AppResources.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE declares the generated function, which lives in the global namespace.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace pravix
{

void initAppResources()
{
    static std::once_flag once;
    std::call_once(once, registerResources);
}

}  // namespace pravix
