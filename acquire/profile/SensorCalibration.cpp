// SPDX-License-Identifier: MIT
#include "acquire/profile/SensorCalibration.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>
#include <utility>

#include "acquire/AcquireErrors.h"
#include "util/WideText.h"

namespace QUAX {

namespace {

constexpr double kNoPoint = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint32_t kMaxDegree = 5;
constexpr std::size_t kMaxTableNodes = 1u << 24;
constexpr const char* kMagic = "quax-calibration";

std::size_t termCount(std::uint32_t degree) {
  return static_cast<std::size_t>(degree + 1) * (degree + 2) / 2;
}

bool allFinite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(),
                     [](double v) { return std::isfinite(v); });
}

bool increasing(const std::vector<double>& values) {
  for (std::size_t i = 1; i < values.size(); ++i)
    if (!(values[i] > values[i - 1])) return false;
  return true;
}

// The text format, line by line; every error names the file and the line.
class Reader {
 public:
  Reader(std::istream& in, const std::string& name) : _in(in), _name(name) {}

  // The next line with content, split into words; false at the end.
  bool nextLine() {
    std::string text;
    while (std::getline(_in, text)) {
      ++_line;
      const auto hash = text.find('#');
      if (hash != std::string::npos) text.erase(hash);
      std::istringstream words(text);
      _words.clear();
      for (std::string w; words >> w;) _words.push_back(w);
      if (!_words.empty()) return true;
    }
    if (_in.bad()) fail("cannot be read");
    return false;
  }
  const std::vector<std::string>& words() const { return _words; }

  [[noreturn]] void fail(const std::string& what) const {
    std::string where = _name;
    if (_line > 0) where += " line " + std::to_string(_line);
    throw EAcquireBadCalibration(where + ": " + what);
  }
  double number(std::size_t i) const {
    if (i >= _words.size()) fail("'" + _words[0] + "' needs more values");
    const std::string& w = _words[i];
    std::istringstream in(w);
    in.imbue(std::locale::classic());
    double v = 0.0;
    char extra = 0;
    if (!(in >> v) || (in >> extra) || !std::isfinite(v))
      fail("'" + w + "' is not a finite number");
    return v;
  }
  std::size_t count(std::size_t i, std::size_t largest) const {
    const double v = number(i);
    if (v < 1 || v > static_cast<double>(largest) || v != std::floor(v))
      fail("'" + _words[i] + "' is not a count from 1 to " +
           std::to_string(largest));
    return static_cast<std::size_t>(v);
  }
  // A line "<keyword> v1 ... vn" with exactly n numbers.
  std::vector<double> values(const char* keyword, std::size_t n) {
    if (!nextLine()) fail(std::string("ends before its '") + keyword + "' line");
    if (_words[0] != keyword)
      fail(std::string("expected '") + keyword + "', found '" + _words[0] + "'");
    if (_words.size() != n + 1)
      fail(std::string("'") + keyword + "' needs " + std::to_string(n) +
           " values, found " + std::to_string(_words.size() - 1));
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = number(i + 1);
    return v;
  }

 private:
  std::istream& _in;
  const std::string& _name;
  std::size_t _line = 0;
  std::vector<std::string> _words;
};

}  // namespace

SensorCalibration::SensorCalibration() = default;

SensorCalibration SensorCalibration::linear(double xScale, double xOffset,
                                            double zScale, double zOffset) {
  SensorCalibration c;
  c._model = Model::kLinear;
  c._degree = 1;
  c._x = {xOffset, xScale, 0.0};
  c._z = {zOffset, 0.0, zScale};
  c.check();
  return c;
}

SensorCalibration SensorCalibration::polynomial(std::uint32_t degree,
                                                std::vector<double> x,
                                                std::vector<double> z) {
  SensorCalibration c;
  c._model = Model::kPolynomial;
  c._degree = degree;
  c._x = std::move(x);
  c._z = std::move(z);
  c.check();
  return c;
}

SensorCalibration SensorCalibration::table(std::vector<double> columns,
                                           std::vector<double> rows,
                                           std::vector<double> x,
                                           std::vector<double> z) {
  SensorCalibration c;
  c._model = Model::kTable;
  c._columns = std::move(columns);
  c._rows = std::move(rows);
  c._x = std::move(x);
  c._z = std::move(z);
  c.check();
  return c;
}

