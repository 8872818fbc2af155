// SPDX-License-Identifier: MIT
// Scan files frame by frame: a reader that hands out the frames of a file in
// scan order and a writer that takes them, so that a file of any size passes
// through in the memory of a few frames. The formats are those of
// ScanFile.h, and the bytes written are those writeScanSet writes for the
// same set.
//
// Thread safety: one object is used by one thread at a time.
#ifndef QUAX_SCAN_IO_SCANFRAMESTREAM_H_
#define QUAX_SCAN_IO_SCANFRAMESTREAM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "scan/QUAXScanExport.h"
#include "scan/io/ScanFile.h"
#include "scan/io/ScanFileError.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanPointPool.h"

namespace QUAX {

// Reads the frames of a scan file in scan order: surface by surface, frame
// by frame, every frame of the set (frames without points as frames with an
// empty line), each frame exactly as readScanSetFile would have built it.
//
// A binary PLY file in scan order (as this library writes them) is read
// block by block. How it is checked depends on the mode:
// - kCheckFirst: the constructor checks the whole file first, so a bad file
//   throws EScanFileError before any frame, with the message the whole-set
//   reader gives.
// - kOnePass: when the header gives the structure ("comment surface k
//   frames n" lines, or no surface and frame properties), the file is read
//   once: each row is checked as its frame is read, so a bad row throws from
//   the next() that reaches it, and what follows the rows (a later element
//   that cannot fit, bytes after the last element) from the next() that
//   would return null; the messages are the whole-set reader's. A point out
//   of scan order or beyond the frames the header gives makes next() throw
//   with isOutOfOrder() true: such a file is good, but is read with
//   kCheckFirst. Other files are read as with kCheckFirst.
// ASCII PLY and x y z text files are read line by line in the same way, with
// the errors (and line numbers) of the whole-set reader; a text file has no
// header to give its structure, so it is always checked first. In both
// modes the header, and element counts the file cannot hold, fail in the
// constructor. Files whose points are out of scan order, and binary files
// with list properties, are read whole by the constructor and handed out
// frame by frame.
class QUAX_SCAN_API ScanFrameReader {
 public:
  enum class Mode { kCheckFirst, kOnePass };
  // Throws EScanFileError naming `path` when it cannot be read.
  explicit ScanFrameReader(const std::filesystem::path& path,
                           Mode mode = Mode::kCheckFirst);
  ScanFrameReader(const ScanFrameReader&) = delete;
  ScanFrameReader& operator=(const ScanFrameReader&) = delete;
  ~ScanFrameReader();

  // Frames of each surface of the set (a surface may have none).
  const std::vector<std::size_t>& framesPerSurface() const noexcept;
  // The points of the file.
  std::uint64_t pointCount() const noexcept;
  // Whether the points carry gray sum items, pixel items.
  bool hasGraysums() const noexcept;
  bool hasPixels() const noexcept;
  // Whether the frames come from the file block by block (false: the
  // constructor read the set whole).
  bool isStreaming() const noexcept;
  // Whether next() failed on a point out of scan order or beyond the frames
  // the header gives (kOnePass): the file is to be read with kCheckFirst.
  bool isOutOfOrder() const noexcept;

  // The next frame, with its surface and frame index, or null after the
  // last. The frame has a scan line and data state 1, as a read set's.
  std::unique_ptr<ScanFrame> next(std::size_t& surface, std::size_t& frame);
  // The same with the points of a streamed frame carved from `pool` (when
  // not null): for frames that live and go together, such as a batch that is
  // filtered and written before the next is read (see ScanPointPool).
  std::unique_ptr<ScanFrame> next(std::size_t& surface, std::size_t& frame,
                                  ScanPointPool* pool);

 private:
  struct State;
  std::unique_ptr<State> _state;
};

// Writes a scan file frame by frame, all or nothing: nothing is at `target`
// until finish() succeeds, which replaces the target in one step (as
// replaceFile does); a writer destroyed before that removes what it wrote
// and leaves the target as it was. Temporary files sit beside the target,
// named ".<name>.quax-<pid>-<n>.tmp".
class QUAX_SCAN_API ScanFrameWriter {
 public:
  // `framesPerSurface` is the set's structure, as framesPerSurface() of the
  // reader gives it; `graysums` and `pixels` whether the points carry those
  // items (a PLY file then has their columns, when it gets any point).
  // Throws EScanFileError when the target cannot be written.
  ScanFrameWriter(const std::filesystem::path& target, ScanFileFormat format,
                  const std::vector<std::size_t>& framesPerSurface,
                  bool graysums, bool pixels);
  ScanFrameWriter(const ScanFrameWriter&) = delete;
  ScanFrameWriter& operator=(const ScanFrameWriter&) = delete;
  ~ScanFrameWriter();

  // Writes frame `frame` of surface `surface`. Frames come in scan order,
  // each at most once; frames not given count as frames without points.
  // EScanFileError for a frame out of order or outside the set (nothing is
  // written then).
  void write(std::size_t surface, std::size_t frame, const ScanFrame& data);
  // A hint that the file will hold about `points` points, given before the
  // first write(). A PLY writer then leaves room for the header at the front
  // of its output and writes the rows straight behind it, rather than into a
  // file of their own that finish() copies behind the header; when the count
  // turns out to need another header length, finish() moves the rows. The
  // bytes written are the same either way.
  void expectPoints(std::uint64_t points);
  // Points written so far.
  std::uint64_t pointCount() const noexcept;
  // Completes the file and puts it in place; EScanFileError when it cannot.
  void finish();

 private:
  struct State;
  std::unique_ptr<State> _state;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_IO_SCANFRAMESTREAM_H_
