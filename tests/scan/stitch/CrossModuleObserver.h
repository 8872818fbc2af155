// SPDX-License-Identifier: MIT
// An observer bound to a subject from two shared libraries: one attaches it
// and the other detaches it, both built from CrossModuleObserver.cpp.
// Each library instantiates the callback templates itself, with hidden
// visibility, as a host's plug-ins would.
#ifndef QUAX_TESTS_SCAN_STITCH_CROSSMODULEOBSERVER_H_
#define QUAX_TESTS_SCAN_STITCH_CROSSMODULEOBSERVER_H_

#include "scan/stitch/Subject.h"

#if defined(_WIN32)
#define QUAX_OBSERVER_EXPORT __declspec(dllexport)
#define QUAX_OBSERVER_IMPORT __declspec(dllimport)
#else
#define QUAX_OBSERVER_EXPORT __attribute__((visibility("default")))
#define QUAX_OBSERVER_IMPORT __attribute__((visibility("default")))
#endif
#ifdef QUAX_OBSERVER_ATTACH_BUILD
#define QUAX_OBSERVER_ATTACH_API QUAX_OBSERVER_EXPORT
#else
#define QUAX_OBSERVER_ATTACH_API QUAX_OBSERVER_IMPORT
#endif
#ifdef QUAX_OBSERVER_DETACH_BUILD
#define QUAX_OBSERVER_DETACH_API QUAX_OBSERVER_EXPORT
#else
#define QUAX_OBSERVER_DETACH_API QUAX_OBSERVER_IMPORT
#endif

namespace QUAX {
namespace testing {

using ProgressSubject = Subject<int, unsigned>;

// Counts its calls. Both member functions have one address in the process:
// onProgress is virtual, onStep is defined once and exported.
class QUAX_OBSERVER_ATTACH_API CrossModuleProbe {
 public:
  virtual ~CrossModuleProbe();
  virtual void onProgress(ProgressSubject*, int, unsigned) { ++progressCalls; }
  void onStep(ProgressSubject*, int, unsigned);

  int progressCalls = 0;
  int stepCalls = 0;
};

// Attach and detach both member functions with every event bit.
QUAX_OBSERVER_ATTACH_API void attachFromFirstModule(ProgressSubject& subject,
                                                    CrossModuleProbe& probe);
QUAX_OBSERVER_DETACH_API void detachFromSecondModule(ProgressSubject& subject,
                                                     CrossModuleProbe& probe);

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_STITCH_CROSSMODULEOBSERVER_H_
