// SPDX-License-Identifier: MIT
#include "thread/ReadWriteLock.h"

namespace QUAX {

void ReadWriteLock::acquireRead() {
  _mutex.wait(kThreadWaitInfinite);
  try {
    while (_state < 0 || _waitingWriters >= 1) {
      ++_waitingReaders;
      _readers.wait(kThreadWaitInfinite);
      _mutex.wait(kThreadWaitInfinite);
      --_waitingReaders;
    }
  } catch (...) {
    // The condition wait may have given the mutex up already; a release by
    // a thread that does not own it changes nothing.
    _mutex.release();
    throw;
  }
  ++_state;
  _mutex.release();
}

void ReadWriteLock::acquireWrite() {
  _mutex.wait(kThreadWaitInfinite);
  try {
    while (_state != 0) {
      ++_waitingWriters;
      _writers.wait(kThreadWaitInfinite);
      _mutex.wait(kThreadWaitInfinite);
      --_waitingWriters;
    }
  } catch (...) {
    _mutex.release();
    throw;
  }
  _state = -1;
  _mutex.release();
}

void ReadWriteLock::release() {
  _mutex.wait(kThreadWaitInfinite);
  if (_state == 0) {
    _mutex.release();
    return;
  }
  if (_state == -1) {
    _state = 0;
  } else {
    --_state;
  }
  // Woken threads retest, so waking them while readers remain is harmless.
  if (_waitingWriters >= 1) {
    _writers.notifyAll();
  } else if (_waitingReaders >= 1) {
    _readers.notifyAll();
  }
  _mutex.release();
}

}  // namespace QUAX
