/*
 * bootward's whole work, in a library of its own: the program's main only
 * calls bootward_main, and the tests run the guide in-process through it.
 */
#ifndef MANAGE_BOOTWARD_BOOTWARD_H
#define MANAGE_BOOTWARD_BOOTWARD_H

/* The program: "--help" or "-h" as the first argument prints the usage and
 * touches nothing; any other arguments are ignored and the guide runs.
 * Always 0. */
int bootward_main(int argc, char **argv);

extern "C" {
/* Creates the mount points of the guides: /app, /parameter0, /parameter1, /log. */
void bspBuildDir(void);
/* One run of the guide over the stored record; 0 when /app is mounted, -1
 * when the system was switched and a reboot asked for. */
int BSP_SystemGuide(void);
}

#endif /* MANAGE_BOOTWARD_BOOTWARD_H */
