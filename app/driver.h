#pragma once
// The program's entry behind main: converts every dump named on the command line.

// Returns the exit status: 0 when every pair was converted or the usage text was printed;
// 1 after a stream failure, or when a pair was skipped because its input did not open or
// its output was refused (it would have overwritten an input or an earlier output of the
// run, or it is not a regular file); 2 when the settings name a format that cannot be
// written, found once the first input has opened, before anything about its output.
// A bad option (status 64) ends the process while the options are parsed, a failure of
// the wave layer from inside the sample writer.
int runConversion(int argc, char** argv);
