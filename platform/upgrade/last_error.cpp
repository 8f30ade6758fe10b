#include "last_error.h"

#include "bsp_upgrade_inner.h"

namespace bsp_upgrade {
namespace {

thread_local char last_error[192];

} // namespace

int remember(const Status &status)
{
    status.describe(last_error, sizeof(last_error));
    return status.ok() ? 0 : -1;
}

} // namespace bsp_upgrade

extern "C" const BU_CHAR *BSP_GetUpgradeError(void)
{
    return bsp_upgrade::last_error;
}
