// SPDX-License-Identifier: MIT
#include "acquire/profile/ProfileDecoder.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "acquire/AcquireErrors.h"

namespace QUAX {

namespace {

constexpr double kNoPoint = std::numeric_limits<double>::quiet_NaN();

void checkAxis(const Scan3dAxis& axis, const char* name) {
  if (!std::isfinite(axis.scale) || axis.scale == 0.0 ||
      !std::isfinite(axis.offset)) {
    throw EAcquireBadSettings(std::string("Scan3dCoordinate") + name +
                              ": scale " + std::to_string(axis.scale) +
                              " and offset " + std::to_string(axis.offset) +
                              " do not map raw values to coordinates");
  }
}

}  // namespace

ProfileDecoder::ProfileDecoder(const Scan3dSettings& settings)
    : _settings(settings) {
  if (!isProfileFormat(settings.format)) {
    throw EAcquireBadSettings("profiles come as Coord3D_C16 or Coord3D_ABC32f, "
                              "not " + pixelFormatName(settings.format));
  }
  checkAxis(settings.a, "A");
  checkAxis(settings.b, "B");
  checkAxis(settings.c, "C");
}

void ProfileDecoder::decode(const ImageView& buffer, std::uint32_t row,
                            double* x, double* y, double* z) const {
  if (buffer.format != _settings.format || row >= buffer.height) {
    throw EAcquireBadSettings(
        "row " + std::to_string(row) + " of a " +
        pixelFormatName(buffer.format) + " buffer of " +
        std::to_string(buffer.height) + " rows is not a " +
        pixelFormatName(_settings.format) + " profile");
  }
  const Scan3dAxis& a = _settings.a;
  const Scan3dAxis& b = _settings.b;
  const Scan3dAxis& c = _settings.c;
  const bool flagged = _settings.invalidDataFlag;
  const double invalid = _settings.invalidDataValue;
  const std::uint32_t width = buffer.width;
  if (_settings.format == PixelFormat::kCoord3D_C16) {
    const auto* raw = reinterpret_cast<const std::uint16_t*>(buffer.row(row));
    for (std::uint32_t i = 0; i < width; ++i) {
      const double v = raw[i];
      const bool none = flagged && v == invalid;
      x[i] = none ? kNoPoint : a.scale * static_cast<double>(i) + a.offset;
      y[i] = kNoPoint;
      z[i] = none ? kNoPoint : c.scale * v + c.offset;
    }
    return;
  }
  const auto* raw = reinterpret_cast<const float*>(buffer.row(row));
  for (std::uint32_t i = 0; i < width; ++i) {
    const double va = raw[3 * i], vb = raw[3 * i + 1], vc = raw[3 * i + 2];
    const bool none = std::isnan(va) || std::isnan(vb) || std::isnan(vc) ||
                      (flagged && vc == invalid);
    x[i] = none ? kNoPoint : a.scale * va + a.offset;
    y[i] = none ? kNoPoint : b.scale * vb + b.offset;
    z[i] = none ? kNoPoint : c.scale * vc + c.offset;
  }
}

std::unique_ptr<ScanLine> makeProfileLine(const double* x, const double* z,
                                          std::size_t count, double y,
                                          const double* ys,
                                          ScanPointPool* pool) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) kept += std::isnan(z[i]) ? 0 : 1;
  auto line = std::make_unique<ScanLine>();
  std::size_t i = 0;
  line->getPoints().makeBlock(
      kept,
      [&] {
        while (std::isnan(z[i])) ++i;
        const double yi = ys != nullptr && !std::isnan(ys[i]) ? ys[i] : y;
        const _GeoPoint<double> p(x[i], yi, z[i]);
        ++i;
        return p;
      },
      pool);
  return line;
}

}  // namespace QUAX
