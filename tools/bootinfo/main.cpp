#include "bootinfo.h"

int main(int argc, char **argv)
{
    return bootinfo_main(argc, argv);
}
