/*
 * cfgward's whole work, in a library of its own: the program's main only
 * calls cfgward_main, and the tests run the guide in-process through it.
 */
#ifndef MANAGE_CFGWARD_CFGWARD_H
#define MANAGE_CFGWARD_CFGWARD_H

/* The program: "--help" or "-h" as the first argument prints the usage and
 * touches nothing; any other arguments are ignored and the guide runs.
 * 0, or -1 (exit status 255) when a rebuild failed. */
int cfgward_main(int argc, char **argv);

#endif /* MANAGE_CFGWARD_CFGWARD_H */