void SensorCalibration::check() const {
  auto refuse = [](const std::string& what) {
    throw EAcquireBadCalibration("calibration: " + what);
  };
  if (!allFinite(_x) || !allFinite(_z)) refuse("a value is not finite");
  switch (_model) {
    case Model::kLinear:
      if (_x[1] == 0.0 || _z[2] == 0.0) refuse("a linear scale of 0");
      break;
    case Model::kPolynomial:
      if (_degree > kMaxDegree)
        refuse("polynomial degree " + std::to_string(_degree) +
               " (at most " + std::to_string(kMaxDegree) + ")");
      if (_x.size() != termCount(_degree) || _z.size() != termCount(_degree))
        refuse("a polynomial of degree " + std::to_string(_degree) +
               " has " + std::to_string(termCount(_degree)) +
               " coefficients per axis");
      break;
    case Model::kTable:
      if (_columns.size() < 2 || _rows.size() < 2 || !increasing(_columns) ||
          !increasing(_rows) || !allFinite(_columns) || !allFinite(_rows))
        refuse("table columns and rows must be at least 2 each, strictly "
               "increasing");
      if (_x.size() != _columns.size() * _rows.size() ||
          _z.size() != _x.size())
        refuse("a table of " + std::to_string(_columns.size()) + " x " +
               std::to_string(_rows.size()) + " nodes needs as many x and z");
      break;
  }
  if (!std::isfinite(advance) || !std::isfinite(encoderStep))
    refuse("advance and encoder step must be finite");
}

void SensorCalibration::applyOne(double u, double v, double& x,
                                 double& z) const {
  if (_model != Model::kTable) {
    // Horner over the terms of each total degree would save little at
    // degree 5; the plain sum keeps the term order of the file.
    double sx = 0.0, sz = 0.0;
    std::size_t t = 0;
    double ud[kMaxDegree + 1], vd[kMaxDegree + 1];
    ud[0] = vd[0] = 1.0;
    for (std::uint32_t d = 1; d <= _degree; ++d) {
      ud[d] = ud[d - 1] * u;
      vd[d] = vd[d - 1] * v;
    }
    for (std::uint32_t d = 0; d <= _degree; ++d) {
      for (std::uint32_t j = 0; j <= d; ++j, ++t) {
        const double term = ud[d - j] * vd[j];
        sx += _x[t] * term;
        sz += _z[t] * term;
      }
    }
    x = sx;
    z = sz;
    return;
  }
  const std::size_t nc = _columns.size(), nr = _rows.size();
  if (!(u >= _columns.front() && u <= _columns.back() && v >= _rows.front() &&
        v <= _rows.back())) {
    x = z = kNoPoint;
    return;
  }
  // The cell: the last node at or before (u, v), kept inside the grid.
  const std::size_t i = std::min<std::size_t>(
      nc - 2, static_cast<std::size_t>(
                  std::upper_bound(_columns.begin(), _columns.end(), u) -
                  _columns.begin() - 1));
  const std::size_t j = std::min<std::size_t>(
      nr - 2, static_cast<std::size_t>(
                  std::upper_bound(_rows.begin(), _rows.end(), v) -
                  _rows.begin() - 1));
  const double s = (u - _columns[i]) / (_columns[i + 1] - _columns[i]);
  const double t = (v - _rows[j]) / (_rows[j + 1] - _rows[j]);
  auto at = [&](const std::vector<double>& f) {
    const double f00 = f[j * nc + i], f10 = f[j * nc + i + 1];
    const double f01 = f[(j + 1) * nc + i], f11 = f[(j + 1) * nc + i + 1];
    return (1 - t) * ((1 - s) * f00 + s * f10) + t * ((1 - s) * f01 + s * f11);
  };
  x = at(_x);
  z = at(_z);
}

