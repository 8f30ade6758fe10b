// The text of the last failure of the service's C calls, per thread, for the
// tools' messages (BSP_GetUpgradeError).
#pragma once

#include "status.h"

namespace bsp_upgrade {

// Records the outcome of a C call: the failure's text, or none on success.
// Returns the call's C status: 0 on success, -1 on failure.
int remember(const Status &status);

} // namespace bsp_upgrade
