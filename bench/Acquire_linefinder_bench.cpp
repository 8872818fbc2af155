// SPDX-License-Identifier: MIT
// The line finder from memory on one core: pixels and profiles per second
// over image sizes, formats and peak methods. The images vary as a camera's
// do: a curved line of changing width and brightness, columns without a
// line (a hole, a dark patch), a reflection above the line now and then,
// noise; 16 different images are cycled so that no cache holds the answer.
// BM_DecodeC16 decodes Coord3D_C16 profiles, BM_Calibrate applies a
// calibration to found rows, BM_ProfileFrames makes frames of decoded
// profiles and appends them to a surface as the acquisition thread does,
// BM_ProfileFilters runs the live filters on such lines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "acquire/profile/LineFinder.h"
#include "acquire/profile/ProfileDecoder.h"
#include "acquire/profile/SensorCalibration.h"
#include "bench/CameraProfiles.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/model/ScanPointPool.h"
#include "scan/model/ScanSurface.h"

namespace {

using QUAX::PixelFormat;

struct Images {
  std::vector<std::vector<std::uint8_t>> mono8;
  std::vector<std::vector<std::uint16_t>> mono16;
};

// `count` images of width x rows, drawn once per size.
Images makeImages(std::uint32_t width, std::uint32_t rows, int count) {
  Images images;
  std::mt19937 rng(width * 31 + rows);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int k = 0; k < count; ++k) {
    std::vector<double> v(static_cast<std::size_t>(width) * rows);
    const double phase = 6.28 * unit(rng);
    const double holeFrom = unit(rng) * width, holeTo = holeFrom + 0.1 * width;
    for (std::uint32_t c = 0; c < width; ++c) {
      const double centre =
          rows * (0.5 + 0.3 * std::sin(phase + 5.0 * c / width)) +
          2.0 * (unit(rng) - 0.5);
      const double sigma = 0.8 + 2.0 * unit(rng);
      const double peak =
          (c >= holeFrom && c < holeTo) ? 0.0 : 0.3 + 0.7 * unit(rng);
      const bool reflection = unit(rng) < 0.05;
      for (std::uint32_t r = 0; r < rows; ++r) {
        const double d = (r - centre) / sigma, e = (r - 0.2 * rows) / 2.0;
        v[static_cast<std::size_t>(r) * width + c] =
            peak * std::exp(-0.5 * d * d) +
            (reflection ? 0.5 * std::exp(-0.5 * e * e) : 0.0) +
            0.04 * unit(rng);
      }
    }
    std::vector<std::uint8_t> m8(v.size());
    std::vector<std::uint16_t> m16(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
      const double x = std::min(1.0, v[i]);
      m8[i] = static_cast<std::uint8_t>(std::lround(255 * x));
      m16[i] = static_cast<std::uint16_t>(std::lround(65535 * x));
    }
    images.mono8.push_back(std::move(m8));
    images.mono16.push_back(std::move(m16));
  }
  return images;
}

// Args: width, rows per profile, profiles per image, format (8 or 16),
// method (0 strongest, 1 threshold centre, 2 centre of gravity).
void BM_FindLine(benchmark::State& state) {
  const auto width = static_cast<std::uint32_t>(state.range(0));
  const auto rows = static_cast<std::uint32_t>(state.range(1));
  const auto perImage = static_cast<std::uint32_t>(state.range(2));
  const bool mono8 = state.range(3) == 8;
  const PixelFormat format = mono8 ? PixelFormat::kMono8 : PixelFormat::kMono16;
  QUAX::LineFinderSettings settings;
  settings.method = static_cast<QUAX::PeakMethod>(state.range(4));
  settings.threshold = mono8 ? 40 : 40 * 257;
  settings.maxWidth = 20;
  QUAX::LineFinder finder(settings, format);
  const Images images = makeImages(width, rows * perImage, 16);
  std::vector<double> positions;
  std::size_t k = 0;
  for (auto _ : state) {
    const auto& i8 = images.mono8[k % 16];
    const auto& i16 = images.mono16[k % 16];
    ++k;
    const QUAX::ImageView view =
        mono8 ? QUAX::ImageView::of(i8.data(), i8.size(), format, width,
                                    rows * perImage)
              : QUAX::ImageView::of(i16.data(), i16.size() * 2, format, width,
                                    rows * perImage);
    benchmark::DoNotOptimize(finder.findProfiles(view, rows, positions));
    benchmark::DoNotOptimize(positions.data());
  }
  const double pixels = double(width) * rows * perImage;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pixels));
  state.counters["profiles/s"] = benchmark::Counter(
      double(state.iterations()) * perImage, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FindLine)
    ->ArgNames({"width", "rows", "perImage", "bits", "method"})
    // The goal's case: 2,048 columns by 64 rows, Mono8, each method.
    ->Args({2048, 64, 1, 8, 0})
    ->Args({2048, 64, 1, 8, 1})
    ->Args({2048, 64, 1, 8, 2})
    ->Args({2048, 64, 1, 16, 2})
    // Many profiles per image, as a camera packs them.
    ->Args({2048, 64, 16, 8, 2})
    // Scaling over widths and rows.
    ->Args({512, 64, 1, 8, 2})
    ->Args({4096, 64, 1, 8, 2})
    ->Args({2048, 16, 1, 8, 2})
    ->Args({2048, 256, 1, 8, 2})
    ->Args({2048, 1024, 1, 16, 2});