void SensorCalibration::apply(double firstColumn, const double* rows,
                              std::size_t count, double* x, double* z) const {
  if (_model == Model::kLinear) {
    const double xs = _x[1], xo = _x[0], zs = _z[2], zo = _z[0];
    for (std::size_t i = 0; i < count; ++i) {
      const double v = rows[i];
      const bool none = std::isnan(v);
      x[i] = none ? kNoPoint : xs * (firstColumn + static_cast<double>(i)) + xo;
      z[i] = none ? kNoPoint : zs * v + zo;
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (std::isnan(rows[i])) {
      x[i] = z[i] = kNoPoint;
      continue;
    }
    applyOne(firstColumn + static_cast<double>(i), rows[i], x[i], z[i]);
  }
}

SensorCalibration SensorCalibration::read(std::istream& in,
                                          const std::string& name) {
  Reader r(in, name);
  if (!r.nextLine() || r.words()[0] != kMagic || r.words().size() != 2 ||
      r.words()[1] != "1")
    r.fail(std::string("does not start with '") + kMagic + " 1'");
  SensorCalibration c;
  bool haveModel = false;
  while (r.nextLine()) {
    const std::vector<std::string> w = r.words();
    const std::string& key = w[0];
    if (key == "advance" && w.size() == 2) {
      c.advance = r.number(1);
    } else if (key == "encoder" && w.size() == 2) {
      c.encoderStep = r.number(1);
    } else if (haveModel &&
               (key == "linear" || key == "polynomial" || key == "table")) {
      r.fail("a second model ('" + key + "')");
    } else if (key == "linear" && w.size() == 1) {
      const std::vector<double> x = r.values("x", 2);
      const std::vector<double> z = r.values("z", 2);
      if (x[0] == 0.0 || z[0] == 0.0) r.fail("a linear scale of 0");
      c._model = Model::kLinear;
      c._degree = 1;
      c._x = {x[1], x[0], 0.0};
      c._z = {z[1], 0.0, z[0]};
      haveModel = true;
    } else if (key == "polynomial" && w.size() == 2) {
      const auto degree = static_cast<std::uint32_t>(r.count(1, kMaxDegree));
      c._model = Model::kPolynomial;
      c._degree = degree;
      c._x = r.values("x", termCount(degree));
      c._z = r.values("z", termCount(degree));
      haveModel = true;
    } else if (key == "table" && w.size() == 3) {
      const std::size_t nc = r.count(1, kMaxTableNodes);
      const std::size_t nr = r.count(2, kMaxTableNodes / nc);
      if (nc < 2 || nr < 2) r.fail("a table needs at least 2 x 2 nodes");
      c._model = Model::kTable;
      c._columns = r.values("columns", nc);
      c._rows = r.values("rows", nr);
      if (!increasing(c._columns) || !increasing(c._rows))
        r.fail("table columns and rows must be strictly increasing");
      c._x.clear();
      c._z.clear();
      for (std::size_t k = 0; k < nc * nr; ++k) {
        const std::vector<double> node = r.values("node", 2);
        c._x.push_back(node[0]);
        c._z.push_back(node[1]);
      }
      haveModel = true;
    } else {
      r.fail("unknown line '" + key + "' (or the wrong number of values)");
    }
  }
  if (!haveModel) r.fail("has no model (linear, polynomial or table)");
  try {
    c.check();
  } catch (const EAcquireBadCalibration& e) {
    r.fail(toUtf8(e.getDescription()));
  }
  return c;
}

SensorCalibration SensorCalibration::readFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw EAcquireBadCalibration(path + ": cannot be opened");
  return read(in, path);
}

void SensorCalibration::write(std::ostream& out) const {
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s << std::setprecision(17);
  s << kMagic << " 1\n";
  s << "advance " << advance << "\n";
  if (encoderStep != 0.0) s << "encoder " << encoderStep << "\n";
  auto list = [&](const char* key, const std::vector<double>& v,
                  std::size_t from, std::size_t n) {
    s << key;
    for (std::size_t i = from; i < from + n; ++i) s << ' ' << v[i];
    s << '\n';
  };
  switch (_model) {
    case Model::kLinear:
      s << "linear\nx " << _x[1] << ' ' << _x[0] << "\nz " << _z[2] << ' '
        << _z[0] << '\n';
      break;
    case Model::kPolynomial:
      s << "polynomial " << _degree << '\n';
      list("x", _x, 0, _x.size());
      list("z", _z, 0, _z.size());
      break;
    case Model::kTable:
      s << "table " << _columns.size() << ' ' << _rows.size() << '\n';
      list("columns", _columns, 0, _columns.size());
      list("rows", _rows, 0, _rows.size());
      for (std::size_t k = 0; k < _x.size(); ++k)
        s << "node " << _x[k] << ' ' << _z[k] << '\n';
      break;
  }
  out << s.str();
}

}  // namespace QUAX
