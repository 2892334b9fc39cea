#pragma once
// Samples already in the file's form (u8, and -l for 16 bits and wider) from a regular
// file go from the dump into the WAVE file inside the kernel, as cat copies.

#include "convert/wav_sample_writer.h"

// Appends the rest of the dump behind `source` to the writer's file. An interruption
// (convert/interruption.h) ends the copy after the step it came in, a whole number of
// samples of every width, so the data stays a prefix of the full conversion.
void copyDumpInKernel(int source, WavSampleWriter& writer);
