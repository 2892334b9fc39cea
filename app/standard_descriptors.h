#pragma once
// Descriptors 0, 1 and 2 as the program's own files may meet them. A program started
// with one of them closed (pcmwrap x.raw <&- >&-) would otherwise get it for the first
// file or pipe it opens, and its own lines on standard output would go there.

// Opens every one of descriptors 0, 1 and 2 that is closed on /dev/null. Called first
// thing, before anything opens a file.
void openClosedStandardDescriptors();
