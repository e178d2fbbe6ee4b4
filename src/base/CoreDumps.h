#pragma once
// Both programs hold every user's clear password in memory; a core file would put all of them
// on disk for whoever can read it.

namespace quorvane {

// Turns off core dumps for this process: marks it not dumpable (which also keeps other
// processes of the same user from attaching a debugger) and sets the core size limit to 0.
// Returns false when the system refused either step; the program runs on regardless.
bool DisableCoreDumps();

} // namespace quorvane