void BM_DecodeC16(benchmark::State& state) {
  const auto width = static_cast<std::uint32_t>(state.range(0));
  const std::uint32_t rows = 64;
  std::vector<std::uint16_t> buffer(width * rows);
  std::mt19937 rng(1);
  for (auto& v : buffer) v = static_cast<std::uint16_t>(rng() % 20 ? rng() : 0);
  QUAX::Scan3dSettings s;
  s.a = {0.05, -50};
  s.c = {0.001, 10};
  s.invalidDataFlag = true;
  const QUAX::ProfileDecoder decoder(s);
  const auto view = QUAX::ImageView::of(buffer.data(), buffer.size() * 2,
                                        s.format, width, rows);
  std::vector<double> x(width), y(width), z(width);
  for (auto _ : state) {
    for (std::uint32_t r = 0; r < rows; ++r) {
      decoder.decode(view, r, x.data(), y.data(), z.data());
      benchmark::DoNotOptimize(z.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          width * rows);
  state.counters["profiles/s"] = benchmark::Counter(
      double(state.iterations()) * rows, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeC16)->Arg(2048);

// Decoding a profile, its scan line (a point object per valid column), its
// frame and the append. Kept (arg 1) the surface holds every frame, as in an
// acquisition, so each line's points take memory the process never had and
// the kernel must supply page by page; dropped (arg 0) each frame is freed
// at once and its memory serves the next. The difference is what fresh
// memory costs per profile. With a pool (arg 2) the lines are made as the
// camera source makes them, from chunks in huge pages.
void BM_ProfileFrames(benchmark::State& state) {
  const auto width = static_cast<std::uint32_t>(state.range(0));
  const bool kept = state.range(1) != 0;
  // As the camera source makes them: points and slots carved from a pool.
  QUAX::ScanPointPool pool;
  QUAX::ScanPointPool* from = state.range(2) != 0 ? &pool : nullptr;
  const std::uint32_t rows = 64;
  std::vector<std::uint16_t> buffer(width * rows);
  std::mt19937 rng(2);
  for (auto& v : buffer) v = static_cast<std::uint16_t>(rng() % 20 ? rng() : 0);
  QUAX::Scan3dSettings s;
  s.invalidDataFlag = true;
  const QUAX::ProfileDecoder decoder(s);
  const auto view = QUAX::ImageView::of(buffer.data(), buffer.size() * 2,
                                        s.format, width, rows);
  std::vector<double> x(width), y(width), z(width);
  auto surface = std::make_unique<QUAX::ScanSurface>();
  std::uint32_t r = 0;
  for (auto _ : state) {
    decoder.decode(view, r, x.data(), y.data(), z.data());
    auto frame = std::make_unique<QUAX::ScanFrame>(
        QUAX::makeProfileLine(x.data(), z.data(), width, r, nullptr, from));
    frame->getSyncObject()->setDataState(1);
    if (kept) surface->appendFrame(std::move(frame));
    r = (r + 1) % rows;
    if (kept && surface->getFrameCount() == 2000) {
      state.PauseTiming();
      surface = std::make_unique<QUAX::ScanSurface>();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          width);
  state.counters["profiles/s"] = benchmark::Counter(
      double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProfileFrames)
    ->ArgNames({"columns", "kept", "pool"})
    ->Args({2048, 0, 0})
    ->Args({2048, 1, 0})
    ->Args({2048, 0, 1})
    ->Args({2048, 1, 1})
    ->Args({512, 1, 1})
    ->Args({4096, 1, 1});

// Profiles as the camera bench's fake camera sends them (Coord3D_C16, 0.05
// mm columns), decoded: `count` different ones of `width` columns.
std::vector<std::vector<std::uint16_t>> cameraProfiles(std::uint32_t width,
                                                       std::uint32_t count) {
  std::vector<std::vector<std::uint16_t>> rows(count);
  for (std::uint32_t r = 0; r < count; ++r) {
    rows[r].resize(width);
    camera_profiles::make(width, r, rows[r].data());
  }
  return rows;
}

// The live filters (average (5, 1.0), then chordal deviation (0.05, 5.0)) on
// lines of decoded camera profiles, one thread. Arg 0: one line made once
// and refilled in place before each run, as the filters' own benchmarks do.
// Arg 1 (fresh): each line is made from a pool just before it is filtered
// and kept in a surface, as on the live path, so the filters meet points
// they have never seen; this includes making the line (BM_ProfileFrames,
// kept, pool). Arg 2: fresh, and each thinned line then moved into a block
// of its own size, as LiveFilters does, so that the dropped points' memory
// serves the next lines instead of fresh pages.
void BM_ProfileFilters(benchmark::State& state) {
  const auto width = static_cast<std::uint32_t>(state.range(0));
  const bool fresh = state.range(1) != 0;
  const bool shrink = state.range(1) == 2;
  const std::uint32_t shapes = 97;
  const auto rows = cameraProfiles(width, shapes);
  QUAX::Scan3dSettings s;
  s.a = {0.05, -0.025 * width};
  s.c = {0.001, 5.0};
  s.invalidDataFlag = true;
  const QUAX::ProfileDecoder decoder(s);
  std::vector<std::vector<double>> xs(shapes), zs(shapes);
  std::vector<double> y(width);
  for (std::uint32_t r = 0; r < shapes; ++r) {
    xs[r].resize(width), zs[r].resize(width);
    const auto view = QUAX::ImageView::of(rows[r].data(), width * 2, s.format,
                                          width, 1);
    decoder.decode(view, 0, xs[r].data(), y.data(), zs[r].data());
  }
  const QUAX::ScanAverageFilter average(5, 1.0);
  const QUAX::ScanChordalDeviationFilter chordal(0.05, 5.0, 8192);
  QUAX::ScanPointPool pool;
  auto surface = std::make_unique<QUAX::ScanSurface>();
  std::unique_ptr<QUAX::ScanLine> warm;
  std::size_t kept = 0;
  std::uint32_t r = 0;
  for (auto _ : state) {
    std::unique_ptr<QUAX::ScanLine> line;
    if (fresh) {
      line = QUAX::makeProfileLine(xs[r].data(), zs[r].data(), width, r,
                                   nullptr, &pool);
    } else {
      if (!warm) {
        warm = QUAX::makeProfileLine(xs[r].data(), zs[r].data(), width, r);
      }
      std::size_t m = 0;
      warm->resize(std::size_t(width));
      for (std::uint32_t c = 0; c < width; ++c) {
        if (!std::isnan(zs[r][c]))
          warm->getPoint(m++)->setPosition(xs[r][c], r, zs[r][c]);
      }
      warm->resize(m);
    }
    QUAX::ScanLine* target = fresh ? line.get() : warm.get();
    QUAX::filterScanLine(average, target);
    QUAX::filterScanLine(chordal, target);
    kept = target->getPointCount();
    if (shrink) target->getPoints().shrinkToFit();
    if (fresh) {
      auto frame = std::make_unique<QUAX::ScanFrame>(std::move(line));
      surface->appendFrame(std::move(frame));
      if (surface->getFrameCount() == 2000) {
        state.PauseTiming();
        surface = std::make_unique<QUAX::ScanSurface>();
        state.ResumeTiming();
      }
    }
    r = (r + 1) % shapes;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          width);
  state.counters["profiles/s"] = benchmark::Counter(
      double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["kept"] = double(kept);
}
BENCHMARK(BM_ProfileFilters)
    ->ArgNames({"columns", "fresh"})
    ->Args({2048, 0})
    ->Args({2048, 1})
    ->Args({2048, 2});

// Args: model (0 linear, 1 cubic polynomial, 2 table of 64 x 32 nodes).
void BM_Calibrate(benchmark::State& state) {
  const std::uint32_t width = 2048;
  QUAX::SensorCalibration c;
  if (state.range(0) == 0) {
    c = QUAX::SensorCalibration::linear(0.05, -50, 0.01, 20);
  } else if (state.range(0) == 1) {
    c = QUAX::SensorCalibration::polynomial(
        3, {-50, 0.05, 0, 1e-7, 1e-8, 0, 0, 0, 0, 0},
        {20, 0, 0.01, 0, 1e-8, 1e-6, 0, 0, 0, 1e-9});
  } else {
    std::vector<double> cols, rows, x, z;
    for (int i = 0; i < 64; ++i) cols.push_back(i * 2047.0 / 63);
    for (int j = 0; j < 32; ++j) rows.push_back(j * 64.0 / 31);
    for (double v : rows)
      for (double u : cols) x.push_back(0.05 * u - 50), z.push_back(0.01 * v + 20);
    c = QUAX::SensorCalibration::table(cols, rows, x, z);
  }
  std::vector<double> found(width), x(width), z(width);
  std::mt19937 rng(2);
  for (auto& v : found) v = (rng() % 10) ? (rng() % 6400) / 100.0 : std::nan("");
  for (auto _ : state) {
    c.apply(0, found.data(), width, x.data(), z.data());
    benchmark::DoNotOptimize(z.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * width);
}
BENCHMARK(BM_Calibrate)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
