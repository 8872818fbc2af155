// SPDX-License-Identifier: MIT
#include "acquire/ScanAcquisition.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace QUAX {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nanosSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() -
                                                              start)
      .count();
}

}  // namespace

ScanAcquisition::ScanAcquisition(ScanSource& source,
                                 const AcquisitionSettings& settings)
    : _source(source), _settings(settings) {
  if (_settings.poll.count() <= 0) _settings.poll = std::chrono::milliseconds(1);
  _source.start();
  _start = Clock::now();
  try {
    _thread = std::thread([this] { run(); });
  } catch (...) {
    _source.stop();
    throw;
  }
}

ScanAcquisition::~ScanAcquisition() {
  stop();
  if (_thread.joinable()) _thread.join();
}

void ScanAcquisition::stop() noexcept { _stopRequested.store(true); }

ScanSurface* ScanAcquisition::newSurface() {
  auto surface = std::make_unique<ScanSurface>();
  ScanSurface* made = surface.get();
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _surfaces.push_back(std::move(surface));
  }
  _changed.notify_all();
  return made;
}

void ScanAcquisition::run() noexcept {
  std::string failure;
  ScanSurface* current = nullptr;
  std::size_t inSurface = 0;
  try {
    const bool timed = _settings.seconds > 0.0;
    const Clock::time_point deadline =
        _start + std::chrono::duration_cast<Clock::duration>(
                     std::chrono::duration<double>(_settings.seconds));
    const std::uint64_t limit = _settings.profiles;
    std::uint64_t appended = 0;
    std::vector<std::unique_ptr<ScanFrame>> batch;
    bool more = true;
    while (more && !_stopRequested.load()) {
      if (limit != 0 && appended >= limit) break;
      std::chrono::milliseconds wait = _settings.poll;
      if (timed) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now());
        if (left.count() <= 0) break;
        wait = std::min(wait, left);
      }
      batch.clear();
      more = _source.next(batch, wait);
      for (auto& frame : batch) {
        if (limit != 0 && appended >= limit) break;
        if (!frame) continue;
        if (current == nullptr ||
            (_settings.framesPerSurface != 0 &&
             inSurface == _settings.framesPerSurface)) {
          if (current != nullptr) current->setComplete();
          current = newSurface();
          inSurface = 0;
        }
        current->appendFrame(std::move(frame));
        ++inSurface;
        ++appended;
        _lastAppendNs.store(nanosSince(_start));
        _appended.store(appended);
      }
    }
    if (!more) failure = _source.record().failure;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown error in the acquisition thread";
  }
  // Readers waiting for frames that will never come find the end.
  if (current != nullptr) current->setComplete();
  try {
    _source.stop();
  } catch (const std::exception& e) {
    if (failure.empty()) failure = e.what();
  } catch (...) {
  }
  finish(failure);
}

void ScanAcquisition::finish(const std::string& failure) noexcept {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    try {
      _failure = failure;
    } catch (...) {
    }
    _finished.store(true);
  }
  _changed.notify_all();
}

bool ScanAcquisition::wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(_mutex);
  return _changed.wait_for(lock, timeout, [&] { return _finished.load(); });
}

AcquisitionRecord ScanAcquisition::wait() {
  {
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [&] { return _finished.load(); });
  }
  if (_thread.joinable() && _thread.get_id() != std::this_thread::get_id()) {
    _thread.join();
  }
  return record();
}

AcquisitionRecord ScanAcquisition::record() const {
  AcquisitionRecord r = _source.record();
  r.received = _appended.load();
  r.seconds = static_cast<double>(_lastAppendNs.load()) * 1e-9;
  std::lock_guard<std::mutex> lock(_mutex);
  if (_finished.load() && !_failure.empty()) r.failure = _failure;
  return r;
}

std::size_t ScanAcquisition::surfaceCount() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _surfaces.size();
}

ScanSurface* ScanAcquisition::surface(std::size_t index,
                                      std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(_mutex);
  _changed.wait_for(lock, timeout, [&] {
    return index < _surfaces.size() || _finished.load() || _setTaken;
  });
  if (_setTaken || index >= _surfaces.size()) return nullptr;
  return _surfaces[index].get();
}

std::unique_ptr<ScanSet> ScanAcquisition::takeSet() {
  wait();
  auto set = std::make_unique<ScanSet>();
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& surface : _surfaces) set->addSurface(std::move(surface));
  _surfaces.clear();
  _setTaken = true;
  return set;
}

}  // namespace QUAX
