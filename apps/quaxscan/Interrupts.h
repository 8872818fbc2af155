// SPDX-License-Identifier: MIT
// What quaxscan does on SIGINT (Ctrl-C) and SIGTERM: it removes the
// temporary files it was writing and ends as the signal would have ended it
// (exit status 130 or 143 in a shell), so that neither a partial output nor
// a temporary file remains. Outputs are only ever put in place whole, by a
// rename, so an output that exists is complete.
#ifndef QUAX_APPS_QUAXSCAN_INTERRUPTS_H_
#define QUAX_APPS_QUAXSCAN_INTERRUPTS_H_

#include <string>
#include <vector>

namespace quaxscan {

// Watches for the signals from now on, on a thread of its own (the signals
// are blocked in every other thread, so call it before starting any). On a
// signal, every temporary file of this process for one of `outputs`
// (".<name>.quax-<pid>-<n>.tmp" beside it) is removed. Call once.
void cleanUpOnInterrupt(const std::vector<std::string>& outputs);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_INTERRUPTS_H_
