// SPDX-License-Identifier: MIT
// Finds the laser line in camera images: per column, the sub-pixel row at
// which the line crosses it.
#ifndef QUAX_ACQUIRE_PROFILE_LINEFINDER_H_
#define QUAX_ACQUIRE_PROFILE_LINEFINDER_H_

#include <cstdint>
#include <vector>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/profile/PixelFormat.h"

namespace QUAX {

enum class PeakMethod : std::uint32_t {
  // The row of the column's brightest pixel (the first one, on a plateau).
  kStrongest = 0,
  // The middle of the run of pixels above the threshold around the peak:
  // (left crossing + right crossing) / 2, each crossing interpolated
  // linearly between the pixels on either side of the threshold (half a
  // pixel beyond the region's edge when the run reaches it).
  kThresholdCentre = 1,
  // The centre of gravity of (pixel - background), negatives as 0, over
  // the rows within `window` of the peak.
  kCentreOfGravity = 2,
};

struct QUAX_ACQUIRE_API LineFinderSettings {
  PeakMethod method = PeakMethod::kCentreOfGravity;
  // A column has a point only where its peak exceeds this value (in the
  // pixel format's own units: 0 to 255 for Mono8, 0 to 65535 for Mono16).
  std::uint32_t threshold = 40;
  // The run of pixels above the threshold around the peak must be at least
  // minWidth and at most maxWidth rows long (maxWidth 0: no upper limit);
  // a narrower run is noise, a wider one a reflection.
  std::uint32_t minWidth = 1;
  std::uint32_t maxWidth = 0;
  // Half-width of the centre-of-gravity window, in rows. About three times
  // the line's sigma keeps the bias of a cut Gaussian below 0.01 px.
  std::uint32_t window = 6;
  // Subtracted from every pixel before it is weighted (the dark level).
  std::uint32_t background = 0;
};

// One finder serves one thread at a time: it keeps its scratch columns
// between calls, so that finding allocates nothing once it has run.
class QUAX_ACQUIRE_API LineFinder {
 public:
  // Throws EAcquireBadSettings when the settings do not fit `format` (not an
  // image format, a threshold at or above its largest value, a minimum width
  // above the maximum).
  LineFinder(const LineFinderSettings& settings, PixelFormat format);

  const LineFinderSettings& settings() const noexcept { return _settings; }
  PixelFormat format() const noexcept { return _format; }

  // The line in rows [firstRow, firstRow + rows) of `image`: positions[c],
  // for each of its width columns, is the line's row in that region
  // (0 = firstRow), NaN where the column has no point. Throws
  // EAcquireBadSettings for an image of another format or a region off it.
  void findProfile(const ImageView& image, std::uint32_t firstRow,
                   std::uint32_t rows, double* positions);
  // Every profile of an image that packs height / regionRows of them, one
  // region of regionRows rows each: positions gets profile p's columns at
  // [p * width, (p + 1) * width). Returns the number of profiles.
  std::uint32_t findProfiles(const ImageView& image, std::uint32_t regionRows,
                             std::vector<double>& positions);

 private:
  template <class Pixel>
  void find(const ImageView& image, std::uint32_t firstRow,
            std::uint32_t rows, double* positions);

  LineFinderSettings _settings;
  PixelFormat _format;
  std::vector<std::uint16_t> _best;  // per column: the brightest value
  std::vector<std::uint16_t> _row;   // and its row in the region
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_PROFILE_LINEFINDER_H_
