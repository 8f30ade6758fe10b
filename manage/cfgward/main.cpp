/* cfgward: the configuration-partition guide, run once at boot after bootward. */
#include "cfgward.h"

int main(int argc, char **argv)
{
    return cfgward_main(argc, argv);
}
