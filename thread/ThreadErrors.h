// SPDX-License-Identifier: MIT
// Exceptions of the thread primitives. Internal to the library and not
// exported: callers catch them as EVXException (or std::exception) and read
// the code, one of the public ThreadErrorCode values.
#ifndef QUAX_THREAD_THREADERRORS_H_
#define QUAX_THREAD_THREADERRORS_H_

#include "thread/ThreadErrorCodes.h"
#include "util/VXException.h"

namespace QUAX {

// Root of the thread family; caught, never thrown.
class EThreadException : public EVXException {
 protected:
  EThreadException();
};

// The system had no mutex to give.
class EThreadNoMutexAvailable : public EThreadException {
 public:
  EThreadNoMutexAvailable();
};

// Waiting for a mutex failed (an abandoned mutex included).
class EThreadWaitFailOnMutex : public EThreadException {
 public:
  EThreadWaitFailOnMutex();
};

// The system had no semaphore to give.
class EThreadNoSemaphoreAvailable : public EThreadException {
 public:
  EThreadNoSemaphoreAvailable();
};

// A wait on a semaphore whose creation failed.
class EThreadWaitOnNullSemaphore : public EThreadException {
 public:
  EThreadWaitOnNullSemaphore();
};

// Waiting on a semaphore failed.
class EThreadWaitFailOnSemaphore : public EThreadException {
 public:
  EThreadWaitFailOnSemaphore();
};

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADERRORS_H_
