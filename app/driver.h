#pragma once
// The program's entry behind main: converts every dump named on the command line.

// Returns the exit status: 0 when every pair was converted or the usage text was printed;
// 1 after a stream failure, or when a pair was skipped because its input did not open or
// its output would have overwritten an input or an earlier output of the run. A format
// that cannot be written (status 2) and a failure of the wave layer end the process from
// inside the sample writer.
int runConversion(int argc, char** argv);
