#pragma once
// The statuses pcmwrap-play ends with. After a run over every file: 2 if any was skipped
// for its format, otherwise 1 if any could not be read, otherwise 0.

inline constexpr int kPlayerSuccess = 0;
inline constexpr int kPlayerUnreadableFile = 1;    // a file could not be read (missing, not WAVE, cut short)
inline constexpr int kPlayerUnplayableFormat = 2;  // a file was skipped for its format
inline constexpr int kPlayerNoDevice = 3;          // the audio device could not be opened
inline constexpr int kPlayerSignalBase = 128;      // ended by a signal: 128 + its number, as shells report it
inline constexpr int kPlayerUsageError = 64;       // an option it does not know
