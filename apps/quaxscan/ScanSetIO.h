// SPDX-License-Identifier: MIT
// The tool's names for the library's scan files (scan/io), and a walk over
// the points of a set.
#ifndef QUAX_APPS_QUAXSCAN_SCANSETIO_H_
#define QUAX_APPS_QUAXSCAN_SCANSETIO_H_

#include <cstddef>

#include "scan/io/ScanFile.h"
#include "scan/model/ScanSet.h"

namespace quaxscan {

using ScanFileError = QUAX::EScanFileError;
using QUAX::ScanFileFormat;
using QUAX::readFileBytes;
using QUAX::readScanSet;
using QUAX::readScanSetFile;
using QUAX::replaceFile;
using QUAX::writeScanSet;
using QUAX::writeScanSetFile;

inline ScanFileFormat formatForPath(const std::filesystem::path& path,
                                    bool asciiPly) {
  return QUAX::scanFileFormatFor(path, asciiPly);
}
inline const char* formatName(ScanFileFormat format) {
  return QUAX::scanFileFormatName(format);
}

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

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_SCANSETIO_H_
