#pragma once
// The library store while the event loop runs, for the ends that skip Quit: exit() called from
// within the loop (Qt does when the display connection is lost), and a second termination
// signal, which ends the process from the signals' own thread. Either writes the pending save
// on the way out, and neither waits longer than `bound` for it or for the other (a slow disk
// included): the process ends within about a second of the request. The data only has to
// outlive the process: the library file is replaced first and counts as saved, and the disk is
// synced with the time left. Once Quit has saved, they leave the store alone.

#include <chrono>

class Store;

namespace EndOfRun {

// How long an end waits for the library's last save.
constexpr std::chrono::milliseconds bound {800};

// The run begins: the ends below write this store's changes. The store must outlive the
// process's end or the call to finish().
void begin(Store& store);
// Quit has saved the library: the ends below write nothing more.
void finish();

// From exit(), on the store's thread: writes what is pending, then the log. False when the
// library file did not take the save within the bound: the write goes on using what exit()
// destroys next, so the caller ends the process at once.
bool saveOnExit();
// On the signals' thread, before a second signal ends the process: writes what is pending, then
// the log, within the bound, also while an exit is writing the same save.
void saveBeforeForcedEnd();

} // namespace EndOfRun
