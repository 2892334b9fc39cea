#pragma once
// The platform's pause of the calling thread.

#include "platform/win_types.h"

// Gives up the processor for about `milliseconds`; 0 only yields.
void Sleep(DWORD milliseconds);
