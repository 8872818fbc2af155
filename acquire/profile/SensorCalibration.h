// SPDX-License-Identifier: MIT
// From sensor coordinates (column, line row) to scan coordinates (x, z), and
// the y of each profile. The file format is described in
// docs/acquisition.md.
#ifndef QUAX_ACQUIRE_PROFILE_SENSORCALIBRATION_H_
#define QUAX_ACQUIRE_PROFILE_SENSORCALIBRATION_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "acquire/QUAXAcquireExport.h"

namespace QUAX {

// A value semantic type: copies share nothing. apply() is const and may be
// called from several threads at once.
class QUAX_ACQUIRE_API SensorCalibration {
 public:
  enum class Model : std::uint32_t { kLinear, kPolynomial, kTable };

  // The identity: x = column, z = row, y = profile index.
  SensorCalibration();
  // x = xScale * column + xOffset, z = zScale * row + zOffset.
  static SensorCalibration linear(double xScale, double xOffset,
                                  double zScale, double zOffset);
  // x and z as polynomials of total degree `degree` (0 to 5) in u = column
  // and v = row, with (degree + 1)(degree + 2) / 2 coefficients each, in the
  // order 1; u, v; u^2, u v, v^2; u^3, u^2 v, ...
  static SensorCalibration polynomial(std::uint32_t degree,
                                      std::vector<double> x,
                                      std::vector<double> z);
  // A grid of measured (x, z) at the sensor columns `columns` and rows
  // `rows` (each strictly increasing, at least 2), x and z row by row (all
  // columns of rows[0] first); between grid nodes bilinear, outside the grid
  // no point.
  static SensorCalibration table(std::vector<double> columns,
                                 std::vector<double> rows,
                                 std::vector<double> x, std::vector<double> z);
  // Reads the text format; `name` (the file's) heads every error message,
  // with the line. Throws EAcquireBadCalibration.
  static SensorCalibration read(std::istream& in, const std::string& name);
  static SensorCalibration readFile(const std::string& path);
  // Writes the text format, which read() gives back exactly.
  void write(std::ostream& out) const;

  Model model() const noexcept { return _model; }

  // y of profile `index`: index * advance, or, where the camera sends an
  // encoder count and encoderStep is set, count * encoderStep.
  double advance = 1.0;
  double encoderStep = 0.0;
  double y(std::uint64_t index) const noexcept {
    return static_cast<double>(index) * advance;
  }
  double yOfEncoder(std::int64_t count) const noexcept {
    return static_cast<double>(count) * encoderStep;
  }

  // (x, z) of `count` columns starting at firstColumn whose line rows are
  // rows[i]; NaN in both where rows[i] is NaN or off the table.
  void apply(double firstColumn, const double* rows, std::size_t count,
             double* x, double* z) const;

 private:
  void check() const;
  void applyOne(double u, double v, double& x, double& z) const;

  Model _model = Model::kLinear;
  std::uint32_t _degree = 1;
  std::vector<double> _x{0.0, 1.0, 0.0};  // per model: linear and
  std::vector<double> _z{0.0, 0.0, 1.0};  // polynomial coefficients, or
  std::vector<double> _columns, _rows;    // the table's values
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_PROFILE_SENSORCALIBRATION_H_
