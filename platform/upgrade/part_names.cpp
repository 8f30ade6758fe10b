#include "bsp_upgrade_inner.h"

namespace {

// Indexed by PARTITION_TYPE_E; each at most 23 characters, so it fits as8PartName.
constexpr const char *kPartNames[] = {
    "ipl",         "ipl_cust_a", "ipl_cust_b", "uboot_a", "uboot_b", "env", "reserve", "parameter_a",
    "parameter_b", "kernel_a",   "kernel_b",   "app_a",   "app_b",   "log", "butt",    "xml",
};
static_assert(sizeof(kPartNames) / sizeof(kPartNames[0]) == PARTTIION_E_END);

} // namespace

extern "C" const char *bspPartNumToStr(PARTITION_TYPE_E enPartType)
{
    const int index = static_cast<int>(enPartType);
    if (index < 0 || index >= PARTTIION_E_END) {
        return "unknown";
    }
    return kPartNames[index];
}
