// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/FourLaneThinning.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/LongSpans.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

#ifdef QUAX_WIDE_LANES

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Spans of fewer points than this are tested four points at a time at every
// step (eight tests at most); on longer ones the bounds of LongSpans pay
// off.
constexpr std::size_t kWideSpan = 32;

// The walk keeps the chords of four steps from one anchor: their lengths and
// unit directions by lane, lane l for step first + l.
struct FourChords {
  double length[4];
  double x[4];
  double y[4];
  double z[4];
  std::size_t anchor;
  std::size_t first;
};

// The chords from p[anchor] to p[i + 1] ... p[i + 4], each as the chord line
// makes it: the difference, its length as _MathVector::length() takes it and
// the difference divided by that length.
QUAX_AVX2 void setUp(FourChords& chords, const double* xs, const double* ys,
                     const double* zs, std::size_t anchor, std::size_t i) {
  const Lanes4 cx = Lanes4::load(xs + i + 1) - Lanes4::all(xs[anchor]);
  const Lanes4 cy = Lanes4::load(ys + i + 1) - Lanes4::all(ys[anchor]);
  const Lanes4 cz = Lanes4::load(zs + i + 1) - Lanes4::all(zs[anchor]);
  const Lanes4 length = sqrtOf(cx * cx + cy * cy + cz * cz);
  length.store(chords.length);
  (cx / length).store(chords.x);
  (cy / length).store(chords.y);
  (cz / length).store(chords.z);
  chords.anchor = anchor;
  chords.first = i;
}

// The first j in anchor + 1 ... i whose deviation from the chord line
// through p[anchor] along (ux, uy, uz) reaches the limit, or `none`: each
// lane computes the deviation as ChordLine::project and DistanceBound do,
// and a lane whose squared deviation lies above the band's lower end is
// decided as DistanceBound::reachedBy decides it.
QUAX_AVX2 std::size_t firstReaching(const double* xs, const double* ys,
                                    const double* zs, std::size_t anchor,
                                    std::size_t i, double ux, double uy,
                                    double uz, const DistanceBound& deviation,
                                    double limit, std::size_t none) {
  const Lanes4 ox = Lanes4::all(xs[anchor]);
  const Lanes4 oy = Lanes4::all(ys[anchor]);
  const Lanes4 oz = Lanes4::all(zs[anchor]);
  const Lanes4 dx = Lanes4::all(ux);
  const Lanes4 dy = Lanes4::all(uy);
  const Lanes4 dz = Lanes4::all(uz);
  const Lanes4 lower = Lanes4::all(deviation.lower());
  for (std::size_t j = anchor + 1; j <= i; j += 4) {
    const Lanes4 px = Lanes4::load(xs + j);
    const Lanes4 py = Lanes4::load(ys + j);
    const Lanes4 pz = Lanes4::load(zs + j);
    const Lanes4 t = (px - ox) * dx + (py - oy) * dy + (pz - oz) * dz;
    const Lanes4 ex = px - (ox + dx * t);
    const Lanes4 ey = py - (oy + dy * t);
    const Lanes4 ez = pz - (oz + dz * t);
    const Lanes4 squared = ex * ex + ey * ey + ez * ez;
    const std::size_t count = i - j + 1;
    int maybe = bitsOf(notAtMost(squared, lower)) &
                (count >= 4 ? 15 : (1 << count) - 1);
    if (maybe == 0) continue;
    double lanes[4];
    squared.store(lanes);
    for (; maybe != 0; maybe &= maybe - 1) {
      const int l = __builtin_ctz(static_cast<unsigned>(maybe));
      if (lanes[l] >= deviation.upper() || std::sqrt(lanes[l]) >= limit) {
        return j + static_cast<std::size_t>(l);
      }
    }
  }
  return none;
}

}  // namespace

bool chordalWideRuns(double deviationLimit) {
  return wideLanesSupported() && DistanceBound(deviationLimit).banded();
}

// The steps of thinByChordalDeviation in the same order with the same
// decisions; the coordinates are first copied by axis, with four lanes of
// zeros after the last point for the loads that reach past it (their lanes
// are never used).
QUAX_AVX2 std::size_t thinByChordalDeviationWide(const Point* p, std::size_t n,
                                                 double deviationLimit,
                                                 double maxSpan, Point* out,
                                                 ChordalWork& work) {
  const double tolerance = zeroVectorTolerance<double>();
  const std::size_t none = n;
  const std::size_t stride = n + 4;
  if (work.lanes.size() < 3 * stride) work.lanes.resize(3 * stride);
  double* xs = work.lanes.data();
  double* ys = xs + stride;
  double* zs = ys + stride;
  for (std::size_t i = 0; i < n; ++i) {
    xs[i] = p[i].x();
    ys[i] = p[i].y();
    zs[i] = p[i].z();
  }
  for (std::size_t i = n; i < stride; ++i) xs[i] = ys[i] = zs[i] = 0.0;
  const DistanceBound deviation(deviationLimit);
  LongSpans spans(p, n, deviationLimit, work);

  FourChords chords;
  chords.anchor = none;
  chords.first = 0;
  std::size_t kept = 0;
  std::size_t anchor = 0;
  out[kept++] = p[0];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (chords.anchor != anchor || i - chords.first >= 4) {
      setUp(chords, xs, ys, zs, anchor, i);
    }
    const std::size_t l = i - chords.first;
    const double span = chords.length[l];
    if (span >= maxSpan) {
      out[kept++] = p[i];
      anchor = i;
      continue;
    }
    if (span < kEpsilon) {
      spans.skip(i);
      continue;
    }
    if (span < tolerance) throw EMathZeroVector();
    const std::size_t hit =
        i - anchor < kWideSpan
            ? firstReaching(xs, ys, zs, anchor, i, chords.x[l], chords.y[l],
                            chords.z[l], deviation, deviationLimit, none)
            : spans.firstReaching(
                  anchor, i,
                  ChordLine(p[anchor],
                            Vector(chords.x[l], chords.y[l], chords.z[l])));
    if (hit != none) {
      const std::size_t keep = hit - 1 == anchor ? hit : hit - 1;
      out[kept++] = p[keep];
      anchor = keep;
    }
  }
  out[kept++] = p[n - 1];
  return kept;
}

#else

bool chordalWideRuns(double) { return false; }

std::size_t thinByChordalDeviationWide(const _GeoPoint<double>*, std::size_t,
                                       double, double, _GeoPoint<double>*,
                                       ChordalWork&) {
  return 0;
}

#endif

}  // namespace QUAX
