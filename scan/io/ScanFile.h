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
// Every reading error is an EScanFileError whose message starts with the
// file's name (and for text the line, for binary data the byte offset).
// Nothing is read past the data, and no count in a header is trusted beyond
// what the file can hold.
//
// Thread safety: the functions keep no state; calls on different sets and
// files may run at once.
#ifndef QUAX_SCAN_IO_SCANFILE_H_
#define QUAX_SCAN_IO_SCANFILE_H_

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "scan/QUAXScanExport.h"
#include "scan/io/ScanFileError.h"
#include "scan/model/ScanSet.h"

namespace QUAX {

enum class ScanFileFormat { kPlyBinary, kPlyAscii, kText };

// The format a file name asks for: ".ply" (binary, or ASCII when
// `asciiPly`), ".txt" or ".xyz" (text), in any letter case. Other names
// throw EScanFileError.
QUAX_SCAN_API ScanFileFormat scanFileFormatFor(const std::filesystem::path& path,
                                               bool asciiPly);
// "binary PLY", "ASCII PLY" or "x y z text".
QUAX_SCAN_API const char* scanFileFormatName(ScanFileFormat format);

// Reads a scan set from `bytes`: PLY when they start with "ply", text
// otherwise. `name` is the file name used in messages. Throws
// EScanFileError.
QUAX_SCAN_API std::unique_ptr<ScanSet> readScanSet(std::string_view bytes,
                                                   const std::string& name);
// Reads a scan set from what is left of `in` (opened in binary mode).
QUAX_SCAN_API std::unique_ptr<ScanSet> readScanSet(std::istream& in,
                                                   const std::string& name);
// Reads the file at `path`.
QUAX_SCAN_API std::unique_ptr<ScanSet> readScanSetFile(
    const std::filesystem::path& path);

// Writes `set` to `out` (opened in binary mode) in `format`.
QUAX_SCAN_API void writeScanSet(const ScanSet& set, ScanFileFormat format,
                                std::ostream& out);
// Writes `set` to `path` through replaceFile.
QUAX_SCAN_API void writeScanSetFile(const ScanSet& set, ScanFileFormat format,
                                    const std::filesystem::path& path);

// The whole file at `path`; EScanFileError naming it when it cannot be read.
QUAX_SCAN_API std::string readFileBytes(const std::filesystem::path& path);

// Writes `target` all or nothing: `write` fills a temporary file beside it
// (".<name>.quax-<pid>-<n>.tmp"), which then replaces the target. When
// `write` throws, or the file cannot be written, the temporary file is
// removed, the target is left as it was and the error reaches the caller (as
// EScanFileError when it was the file's).
QUAX_SCAN_API void replaceFile(const std::filesystem::path& target,
                               const std::function<void(std::ostream&)>& write);

}  // namespace QUAX

#endif  // QUAX_SCAN_IO_SCANFILE_H_
