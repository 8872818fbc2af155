// SPDX-License-Identifier: MIT
// Profiles that a 3D camera sends itself (GenICam Coord3D formats), and the
// scan lines made from decoded profiles.
#ifndef QUAX_ACQUIRE_PROFILE_PROFILEDECODER_H_
#define QUAX_ACQUIRE_PROFILE_PROFILEDECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/profile/PixelFormat.h"
#include "scan/model/ScanLine.h"

namespace QUAX {

// One axis's Scan3dCoordinateScale and Scan3dCoordinateOffset: a raw value
// v stands for scale * v + offset.
struct QUAX_ACQUIRE_API Scan3dAxis {
  double scale = 1.0;
  double offset = 0.0;
};

struct QUAX_ACQUIRE_API Scan3dSettings {
  PixelFormat format = PixelFormat::kCoord3D_C16;
  // A across the line (x), B along the sweep (y), C the range (z). A 16-bit
  // C format has no A value: x is A's scale and offset applied to the
  // column index.
  Scan3dAxis a, b, c;
  // Scan3dInvalidDataFlag and Scan3dInvalidDataValue: a raw C equal to the
  // value is "no point" (raw, before scale and offset). Float formats also
  // take a NaN coordinate as no point.
  bool invalidDataFlag = false;
  double invalidDataValue = 0.0;
};

// Decodes rows of a Coord3D buffer, one profile per row.
class QUAX_ACQUIRE_API ProfileDecoder {
 public:
  // Throws EAcquireBadSettings for a format that is not a profile format or
  // a scale that is zero or not finite.
  explicit ProfileDecoder(const Scan3dSettings& settings);
  const Scan3dSettings& settings() const noexcept { return _settings; }

  // Row `row` of `buffer` into width values each of x, y and z (y NaN for a
  // format without B); NaN in all three where there is no point. Throws
  // EAcquireBadSettings for a buffer of another format or a row off it.
  void decode(const ImageView& buffer, std::uint32_t row, double* x,
              double* y, double* z) const;

 private:
  Scan3dSettings _settings;
};

// A scan line of the points whose z is not NaN, in column order, each at
// (x[i], y, z[i]) (or y[i] when `ys` is given and y[i] is not NaN). The
// points share one block, carved from `pool` when one is given (the
// acquisition thread's, so that line after line takes no heap block).
QUAX_ACQUIRE_API std::unique_ptr<ScanLine> makeProfileLine(
    const double* x, const double* z, std::size_t count, double y,
    const double* ys = nullptr, ScanPointPool* pool = nullptr);

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_PROFILE_PROFILEDECODER_H_
