#include "uaccap.h"

int main(int argc, char **argv)
{
    return uaccap_main(argc, argv);
}
