#pragma once
// The program's entry behind main: converts every dump named on the command line.

// Returns the exit status: 0 when every pair was processed (also those whose input did
// not open or whose output would have overwritten it) or the usage text was printed,
// 1 after a stream failure. A format that cannot be written (status 2) and a failure of
// the wave layer end the process from inside the sample writer.
int runConversion(int argc, char** argv);
