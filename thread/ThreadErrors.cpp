// SPDX-License-Identifier: MIT
#include "thread/ThreadErrors.h"

namespace QUAX {

EThreadException::EThreadException() { _insertClass(*this); }

EThreadNoMutexAvailable::EThreadNoMutexAvailable() {
  _processException(*this, kThreadNoMutexAvailable);
}

EThreadWaitFailOnMutex::EThreadWaitFailOnMutex() {
  _processException(*this, kThreadWaitFailOnMutex);
}

EThreadNoSemaphoreAvailable::EThreadNoSemaphoreAvailable() {
  _processException(*this, kThreadNoSemaphoreAvailable);
}

EThreadWaitOnNullSemaphore::EThreadWaitOnNullSemaphore() {
  _processException(*this, kThreadWaitOnNullSemaphore);
}

EThreadWaitFailOnSemaphore::EThreadWaitFailOnSemaphore() {
  _processException(*this, kThreadWaitFailOnSemaphore);
}

}  // namespace QUAX
