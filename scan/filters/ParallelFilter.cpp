// SPDX-License-Identifier: MIT
#include "scan/filters/ParallelFilter.h"

#include <utility>

#include "scan/ScanErrors.h"
#include "scan/filters/FilterAccess.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

ParallelFilterWalk::ParallelFilterWalk(const ScanLineFilter& filter,
                                       _ScanSet<double>& set)
    : _filter(filter), _set(&set), _surface(nullptr) {}

ParallelFilterWalk::ParallelFilterWalk(const ScanLineFilter& filter,
                                       _ScanSurface<double>& surface)
    : _filter(filter), _set(nullptr), _surface(&surface) {}

ParallelFilterWalk::~ParallelFilterWalk() = default;

bool ParallelFilterWalk::claim(const _ScanSurface<double>*& surface,
                               std::size_t& surfaceIndex,
                               std::size_t& frameIndex) {
  // One claim at a time, so that every surface ends where one frame count
  // read says, as in the serial walk: a thread that found the end cannot be
  // overtaken by one that read a larger count later.
  std::lock_guard<std::mutex> lock(_mutex);
  try {
    while (!_stopped) {
      const _ScanSurface<double>* current;
      if (_set != nullptr) {
        if (_nextSurface >= _set->getSurfaceCount()) return false;
        current = _set->getSurface(_nextSurface);
      } else {
        if (_nextSurface > 0) return false;
        current = _surface;
      }
      if (_nextFrame < current->getFrameCount()) {
        surface = current;
        surfaceIndex = _nextSurface;
        frameIndex = _nextFrame++;
        return true;
      }
      ++_nextSurface;
      _nextFrame = 0;
    }
  } catch (...) {
    // The frame count could not be read: this ends the serial walk too.
    keepLocked(_nextSurface, _nextFrame, std::current_exception());
  }
  return false;
}

void ParallelFilterWalk::keepLocked(std::size_t surfaceIndex,
                                    std::size_t frameIndex,
                                    std::exception_ptr error) {
  _stopped = true;
  if (!_error || surfaceIndex < _errorSurface ||
      (surfaceIndex == _errorSurface && frameIndex < _errorFrame)) {
    _error = std::move(error);
    _errorSurface = surfaceIndex;
    _errorFrame = frameIndex;
  }
}

void ParallelFilterWalk::work() noexcept {
  const _ScanSurface<double>* surface = nullptr;
  std::size_t surfaceIndex = 0;
  std::size_t frameIndex = 0;
  while (claim(surface, surfaceIndex, frameIndex)) {
    try {
      ScanLineFilterAccess::filterLine(
          _filter, surface->getFrame(frameIndex)->getScanLine());
    } catch (const EScanException&) {
      // A frame without a line, past the end, or refused by the filter: as
      // in the serial walk, the walk goes on.
    } catch (...) {
      std::lock_guard<std::mutex> lock(_mutex);
      keepLocked(surfaceIndex, frameIndex, std::current_exception());
    }
  }
}

void ParallelFilterWalk::finish() {
  std::exception_ptr error;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    error = std::exchange(_error, nullptr);
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace QUAX
