// SPDX-License-Identifier: MIT
// Plain, step-by-step versions of the filters' algorithms, written for
// clarity rather than speed: full copies, _GeoLine constructions that throw,
// three proximity tests per neighbour. The tests check that the library's
// filters give the same results to the bit.
#ifndef QUAX_TESTS_SCAN_FILTERS_REFERENCEFILTERS_H_
#define QUAX_TESTS_SCAN_FILTERS_REFERENCEFILTERS_H_

#include <cmath>
#include <cstdint>
#include <vector>

#include "geomath/GeoErrors.h"
#include "geomath/GeoLine.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"

namespace QUAX {
namespace reference {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;
using Points = std::vector<Point>;

// Writes each new position into `out` as it is found, so that `out` shows
// how far the pass got when it throws.
inline void averageInto(const Points& line, int n, double r,
                        const std::vector<int>& w, Points& out) {
  const Points copy = line;
  out = line;
  const int m = static_cast<int>(copy.size());
  if (m < n) return;
  const int h = n / 2;
  for (int i = 0; i < m; ++i) {
    const Point p = copy[i];
    Vector sum;
    int count = 0;
    for (int k = 0; k <= h; ++k) {
      const int j = i - h + k;
      if (j < 0 || j >= m) continue;
      if (p.isNear(copy[j], r)) {
        sum = sum + copy[j].toVector();
        ++count;
      }
    }
    const Vector a = sum / static_cast<double>(count);
    sum = Vector();
    count = 0;
    for (int k = h; k <= n - 1; ++k) {
      const int j = i - h + k;
      if (j < 0 || j >= m) continue;
      if (p.isNear(copy[j], r)) {
        sum = sum + copy[j].toVector();
        ++count;
      }
    }
    if (count < 2) return;
    const Vector b = sum / static_cast<double>(count);
    try {
      const _GeoLine<double> chord(Point((a + b) / 2.0), b - a);
      const Point f = chord.project(p);
      Vector u = p - f;
      u.normalize();
      double s = 0.0;
      double weights = 0.0;
      for (int k = 0; k <= n - 1; ++k) {
        const int j = i - h + k;
        if (j < 0 || j >= m) continue;
        if (!p.isNear(copy[j], r)) continue;
        const double d = (copy[j] - chord.project(copy[j])).dot(u);
        s += w[k] * d;
        weights += w[k];
      }
      if (weights == 0) continue;
      out[i] = f + u * (s / weights);
    } catch (const EGeoDegenerateVector&) {
    } catch (const EMathZeroVector&) {
    }
  }
}

inline Points average(const Points& line, int n, double r,
                      const std::vector<int>& w) {
  Points out;
  averageInto(line, n, r, w, out);
  return out;
}

inline Points chordalDeviation(const Points& p, double limit, double span) {
  const std::size_t n = p.size();
  if (n < 3) return p;
  Points out;
  out.push_back(p[0]);
  std::size_t a = 0;
  for (std::size_t i = 1; i <= n - 2; ++i) {
    const double s = (p[i + 1] - p[a]).length();
    if (s >= span) {
      out.push_back(p[i]);
      a = i;
      continue;
    }
    try {
      const _GeoLine<double> chord(p[a], p[i + 1] - p[a]);
      for (std::size_t j = a + 1; j <= i; ++j) {
        const double d = (p[j] - chord.project(p[j])).length();
        if (d >= limit) {
          if (j - 1 == a) {
            out.push_back(p[j]);
            a = j;
          } else {
            out.push_back(p[j - 1]);
            a = j - 1;
          }
          break;
        }
      }
    } catch (const EGeoDegenerateVector&) {
    }
  }
  out.push_back(p[n - 1]);
  return out;
}

inline Points equalIndex(const Points& p, int N) {
  const int n = static_cast<int>(p.size());
  if (n < N) throw EScanNPointFilterTooLarge();
  const double step = static_cast<double>(n - 1) / static_cast<double>(N - 1);
  double x = 0.0;
  Points out;
  for (int i = 0; i < N; ++i) {
    out.push_back(p[static_cast<int>(x + 0.5)]);
    x += step;
  }
  return out;
}

// Returns the kept positions; `exact` tells whether the count was N (the
// filter throws EScanNPointFilterPointsNotExact otherwise).
inline Points equalArcLength(const Points& p, int N, bool& exact) {
  const int n = static_cast<int>(p.size());
  if (n < N) throw EScanNPointFilterTooLarge();
  double length = 0.0;
  bool gap = false;
  for (int i = 0; i + 1 < n; ++i) {
    const double s = (p[i + 1] - p[i]).length();
    if (s <= 2000.0) {
      length += s;
    } else {
      gap = true;
    }
  }
  const double h = length / (N - 1);
  std::vector<Point> slots(static_cast<std::size_t>(N) + 8);
  std::vector<int> filledBy(slots.size(), -1);
  slots[0] = p[0];
  filledBy[0] = 0;
  int j = 0;
  double w = 0.0;
  for (int i = 0; i + 1 < n; ++i) {
    const Point a = p[i];
    const Point b = p[i + 1];
    const double s = (b - a).length();
    if (gap && s >= 2000.0) continue;
    if (s + w < h) {
      w = w + s;
      continue;
    }
    Vector u = b - a;
    try {
      u.normalize();
    } catch (const EMathZeroVector&) {
      continue;
    }
    double t = h - w;
    do {
      const Point q = a + u * t;
      j = j + 1;
      const bool takeB = (q - b).length() <= (q - a).length();
      slots[j] = takeB ? b : a;
      filledBy[j] = takeB ? i + 1 : i;
      if (filledBy[j] == filledBy[j - 1]) j = j - 1;
      w = (q - b).length();
      t = t + h;
    } while (w >= h);
  }
  int c;
  if (j + 1 < N - 1) {
    slots[j + 1] = p[n - 1];
    c = j + 2;
  } else {
    slots[N - 1] = p[n - 1];
    c = N;
  }
  exact = c == N;
  return Points(slots.begin(), slots.begin() + c);
}

struct NoEstimate {};

inline Points chordalSearch(const Points& line, int N) {
  const int n = static_cast<int>(line.size());
  if (n < N) throw EScanNPointFilterTooLarge();
  if (n < N + 3) throw EScanNPointFilterTooLarge();
  double length = 0.0, minimum = 999999.99, maximum = -999999.99, sum = 0.0;
  int count = 0;
  for (int i = 0; i <= n - 3; ++i) {
    length = length + (line[i + 1] - line[i]).length();
    try {
      const _GeoLine<double> chord(line[i], line[i + 2] - line[i]);
      const double d = (line[i + 1] - chord.project(line[i + 1])).length();
      sum = sum + d;
      count = count + 1;
      if (d > maximum) maximum = d;
      if (d < minimum) minimum = d;
    } catch (const EGeoDegenerateVector&) {
    }
  }
  const double mean = sum / static_cast<double>(count);
  const double lmin = minimum > 0.25 ? minimum : 0.25;
  const double span = 10.0 * length;
  if (lmin <= 0) throw EScanNonPositiveDeviationLimit();
  if (span <= 0) throw EScanNonPositiveMaxSpan();
  auto run = [&](double limit) {
    return static_cast<int>(chordalDeviation(line, limit, span).size());
  };
  const int cmin = run(lmin);
  if (mean <= 0) throw EScanNonPositiveDeviationLimit();
  const int cmean = run(mean);
  if (maximum <= 0) throw EScanNonPositiveDeviationLimit();
  const int cmax = run(maximum);
  double lp, lm;
  int cp, cm;
  if (cmean < N) {
    lp = lmin, cp = cmin, lm = mean, cm = cmean;
  } else {
    lp = mean, cp = cmean, lm = maximum, cm = cmax;
  }
  auto estimate = [&]() {
    if (cp == cm) throw NoEstimate();
    return (lp - lm) / (cp - cm) * (N - cm) + lm;
  };
  double lambda;
  try {
    lambda = estimate();
    if (lambda <= 0) lambda = (lp + lm) * 0.25;
  } catch (const NoEstimate&) {
    lambda = (minimum + maximum) * 0.5;
    if (lambda <= 0) lambda = 0.25;
  }
  double delta = lambda * 0.5;
  int direction = 0;  // 1 raising, -1 lowering
  bool halving = false, small = false, done = false;
  int trial = 1;
  while (!done) {
    if (trial > 100) throw EScanNPointFilterSolutionNotFound();
    const int c = run(lambda);
    if (c == N) {
      done = true;
    } else if (small && c < N) {
      done = true;
    } else {
      const int next = c < N ? -1 : 1;
      if (direction != 0 && next != direction) halving = true;
      direction = next;
      if (halving) {
        if (delta < 0.0001) small = true;
        lambda = direction < 0 ? lambda - delta : lambda + delta;
        if (lambda <= 0) lambda = 0.25;
        delta = delta * 0.5;
      } else {
        if (c < N) {
          lm = lambda, cm = c;
        } else {
          lp = lambda, cp = c;
        }
        try {
          double next_lambda = estimate();
          if (next_lambda <= 0) next_lambda = (lp + lm) * 0.25;
          delta = std::fabs(next_lambda - lambda);
          lambda = next_lambda;
        } catch (const NoEstimate&) {
          lambda = direction < 0 ? lambda - delta : lambda + delta;
          if (lambda <= 0) lambda = 0.25;
          halving = true;
        }
      }
    }
    trial = trial + 1;
  }
  const Points out = chordalDeviation(line, lambda, span);
  if (static_cast<int>(out.size()) != N) {
    throw EScanNPointFilterPointsNotExact();
  }
  return out;
}

}  // namespace reference
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_FILTERS_REFERENCEFILTERS_H_
