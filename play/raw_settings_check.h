#pragma once
// The raw dump settings of the command line that the player cannot play (a rate outside
// 1000 to 768000 Hz, bits other than 8, 16, 24 or 32, more than 8 channels), told before
// any file is opened.

#include "play/player_options.h"

// False, with a line saying which, when a setting cannot be played.
bool rawSettingsPlay(const PlayerOptions& options);
