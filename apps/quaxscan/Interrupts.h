// SPDX-License-Identifier: MIT
// What quaxscan does on SIGINT (Ctrl-C) and SIGTERM: it removes the
// temporary files it was writing and ends as the signal would have ended it
// (exit status 130 or 143 in a shell), so that neither a partial output nor
// a temporary file remains. Outputs are only ever put in place whole, by a
// rename, so an output that exists is complete.
#ifndef QUAX_APPS_QUAXSCAN_INTERRUPTS_H_
#define QUAX_APPS_QUAXSCAN_INTERRUPTS_H_

#include <functional>
#include <string>
#include <vector>

namespace quaxscan {

// Watches for the signals from now on, on a thread of its own (the signals
// are blocked in every other thread, so call it before starting any). On a
// signal, every temporary file of this process for one of `outputs`
// (".<name>.quax-<pid>-<n>.tmp" beside it) is removed. Call once.
void cleanUpOnInterrupt(const std::vector<std::string>& outputs);

// While a stop is set, the first SIGINT or SIGTERM calls it (on the watching
// thread) instead of ending the program, so that the work in hand can end
// early and keep what it has; a later signal ends the program as above.
// Setting an empty function clears it, after any call in progress.
void stopOnInterrupt(std::function<void()> stop);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_INTERRUPTS_H_
