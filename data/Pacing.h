// The program's fixed pauses (between folder copies and after downloads) all go through these
// helpers, so that the environment variable CVB_PACING can scale them: 1 (the default) keeps
// them as they are, 0 removes them (tests), 2 doubles them.
#pragma once

namespace cvb {

// The factor read from CVB_PACING; a missing, unreadable or negative value counts as 1.
double pacingFactor();

// The length in milliseconds that a fixed pause of `ms` lasts with the current factor.
int pacedMs(int ms);

// True when CVB_PACING is set to a factor: it then decides the pauses even where the user has
// switched them off.
bool pacingOverridden();

// A pause of `ms` as the user's choice and CVB_PACING make it: off gives 0 unless CVB_PACING
// says otherwise.
int chosenPauseMs(int ms, bool pausesOn);

// A fixed pause that holds the calling thread: nothing else runs on it meanwhile.
void pace(int ms);

// A fixed pause that keeps the calling thread's event loop running: timers, socket
// notifications and windows are served while it lasts.
void paceWithEvents(int ms);

} // namespace cvb
