#pragma once
// Standard output as the carrier of a WAVE stream (-o-). Everything the program prints
// then goes to standard error instead, byte for byte as it would have gone to standard
// output: descriptor 1 is pointed at standard error, and the stream gets a descriptor of
// its own on what standard output was.

// Moves standard output aside for the stream and points descriptor 1 at standard error.
// Called before anything is printed. Returns the descriptor that carries the stream, or
// -1 when none could be made (descriptor 1 is then left as it was).
int carryWaveStreamOnStandardOutput();
