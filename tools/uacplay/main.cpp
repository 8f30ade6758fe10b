#include "uacplay.h"

int main(int argc, char **argv)
{
    return uacplay_main(argc, argv);
}
