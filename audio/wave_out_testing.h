#pragma once
// Test hook of the wave output device: by default device 0 plays in real time, which
// would make tests slow and their outcome depend on the machine's load. These settings
// hold for the device whether or not it is open, and take effect at once.

#include <vector>

#include "platform/win_types.h"

// Plays `times` times faster than real time; 0 plays every block the moment it is
// written, 1 (the default) is real time.
void waveOutSetSpeedForTesting(DWORD times);

// While stepped, the device plays nothing by itself; waveOutStepForTesting finishes
// blocks. waveOutReset and waveOutClose work as ever.
void waveOutSetSteppedForTesting(bool stepped);

// Stepped only: finishes up to `blocks` of the blocks the device now holds, in order,
// and returns once their WOM_DONE callbacks have run. Returns the number finished.
DWORD waveOutStepForTesting(DWORD blocks);

// While eager and not stepped, waveOutWrite returns only once the device has finished
// the block and its WOM_DONE has run: the soonest a completion can come, which a caller
// must be ready for. Best with speed 0.
void waveOutSetEagerForTesting(bool eager);

// While recording, the device appends the bytes of every block it finishes playing; a
// block handed back by waveOutReset was not played and adds nothing.
void waveOutSetRecordingForTesting(bool recording);
// The bytes recorded so far, which the record then forgets.
std::vector<BYTE> waveOutTakeRecordingForTesting();
