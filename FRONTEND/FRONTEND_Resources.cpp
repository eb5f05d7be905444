#include "FRONTEND_Resources.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE must be used outside of any namespace.
static void RegisterFrontendResources()
{
    Q_INIT_RESOURCE(frontend);
    Q_INIT_RESOURCE(frontend_translations);
}

void InitFrontendResources()
{
    static std::once_flag once;
    std::call_once(once, RegisterFrontendResources);
}
