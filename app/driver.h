#pragma once
// The program's entry behind main: converts every dump named on the command line.

// Returns the exit status: 0 when every pair was processed (also those whose input did
// not open) or the usage text was printed, 1 after a stream failure.
int runConversion(int argc, char** argv);
