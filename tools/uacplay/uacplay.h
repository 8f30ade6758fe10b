// uacplay: sends a WAV file to the USB host through the gadget's playback
// stream. The whole tool is a library that the program and the tests both
// link; the program's own file only calls it.
#pragma once

// The program: parses the command line, does the work, returns the exit status.
int uacplay_main(int argc, char **argv);
