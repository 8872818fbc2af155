// SPDX-License-Identifier: MIT
// The Coord3D_C16 profiles the camera bench's fake camera sends, shared with
// the benchmarks that filter such profiles from memory, so that both measure
// the same lines.
#ifndef QUAX_BENCH_CAMERAPROFILES_H_
#define QUAX_BENCH_CAMERAPROFILES_H_

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace camera_profiles {

// Writes profile `r` of `width` columns to out[0] ... out[width - 1]: a sine
// surface with a step, a gap of invalid columns (0) and noise of a few
// units, its phase moving with r.
inline void make(std::uint32_t width, std::uint32_t r, std::uint16_t* out) {
  const double phase = r * 0.065;
  for (std::uint32_t c = 0; c < width; ++c) {
    const double u = double(c) / width;
    const double z = 20000 + 3000 * std::sin(u * 8.2 + phase) +
                     (u > 0.6 ? 800 : 0) + ((c * 7 + r) % 13);
    out[c] = (u > 0.15 && u < 0.17) ? 0 : static_cast<std::uint16_t>(z);
  }
}

}  // namespace camera_profiles

#endif  // QUAX_BENCH_CAMERAPROFILES_H_
