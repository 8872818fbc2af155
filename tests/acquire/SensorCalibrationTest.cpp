// SPDX-License-Identifier: MIT
// Calibration: each model against its formula, files written and read back
// exactly, and files that do not parse refused with the line that is wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "acquire/AcquireErrors.h"
#include "acquire/profile/SensorCalibration.h"

namespace QUAX {
namespace {

std::vector<double> random(std::mt19937& rng, std::size_t n) {
  std::uniform_real_distribution<double> d(-2, 2);
  std::vector<double> v(n);
  for (double& x : v) x = d(rng);
  return v;
}

// The polynomial written out term by term in the documented order.
double polynomialAt(const std::vector<double>& k, unsigned degree, double u,
                    double v) {
  double s = 0;
  std::size_t t = 0;
  for (unsigned d = 0; d <= degree; ++d)
    for (unsigned j = 0; j <= d; ++j) s += k[t++] * std::pow(u, d - j) * std::pow(v, j);
  return s;
}

SensorCalibration roundTrip(const SensorCalibration& c) {
  std::stringstream file;
  c.write(file);
  return SensorCalibration::read(file, "trip.cal");
}

TEST(SensorCalibration, ModelsFollowTheirFormulasAndSurviveAFile) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> row(0, 60);
  const std::vector<double> rows = {3.25, std::nan(""), 17.5, 59.0, 0.0};
  std::vector<double> x(5), z(5), x2(5), z2(5);
  for (unsigned degree = 1; degree <= 5; ++degree) {
    const std::size_t n = (degree + 1) * (degree + 2) / 2;
    auto kx = random(rng, n), kz = random(rng, n);
    SensorCalibration c = SensorCalibration::polynomial(degree, kx, kz);
    c.advance = 0.125 * degree;
    c.apply(100.0, rows.data(), rows.size(), x.data(), z.data());
    roundTrip(c).apply(100.0, rows.data(), rows.size(), x2.data(), z2.data());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (std::isnan(rows[i])) {
        EXPECT_TRUE(std::isnan(x[i]) && std::isnan(z[i]));
        continue;
      }
      const double u = 100.0 + i;
      EXPECT_NEAR(x[i], polynomialAt(kx, degree, u, rows[i]),
                  1e-12 * std::pow(160.0, degree));
      EXPECT_NEAR(z[i], polynomialAt(kz, degree, u, rows[i]),
                  1e-12 * std::pow(160.0, degree));
      EXPECT_EQ(x2[i], x[i]);
      EXPECT_EQ(z2[i], z[i]);
    }
    EXPECT_EQ(roundTrip(c).y(8), 8 * 0.125 * degree);
  }
  // Linear is the polynomial of degree 1 with its two scales.
  const auto lin = roundTrip(SensorCalibration::linear(0.05, -25.0, 0.01, 80.0));
  EXPECT_EQ(lin.model(), SensorCalibration::Model::kLinear);
  lin.apply(10.0, rows.data(), rows.size(), x.data(), z.data());
  SensorCalibration::polynomial(1, {-25.0, 0.05, 0.0}, {80.0, 0.0, 0.01})
      .apply(10.0, rows.data(), rows.size(), x2.data(), z2.data());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (std::isnan(rows[i])) continue;
    EXPECT_DOUBLE_EQ(x[i], x2[i]);
    EXPECT_DOUBLE_EQ(z[i], z2[i]);
  }

  // A table gives its nodes back, is bilinear inside a cell (so exact for a
  // bilinear function) and has no point off its grid.
  const std::vector<double> cols = {0, 10, 25, 60}, rws = {0, 8, 30};
  auto fx = [](double u, double v) { return 0.3 * u - 0.1 * v + 0.002 * u * v; };
  auto fz = [](double u, double v) { return 5.0 + 0.7 * v - 0.01 * u * v; };
  std::vector<double> tx, tz;
  for (double v : rws)
    for (double u : cols) tx.push_back(fx(u, v)), tz.push_back(fz(u, v));
  const auto table = roundTrip(SensorCalibration::table(cols, rws, tx, tz));
  for (int k = 0; k < 200; ++k) {
    const double u = 60.0 * k / 199.0, v = row(rng) / 2;
    double px, pz;
    table.apply(u, &v, 1, &px, &pz);
    EXPECT_NEAR(px, fx(u, v), 1e-12);
    EXPECT_NEAR(pz, fz(u, v), 1e-12);
  }
  const double off[] = {30.5, -0.1};
  table.apply(60.5, off, 1, x.data(), z.data());
  table.apply(10.0, off + 1, 1, x.data() + 1, z.data() + 1);
  EXPECT_TRUE(std::isnan(x[0]) && std::isnan(z[1]));
}

TEST(SensorCalibration, RefusesFilesThatDoNotParseNamingTheLine) {
  struct Bad {
    const char* text;
    const char* says;
  };
  const Bad bad[] = {
      {"", "does not start with"},
      {"quax-calibration 2\nlinear\nx 1 0\nz 1 0\n", "line 1"},
      {"quax-calibration 1\n", "no model"},
      {"quax-calibration 1\nlinear\nx 1 0\n", "ends before its 'z'"},
      {"quax-calibration 1\nlinear\nx 1 zero\nz 1 0\n", "line 3: 'zero'"},
      {"quax-calibration 1\nlinear\nx 0 1\nz 1 0\n", "scale of 0"},
      {"quax-calibration 1\nlinear\nx 1 0 5\nz 1 0\n", "needs 2 values"},
      {"quax-calibration 1\nlinear\nx 1 0\nz 1 0\nlinear\n", "second model"},
      {"quax-calibration 1\npolynomial 6\n", "from 1 to 5"},
      {"quax-calibration 1\npolynomial 2\nx 1 2 3\n", "needs 6 values"},
      {"quax-calibration 1\ntable 2 2\ncolumns 0 1\nrows 1 1\n",
       "strictly increasing"},
      {"quax-calibration 1\ntable 2 2\ncolumns 0 1\nrows 0 1\nnode 0 0\n",
       "ends before its 'node'"},
      {"quax-calibration 1\nadvance nan\nlinear\nx 1 0\nz 1 0\n", "'nan'"},
      {"quax-calibration 1\nspeed 4\n", "line 2: unknown line 'speed'"},
  };
  for (const Bad& b : bad) {
    std::istringstream in(b.text);
    try {
      SensorCalibration::read(in, "cell.cal");
      ADD_FAILURE() << "accepted: " << b.text;
    } catch (const EAcquireBadCalibration& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("cell.cal"), std::string::npos) << what;
      EXPECT_NE(what.find(b.says), std::string::npos) << what;
    }
  }
  EXPECT_THROW(SensorCalibration::readFile("/nonexistent/cell.cal"),
               EAcquireBadCalibration);
}

}  // namespace
}  // namespace QUAX
