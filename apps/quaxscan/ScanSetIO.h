// SPDX-License-Identifier: MIT
// Scan sets in files: PLY (ASCII and binary little-endian) and plain text.
//
// PLY: one element `vertex` per point, in scan order (surface by surface,
// frame by frame, along the line), with the properties
//   double x, y, z; int surface, frame;
//   uint graysum              when a point of the set has a gray sum item,
//   uint low_pixel, high_pixel when a point has pixel data,
// and one header comment "surface <k> frames <n>" per surface, so that
// frames without points and surfaces without frames survive. Reading takes
// any numeric types for these properties, ignores other properties and skips
// other elements; without `surface` or `frame` every point goes to surface 0
// or frame 0. Points keep the order of the file within their frame.
//
// Text: one point "x y z" per line, a blank line after each frame and a
// second one after each surface; lines starting with '#' are comments. Frames
// without points are not kept, nor are gray sums and pixels.
//
// Every reading error is a ScanFileError whose message starts with the
// file's name (and for text the line). Nothing is read past the data, and no
// count in a header is trusted beyond what the file can hold.
#ifndef QUAX_APPS_QUAXSCAN_SCANSETIO_H_
#define QUAX_APPS_QUAXSCAN_SCANSETIO_H_

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "scan/model/ScanSet.h"
#include "util/VXException.h"

namespace quaxscan {

// Calls visit(surface, frame, point) for every point in scan order.
template <class Visit>
void forEachPoint(const QUAX::ScanSet& set, Visit&& visit) {
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const QUAX::ScanSurface* surface = set.getSurface(s);
    const std::size_t frames = surface->getFrameCount();
    for (std::size_t f = 0; f < frames; ++f) {
      const QUAX::ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      const QUAX::ScanLine* line = frame->getScanLine();
      for (std::size_t i = 0; i < line->getPointCount(); ++i) {
        visit(s, f, *line->getPoint(i));
      }
    }
  }
}

// A scan file that cannot be read or written. message() is the text for the
// user: "<file>: <what is wrong>".
class ScanFileError : public QUAX::EVXIOException {
 public:
  explicit ScanFileError(const std::string& message);
  const std::string& message() const noexcept { return _message; }

 private:
  std::string _message;
};

enum class ScanFileFormat { kPlyBinary, kPlyAscii, kText };

// The format a file name asks for: ".ply" (binary, or ASCII when
// `asciiPly`), ".txt" or ".xyz" (text). Other names throw ScanFileError.
ScanFileFormat formatForPath(const std::filesystem::path& path, bool asciiPly);
const char* formatName(ScanFileFormat format);

// Reads a scan set from `bytes`: PLY when they start with "ply", text
// otherwise. `name` is the file name used in messages. Throws ScanFileError.
std::unique_ptr<QUAX::ScanSet> readScanSet(std::string_view bytes,
                                           const std::string& name);
std::unique_ptr<QUAX::ScanSet> readPly(std::string_view bytes,
                                       const std::string& name);
std::unique_ptr<QUAX::ScanSet> readText(std::string_view bytes,
                                        const std::string& name);
// Reads the file at `path`.
std::unique_ptr<QUAX::ScanSet> readScanSetFile(
    const std::filesystem::path& path);

// Writes `set` to `out` (opened in binary mode) in `format`.
void writeScanSet(const QUAX::ScanSet& set, ScanFileFormat format,
                  std::ostream& out);
// Writes `set` to `path` through replaceFile.
void writeScanSetFile(const QUAX::ScanSet& set, ScanFileFormat format,
                      const std::filesystem::path& path);

// The whole file at `path`; ScanFileError naming it when it cannot be read.
std::string readFileBytes(const std::filesystem::path& path);

// Writes `target` all or nothing: `write` fills a temporary file beside it,
// which then replaces the target. When `write` throws, or the file cannot be
// written, the temporary file is removed, the target is left as it was and
// the error reaches the caller (as ScanFileError when it was the file's).
void replaceFile(const std::filesystem::path& target,
                 const std::function<void(std::ostream&)>& write);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_SCANSETIO_H_
