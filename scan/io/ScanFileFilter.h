// SPDX-License-Identifier: MIT
// Filtering a scan file into another, frame by frame: the frames of the
// input pass through the filters in batches and go to the output as they
// come, so that a file of any size is filtered in the memory of a batch.
// The output holds the bytes that reading the whole set, applying each
// filter to it in turn and writing it would give.
#ifndef QUAX_SCAN_IO_SCANFILEFILTER_H_
#define QUAX_SCAN_IO_SCANFILEFILTER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "scan/QUAXScanExport.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/io/ScanFile.h"

namespace QUAX {

// What filterScanFile did: the points of the input, and for each filter the
// points it was given and kept and the time it took.
struct ScanFileFilterReport {
  std::uint64_t pointsIn = 0;
  std::vector<std::size_t> before, after;
  std::vector<std::chrono::steady_clock::duration> took;
};

// Reads `input`, applies `filters` in order with applyFilterParallel on
// `threads` threads (1: the calling thread alone) and writes the result to
// `output` in `format`, all or nothing (ScanFrameWriter). The input is read
// once where it can be (ScanFrameReader's kOnePass; a file whose points are
// out of scan order is read again, with the check first). `started`, when
// set, is called once with the input's point count, before any frame is
// filtered. Throws EScanFileError for a file that cannot be read (at any
// point of the pass: the output is then left as it was) or written, and what
// a filter throws outside its frames. With no filters, the output holds the
// bytes of reading the input whole and writing it.
QUAX_SCAN_API ScanFileFilterReport filterScanFile(
    const std::filesystem::path& input, const std::filesystem::path& output,
    ScanFileFormat format, const std::vector<const ScanLineFilter*>& filters,
    unsigned threads,
    const std::function<void(std::uint64_t)>& started = nullptr);

}  // namespace QUAX

#endif  // QUAX_SCAN_IO_SCANFILEFILTER_H_
