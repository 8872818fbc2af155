// SPDX-License-Identifier: MIT
// End to end from Aravis's fake GigE Vision camera over loopback: profile
// mode, Coord3D_C16 profiles of 2,048 columns, many profiles per buffer,
// appended to surfaces by the acquisition thread while a filter thread runs
// the average and chordal deviation filters on each frame as it arrives.
// Args: profiles per second asked of the camera, profiles per buffer, and
// whether the filters run (0 shows what the acquisition alone costs).
// Counters: profiles per second received, lost and incomplete profiles, the
// lag from a frame's delivery to the end of its filtering (median, 99th
// percentile, max, in ms), and the CPU time per profile of the whole
// process (camera, receive thread, decoding, filters).
//
// The fake camera runs in this process and draws a slowly changing part
// into each buffer; its description (with Coord3D_C16) comes from the test
// data, QUAX_FAKE_PROFILE_CAMERA.
#include <arv.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "acquire/ScanAcquisition.h"
#include "acquire/genicam/GenICamSource.h"
#include "scan/ScanErrors.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kColumns = 2048;

void fill(ArvBuffer* buffer, void*, guint32, guint32, ArvPixelFormat) {
  static std::uint32_t frame = 0;
  auto* data = static_cast<std::uint16_t*>(
      const_cast<void*>(arv_buffer_get_data(buffer, nullptr)));
  const auto w = static_cast<std::uint32_t>(arv_buffer_get_image_width(buffer));
  const auto h = static_cast<std::uint32_t>(arv_buffer_get_image_height(buffer));
  ++frame;
  for (std::uint32_t r = 0; r < h; ++r) {
    const double y = (frame * h + r) * 0.01;
    for (std::uint32_t c = 0; c < w; ++c) {
      const double z = 20000 + 3000 * std::sin(c * 0.004 + y) +
                       (c > 1200 ? 800 : 0) + ((c * 7 + r) % 13);
      data[std::size_t(r) * w + c] =
          (c > 300 && c < 340) ? 0 : static_cast<std::uint16_t>(z);
    }
  }
}

// A source that remembers when it delivered each frame.
class Stamped : public QUAX::ScanSource {
 public:
  explicit Stamped(QUAX::ScanSource& inner) : _inner(inner) {}
  void start() override { _inner.start(); }
  bool next(std::vector<std::unique_ptr<QUAX::ScanFrame>>& frames,
            std::chrono::milliseconds timeout) override {
    const std::size_t before = frames.size();
    const bool more = _inner.next(frames, timeout);
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(_mutex);
    for (std::size_t i = before; i < frames.size(); ++i)
      _delivered[frames[i].get()] = now;
    return more;
  }
  void stop() override { _inner.stop(); }
  QUAX::AcquisitionRecord record() const override { return _inner.record(); }
  Clock::time_point deliveredAt(const QUAX::ScanFrame* f) {
    std::lock_guard<std::mutex> lock(_mutex);
    return _delivered[f];
  }

 private:
  QUAX::ScanSource& _inner;
  std::mutex _mutex;
  std::unordered_map<const QUAX::ScanFrame*, Clock::time_point> _delivered;
};

void BM_CameraProfilesLive(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const auto perBuffer = static_cast<std::uint32_t>(state.range(1));
  const bool filters = state.range(2) != 0;
  ArvGvFakeCamera* fake = arv_gv_fake_camera_new_full(
      "127.0.0.1", "QXBENCH", QUAX_FAKE_PROFILE_CAMERA);
  if (fake == nullptr || !arv_gv_fake_camera_is_running(fake)) {
    state.SkipWithError("the fake camera does not run");
    return;
  }
  arv_fake_camera_set_fill_pattern(arv_gv_fake_camera_get_fake_camera(fake),
                                   fill, nullptr);
  QUAX::GenICamSettings settings;
  settings.camera = "Aravis-Fake-QXBENCH";
  settings.mode = QUAX::CameraMode::kProfile;
  settings.width = kColumns;
  settings.height = perBuffer;
  settings.frameRate = rate / perBuffer;
  settings.buffers = 32;

  const QUAX::ScanAverageFilter average(5, 1.0);
  const QUAX::ScanChordalDeviationFilter chordal(0.05, 2000.0, kColumns);
  QUAX::AcquisitionRecord record;
  std::vector<double> lags;
  double cpuSeconds = 0.0;
  for (auto _ : state) {
    QUAX::GenICamSource camera(settings);
    Stamped source(camera);
    QUAX::AcquisitionSettings run;
    run.seconds = 3.0;
    run.framesPerSurface = 2000;
    const std::clock_t cpuStart = std::clock();
    QUAX::ScanAcquisition acquisition(source, run);
    lags.clear();
    std::thread filtering([&] {
      for (std::size_t s = 0;; ++s) {
        QUAX::ScanSurface* surface =
            acquisition.surface(s, std::chrono::seconds(30));
        if (surface == nullptr) return;
        for (std::size_t i = 0;; ++i) {
          QUAX::ScanFrame* frame = nullptr;
          try {
            frame = surface->getFrame(i, std::chrono::seconds(30));
          } catch (const QUAX::EScanException&) {
            break;
          }
          try {
            QUAX::ScanLine* line = frame->getScanLine();
            if (!filters) throw QUAX::EScanFrameNoScanLine();
            QUAX::ScanLineFilterAccess::filterLine(average, line);
            QUAX::ScanLineFilterAccess::filterLine(chordal, line);
          } catch (const QUAX::EScanException&) {
          }
          lags.push_back(std::chrono::duration<double, std::milli>(
                             Clock::now() - source.deliveredAt(frame))
                             .count());
        }
      }
    });
    record = acquisition.wait();
    filtering.join();
    cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  }
  g_object_unref(fake);
  std::sort(lags.begin(), lags.end());
  auto at = [&](double q) {
    return lags.empty() ? 0.0
                        : lags[std::min(lags.size() - 1,
                                        std::size_t(q * double(lags.size())))];
  };
  state.counters["profiles_per_s"] = record.rate();
  state.counters["lost"] = double(record.lost);
  state.counters["incomplete"] = double(record.incomplete);
  state.counters["lag_median_ms"] = at(0.5);
  state.counters["lag_p99_ms"] = at(0.99);
  state.counters["lag_max_ms"] = lags.empty() ? 0.0 : lags.back();
  state.counters["cpu_us_per_profile"] =
      record.received ? 1e6 * cpuSeconds / double(record.received) : 0.0;
}
BENCHMARK(BM_CameraProfilesLive)
    ->ArgNames({"rate", "perBuffer", "filters"})
    ->Args({2000, 128, 0})
    ->Args({2000, 128, 1})
    ->Args({10000, 256, 0})
    ->Args({10000, 256, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
