#pragma once
// pcmwrap-play's entry behind main: plays every WAVE file named on the command line, one
// after the other, through the playback ring.

// Returns the exit status (player_status.h).
int runPlayer(int argc, char** argv);
