// SPDX-License-Identifier: MIT
#include "scan/io/ScanFileFilter.h"

#include <memory>
#include <utility>

#include "scan/filters/ParallelFilter.h"
#include "scan/io/ScanFrameStream.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

namespace {

// Frames taken into one filter run: enough to keep every thread busy, few
// enough that memory stays flat in the size of the file.
constexpr std::size_t kBatchPoints = std::size_t(1) << 18;
constexpr std::size_t kBatchFrames = 1024;
// On one thread nothing waits for a batch to fill: a batch that stays in
// the core's cache (about 400 KB of points) is read, filtered, written and
// freed while it is there, and its memory, from the heap, is taken again by
// the next batch, so the process touches a few MB of fresh pages in all.
constexpr std::size_t kOneThreadBatchPoints = std::size_t(1) << 13;

std::size_t pointCount(const ScanSurface& surface) {
  std::size_t n = 0;
  for (std::size_t f = 0; f < surface.getFrameCount(); ++f) {
    const ScanFrame* frame = surface.getFrame(f);
    if (frame->hasScanLine()) n += frame->getScanLine()->getPointCount();
  }
  return n;
}

// Filters the frames of `reader` into `output`.
ScanFileFilterReport filterFrames(
    ScanFrameReader& reader, const std::filesystem::path& output,
    ScanFileFormat format, const std::vector<const ScanLineFilter*>& filters,
    unsigned threads, const std::function<void(std::uint64_t)>& started) {
  ScanFileFilterReport report;
  report.pointsIn = reader.pointCount();
  report.before.assign(filters.size(), 0);
  report.after.assign(filters.size(), 0);
  report.took.assign(filters.size(), {});
  if (started) started(report.pointsIn);
  ScanFrameWriter writer(output, format, reader.framesPerSurface(),
                         reader.hasGraysums(), reader.hasPixels());
  // Filters that keep every point (smoothing) leave the count as it was.
  writer.expectPoints(reader.pointCount());
  // The frames pass in batches, each filtered by every filter in order (one
  // walk per filter, as on the whole set: lines are filtered alone, so the
  // result is the whole set's).
  // On several threads, the frames of a large batch live and go together:
  // their points are carved from one pool, whose chunks the next batch
  // reuses.
  ScanPointPool pool;
  ScanPointPool* const carveFrom = threads == 1 ? nullptr : &pool;
  const std::size_t batchPoints =
      threads == 1 ? kOneThreadBatchPoints : kBatchPoints;
  bool more = true;
  while (more) {
    ScanSet batch;
    batch.addSurface(std::make_unique<ScanSurface>());
    ScanSurface& frames = *batch.getSurface(0);
    std::vector<std::pair<std::size_t, std::size_t>> places;
    std::size_t points = 0;
    while (points < batchPoints && places.size() < kBatchFrames) {
      std::size_t s = 0, f = 0;
      auto frame = reader.next(s, f, carveFrom);
      if (!frame) {
        more = false;
        break;
      }
      points += frame->getScanLine()->getPointCount();
      places.emplace_back(s, f);
      frames.appendFrame(std::move(frame));
    }
    frames.setComplete();
    for (std::size_t i = 0; i < filters.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      report.before[i] += pointCount(frames);
      applyFilterParallel(*filters[i], batch, threads);
      report.after[i] += pointCount(frames);
      report.took[i] += std::chrono::steady_clock::now() - start;
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
      writer.write(places[i].first, places[i].second, *frames.getFrame(i));
    }
  }
  writer.finish();
  return report;
}

}  // namespace

ScanFileFilterReport filterScanFile(
    const std::filesystem::path& input, const std::filesystem::path& output,
    ScanFileFormat format, const std::vector<const ScanLineFilter*>& filters,
    unsigned threads, const std::function<void(std::uint64_t)>& started) {
  // The input is read once, each row checked as its frame comes; a file
  // whose points turn out out of scan order is done again, read with the
  // check first (sorted into its frames), and the output of the first try
  // goes with its writer.
  bool announced = false;
  const auto announce = [&](std::uint64_t points) {
    if (started && !announced) started(points);
    announced = true;
  };
  {
    ScanFrameReader reader(input, ScanFrameReader::Mode::kOnePass);
    try {
      return filterFrames(reader, output, format, filters, threads, announce);
    } catch (const EScanFileError&) {
      if (!reader.isOutOfOrder()) throw;
    }
  }
  ScanFrameReader reader(input);
  return filterFrames(reader, output, format, filters, threads, announce);
}

}  // namespace QUAX
