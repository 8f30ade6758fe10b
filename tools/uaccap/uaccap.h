// uaccap: records what the USB host plays into the gadget to a WAV file. The
// whole tool is a library that the program and the tests both link; the
// program's own file only calls it.
#pragma once

// The program: parses the command line, does the work, returns the exit status.
int uaccap_main(int argc, char **argv);
