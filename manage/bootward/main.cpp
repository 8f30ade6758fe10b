/* bootward: the application-partition guide, run once at boot. */
#include "bootward.h"

int main(int argc, char **argv)
{
    return bootward_main(argc, argv);
}
