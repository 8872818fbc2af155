// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/DeviationSweeps.h"

#include <limits>

#include "scan/filters/Rounding.h"

namespace QUAX {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// |q|^2 |c|^2 - (q.c)^2 of the points from j on, one per lane (fused in
// four lanes).
template <class L>
QUAX_ALWAYS_INLINE L offsetSquares(const AnchorOffsets& q, std::size_t j,
                                   const L& cx, const L& cy, const L& cz,
                                   const L& cc) {
  const L t = mulAdd(L::load(q.x + j), cx,
                     mulAdd(L::load(q.y + j), cy, L::load(q.z + j) * cz));
  return mulSub(L::load(q.squared + j), cc, t * t);
}

#ifdef QUAX_WIDE_LANES
// The squared cross products q x c of four points.
QUAX_AVX2_FMA inline Lanes4 crossSquare(Lanes4 qa, Lanes4 qb, Lanes4 ca,
                                        Lanes4 cb) {
  const Lanes4 w = mulSub(qa, cb, qb * ca);
  return w * w;
}

// The lanes of `values` whose index is below `count`, +0 elsewhere.
QUAX_AVX2 inline Lanes4 below(Lanes4 values, Lanes4 index, Lanes4 count) {
  return where(less(index, count), values);
}

// How many of the first `count` chords, whose squared lengths are
// `squared`, lie strictly between `low` and `high` from the first on, up to
// the first that does not.
QUAX_AVX2 inline std::size_t clearChords(Lanes4 squared, double low,
                                         double high, std::size_t count) {
  const int inside = bitsOf(greater(squared, Lanes4::all(low)) &
                            less(squared, Lanes4::all(high)));
  const auto outside = static_cast<unsigned>(~inside) | (1u << count);
  return static_cast<std::size_t>(__builtin_ctz(outside));
}

// The first of the points from ... to - 1, four at a time, whose value
// (group(j) gives those of j ... j + 3) reaches `threshold`, or `to` if
// none: its value goes to `found`, and `before` becomes the largest of
// itself and the values before it (those that are numbers). The last group's
// lanes past `to` are left out.
template <class Group>
QUAX_ALWAYS_INLINE std::size_t firstInGroupsReaching(
    const Group& group, std::size_t from, std::size_t to, double threshold,
    double& before, double& found) {
  const Lanes4 limit = Lanes4::all(threshold);
  const Lanes4 count = Lanes4::all(static_cast<double>(to - from));
  const Lanes4 none = Lanes4::all(-std::numeric_limits<double>::infinity());
  Lanes4 index = Lanes4::counting(0.0);
  Lanes4 largest = Lanes4::all(before);
  for (std::size_t j = from; j < to; j += 4) {
    const Lanes4 values = group(j);
    Lanes4 taken = less(index, count);
    const int reached = bitsOf(atLeast(values, limit) & taken);
    if (reached != 0) {
      const int lane = __builtin_ctz(static_cast<unsigned>(reached));
      double lanes[4];
      values.store(lanes);
      found = lanes[lane];
      taken =
          less(Lanes4::counting(0.0), Lanes4::all(static_cast<double>(lane)));
      before = largestOf(maxOf(blend(none, values, taken), largest));
      return j + static_cast<std::size_t>(lane);
    }
    largest = maxOf(blend(none, values, taken), largest);
    index = index + Lanes4::all(4.0);
  }
  before = largestOf(largest);
  return to;
}

// The anchor and one chord from it, each value in every lane.
struct OneChord {
  Lanes4 oa, ob, ca, cb;
};

QUAX_AVX2 inline OneChord oneChord(double oa, double ob, double ca, double cb) {
  return OneChord{Lanes4::all(oa), Lanes4::all(ob), Lanes4::all(ca),
                  Lanes4::all(cb)};
}

// The squared cross products of the points j ... j + 3 with the chord.
QUAX_AVX2_FMA inline Lanes4 groupSquare(const double* a, const double* b,
                                        std::size_t j, const OneChord& c) {
  return crossSquare(Lanes4::load(a + j) - c.oa, Lanes4::load(b + j) - c.ob,
                     c.ca, c.cb);
}

// largestCrossSquare four points at a time: the last group reaches up to three
// points past `to` (the arrays have room), whose lanes are left out of the
// maximum.
QUAX_AVX2_FMA double largestCrossWide(const double* a, const double* b,
                                      double oa, double ob, double ca,
                                      double cb, std::size_t from,
                                      std::size_t to) {
  const OneChord chord = oneChord(oa, ob, ca, cb);
  const Lanes4 count = Lanes4::all(static_cast<double>(to - from));
  const Lanes4 four = Lanes4::all(4.0);
  Lanes4 index = Lanes4::counting(0.0);
  Lanes4 largest = Lanes4::all(0.0);
  for (std::size_t j = from; j < to; j += 4) {
    largest = maxOf(below(groupSquare(a, b, j, chord), index, count), largest);
    index = index + four;
  }
  return largestOf(largest);
}

// The squared cross products of four points with one chord, for
// firstInGroupsReaching.
struct CrossGroup {
  const double* a;
  const double* b;
  OneChord chord;
  QUAX_AVX2_FMA Lanes4 operator()(std::size_t j) const {
    return groupSquare(a, b, j, chord);
  }
};

QUAX_AVX2_FMA std::size_t firstCrossReachingWide(
    const double* a, const double* b, double oa, double ob, double ca,
    double cb, std::size_t from, std::size_t to, double threshold,
    double& crossed, double& before) {
  return firstInGroupsReaching(CrossGroup{a, b, oneChord(oa, ob, ca, cb)}, from,
                               to, threshold, before, crossed);
}

// largestSquaredDeviation four points at a time, the same arithmetic in
// every lane: the last group reaches up to three points past `to` (the
// arrays have room), whose lanes are left out of the maximum and whose
// squares land past the step's, where nothing reads them.
QUAX_AVX2 double largestSquaredDeviationWide(const double* xs, const double* ys,
                                             const double* zs, std::size_t from,
                                             std::size_t to,
                                             const ChordLine& line,
                                             double* squares) {
  const LineLanes<Lanes4> lanes = lanesOf<Lanes4>(line);
  const Lanes4 none = Lanes4::all(-kInfinity);
  const Lanes4 count = Lanes4::all(static_cast<double>(to - from));
  const Lanes4 four = Lanes4::all(4.0);
  Lanes4 index = Lanes4::counting(0.0);
  Lanes4 largest = none;
  for (std::size_t j = from; j < to; j += 4) {
    const Lanes4 squared =
        squaredDeviationOf(Lanes4::load(xs + j), Lanes4::load(ys + j),
                           Lanes4::load(zs + j), lanes);
    squared.store(squares + (j - from));
    // A lane that is not a number leaves the maximum as it was.
    largest = maxOf(blend(none, squared, less(index, count)), largest);
    index = index + four;
  }
  return largestOf(largest);
}

// largestOffsetSquare four points at a time, the group past the last full
// one with its lanes past `to` taken as 0.
QUAX_AVX2_FMA double largestOffsetSquareWide(const AnchorOffsets& q, double cx,
                                             double cy, double cz, double cc,
                                             std::size_t from, std::size_t to) {
  const Lanes4 vx = Lanes4::all(cx);
  const Lanes4 vy = Lanes4::all(cy);
  const Lanes4 vz = Lanes4::all(cz);
  const Lanes4 vc = Lanes4::all(cc);
  Lanes4 largest = Lanes4::all(0.0);
  std::size_t j = from;
  for (; j + 4 <= to; j += 4) {
    largest = maxOf(offsetSquares(q, j, vx, vy, vz, vc), largest);
  }
  if (j < to) {
    const Lanes4 count = Lanes4::all(static_cast<double>(to - j));
    largest = maxOf(below(offsetSquares(q, j, vx, vy, vz, vc),
                          Lanes4::counting(0.0), count),
                    largest);
  }
  return largestOf(largest);
}

// offsetBoundOf each of four points alone, for firstInGroupsReaching.
struct BoundGroup {
  const PointBoundsSweep& sweep;
  Lanes4 ox, oy, oz, cx, cy, cz, cc, reach;
  QUAX_AVX2_FMA Lanes4 operator()(std::size_t j) const {
    const Lanes4 qx = Lanes4::load(sweep.xs + j) - ox;
    const Lanes4 qy = Lanes4::load(sweep.ys + j) - oy;
    const Lanes4 qz = Lanes4::load(sweep.zs + j) - oz;
    const Lanes4 qq = qx * qx + qy * qy + qz * qz;
    const Lanes4 t = mulAdd(qx, cx, mulAdd(qy, cy, qz * cz));
    return offsetBoundOf(mulSub(qq, cc, t * t), cc, reach, sweep.rounding);
  }
};

QUAX_AVX2_FMA std::size_t firstBoundReachingWide(const PointBoundsSweep& sweep,
                                                 std::size_t from,
                                                 std::size_t to,
                                                 double threshold,
                                                 double& before) {
  const BoundGroup group{sweep,
                         Lanes4::all(sweep.ox),
                         Lanes4::all(sweep.oy),
                         Lanes4::all(sweep.oz),
                         Lanes4::all(sweep.cx),
                         Lanes4::all(sweep.cy),
                         Lanes4::all(sweep.cz),
                         Lanes4::all(sweep.cc),
                         Lanes4::all(sweep.reach)};
  double found = 0.0;
  return firstInGroupsReaching(group, from, to, threshold, before, found);
}

// takeOffsets four points at a time.
QUAX_AVX2 void takeOffsetsWide(const double* xs, const double* ys,
                               const double* zs, double ox, double oy,
                               double oz, std::size_t from, std::size_t to,
                               const AnchorOffsets& q) {
  const Lanes4 vx = Lanes4::all(ox);
  const Lanes4 vy = Lanes4::all(oy);
  const Lanes4 vz = Lanes4::all(oz);
  for (std::size_t j = from; j < to; j += 4) {
    const Lanes4 qx = Lanes4::load(xs + j) - vx;
    const Lanes4 qy = Lanes4::load(ys + j) - vy;
    const Lanes4 qz = Lanes4::load(zs + j) - vz;
    qx.store(q.x + j);
    qy.store(q.y + j);
    qz.store(q.z + j);
    (qx * qx + qy * qy + qz * qz).store(q.squared + j);
  }
}

// The anchor and four chords from it, each value in every lane.
struct FourCrossChords {
  Lanes4 oa, ob;
  Lanes4 ca0, ca1, ca2, ca3;
  Lanes4 cb0, cb1, cb2, cb3;
};
struct FourSquares {
  Lanes4 s0, s1, s2, s3;
};

// The squared cross products of the points j ... j + 3 with the four chords.
QUAX_AVX2_FMA inline FourSquares groupSquares(const double* a, const double* b,
                                              std::size_t j,
                                              const FourCrossChords& c) {
  const Lanes4 qa = Lanes4::load(a + j) - c.oa;
  const Lanes4 qb = Lanes4::load(b + j) - c.ob;
  return FourSquares{
      crossSquare(qa, qb, c.ca0, c.cb0), crossSquare(qa, qb, c.ca1, c.cb1),
      crossSquare(qa, qb, c.ca2, c.cb2), crossSquare(qa, qb, c.ca3, c.cb3)};
}
// Four values as they stand, for firstInGroupsReaching.
struct ValueGroup {
  const double* values;
  QUAX_AVX2 Lanes4 operator()(std::size_t j) const {
    return Lanes4::load(values + j);
  }
};

QUAX_AVX2 std::size_t firstAtLeastWide(const double* values, std::size_t from,
                                       std::size_t to, double threshold,
                                       double& before) {
  double found = 0.0;
  return firstInGroupsReaching(ValueGroup{values}, from, to, threshold, before,
                               found);
}

#endif

}  // namespace

double largestSquaredDeviation(const double* xs, const double* ys,
                               const double* zs, std::size_t from,
                               std::size_t to, const ChordLine& line,
                               double* squares, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) {
    return largestSquaredDeviationWide(xs, ys, zs, from, to, line, squares);
  }
#else
  (void)wide;
#endif
  double best = -kInfinity;
  std::size_t j = from;
  if (to - from >= 2) {
    const LineLanes<Lanes2> lanes = lanesOf<Lanes2>(line);
    Lanes2 largest = Lanes2::all(-kInfinity);
    for (; j + 2 <= to; j += 2) {
      const Lanes2 squared =
          squaredDeviationOf(Lanes2::load(xs + j), Lanes2::load(ys + j),
                             Lanes2::load(zs + j), lanes);
      squared.store(squares + (j - from));
      // A lane that is not a number leaves the maximum as it was.
      largest = maxOf(squared, largest);
    }
    best = largestOf(largest);
  }
  for (; j < to; ++j) {
    const double squared = squaredDeviation(xs, ys, zs, j, line);
    squares[j - from] = squared;
    if (squared > best) best = squared;
  }
  return best;
}

double largestOffsetSquare(const AnchorOffsets& q, double cx, double cy,
                           double cz, double cc, std::size_t from,
                           std::size_t to, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) return largestOffsetSquareWide(q, cx, cy, cz, cc, from, to);
#else
  (void)wide;
#endif
  std::size_t j = from;
  const Lanes2 vx = Lanes2::all(cx);
  const Lanes2 vy = Lanes2::all(cy);
  const Lanes2 vz = Lanes2::all(cz);
  const Lanes2 vc = Lanes2::all(cc);
  Lanes2 largest = Lanes2::all(0.0);
  for (; j + 2 <= to; j += 2) {
    largest = maxOf(offsetSquares(q, j, vx, vy, vz, vc), largest);
  }
  double best = largestOf(largest);
  for (; j < to; ++j) {
    const double t = q.x[j] * cx + q.y[j] * cy + q.z[j] * cz;
    const double squared = q.squared[j] * cc - t * t;
    best = squared > best ? squared : best;
  }
  return best;
}

void takeOffsets(const double* xs, const double* ys, const double* zs,
                 double ox, double oy, double oz, std::size_t from,
                 std::size_t to, const AnchorOffsets& q, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) {
    takeOffsetsWide(xs, ys, zs, ox, oy, oz, from, to, q);
    return;
  }
#else
  (void)wide;
#endif
  for (std::size_t j = from; j < to; ++j) {
    const double qx = xs[j] - ox;
    const double qy = ys[j] - oy;
    const double qz = zs[j] - oz;
    q.x[j] = qx;
    q.y[j] = qy;
    q.z[j] = qz;
    q.squared[j] = qx * qx + qy * qy + qz * qz;
  }
}

std::size_t firstAtLeast(const double* values, std::size_t from, std::size_t to,
                         double threshold, double& before, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) return firstAtLeastWide(values, from, to, threshold, before);
#else
  (void)wide;
#endif
  double most = before;
  std::size_t j = from;
  for (; j < to && !(values[j] >= threshold); ++j) {
    most = values[j] > most ? values[j] : most;
  }
  before = most;
  return j;
}

std::size_t firstBoundReaching(const PointBoundsSweep& sweep, std::size_t from,
                               std::size_t to, double threshold, double& before,
                               bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) return firstBoundReachingWide(sweep, from, to, threshold, before);
#else
  (void)wide;
#endif
  double most = before;
  for (std::size_t j = from; j < to; ++j) {
    const double qx = sweep.xs[j] - sweep.ox;
    const double qy = sweep.ys[j] - sweep.oy;
    const double qz = sweep.zs[j] - sweep.oz;
    const double t = qx * sweep.cx + qy * sweep.cy + qz * sweep.cz;
    const double bound =
        offsetBoundOf((qx * qx + qy * qy + qz * qz) * sweep.cc - t * t,
                      sweep.cc, sweep.reach, sweep.rounding);
    if (bound >= threshold) {
      before = most;
      return j;
    }
    most = bound > most ? bound : most;
  }
  before = most;
  return to;
}

double squaredDeviation(const double* xs, const double* ys, const double* zs,
                        std::size_t j, const ChordLine& line) {
  return squaredDeviationOf(xs[j], ys[j], zs[j], lanesOf<double>(line));
}

double largestCrossSquare(const double* a, const double* b, double oa,
                          double ob, double ca, double cb, std::size_t from,
                          std::size_t to, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) return largestCrossWide(a, b, oa, ob, ca, cb, from, to);
#else
  (void)wide;
#endif
  std::size_t j = from;
  const Lanes2 voa = Lanes2::all(oa);
  const Lanes2 vob = Lanes2::all(ob);
  const Lanes2 vca = Lanes2::all(ca);
  const Lanes2 vcb = Lanes2::all(cb);
  auto squaresAt = [&](std::size_t at) {
    const Lanes2 w =
        (Lanes2::load(a + at) - voa) * vcb - (Lanes2::load(b + at) - vob) * vca;
    return w * w;
  };
  // Two running maxima, so that each waits on every other pair only.
  Lanes2 largest = Lanes2::all(0.0);
  Lanes2 other = Lanes2::all(0.0);
  for (; j + 4 <= to; j += 4) {
    largest = maxOf(squaresAt(j), largest);
    other = maxOf(squaresAt(j + 2), other);
  }
  if (j + 2 <= to) {
    largest = maxOf(squaresAt(j), largest);
    j += 2;
  }
  double best = largestOf(maxOf(largest, other));
  for (; j < to; ++j) {
    const double w = (a[j] - oa) * cb - (b[j] - ob) * ca;
    if (w * w > best) best = w * w;
  }
  return best;
}

std::size_t firstCrossReaching(const double* a, const double* b, double oa,
                               double ob, double ca, double cb,
                               std::size_t from, std::size_t to,
                               double threshold, double& crossed,
                               double& before, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) {
    return firstCrossReachingWide(a, b, oa, ob, ca, cb, from, to, threshold,
                                  crossed, before);
  }
#else
  (void)wide;
#endif
  double best = before;
  for (std::size_t j = from; j < to; ++j) {
    const double w = (a[j] - oa) * cb - (b[j] - ob) * ca;
    if (w * w >= threshold) {
      crossed = w * w;
      before = best;
      return j;
    }
    best = w * w > best ? w * w : best;
  }
  before = best;
  return to;
}

#ifdef QUAX_WIDE_LANES
QUAX_AVX2_FMA std::size_t measureFourSteps(const FourStepSweep& sweep,
                                           double* bounds) {
  const double* a = sweep.a;
  const double* b = sweep.b;
  const std::size_t from = sweep.anchor + 1;
  const std::size_t firstTo = sweep.firstStep + 1;
  // The four chords side by side, and how many of them from the first are
  // clear of the span and tolerances (the others are not read).
  const Lanes4 oa = Lanes4::all(a[sweep.anchor]);
  const Lanes4 ob = Lanes4::all(b[sweep.anchor]);
  const Lanes4 ca = Lanes4::load(a + firstTo) - oa;
  const Lanes4 cb = Lanes4::load(b + firstTo) - ob;
  const Lanes4 squared = ca * ca + cb * cb;
  const std::size_t clear =
      clearChords(squared, sweep.chordLow, sweep.chordHigh, sweep.count);
  if (clear < 2) return clear;
  const std::size_t lastTo = sweep.firstStep + clear;
  // The bounds' factor over each swept chord's squared length (1 for the
  // others), taken while the points are swept.
  const Lanes4 swept =
      less(Lanes4::counting(0.0), Lanes4::all(static_cast<double>(clear)));
  const Lanes4 divisor = blend(Lanes4::all(1.0), squared, swept);
  const Lanes4 scale = Lanes4::all(sweep.factor) / divisor;
  const FourCrossChords chords{oa,
                               ob,
                               spread<0>(ca),
                               spread<1>(ca),
                               spread<2>(ca),
                               spread<3>(ca),
                               spread<0>(cb),
                               spread<1>(cb),
                               spread<2>(cb),
                               spread<3>(cb)};
  Lanes4 best0 = Lanes4::all(0.0);
  Lanes4 best1 = best0;
  Lanes4 best2 = best0;
  Lanes4 best3 = best0;
  std::size_t j = from;
  // Points every chord covers.
  for (; j + 4 <= firstTo; j += 4) {
    const FourSquares s = groupSquares(a, b, j, chords);
    best0 = maxOf(s.s0, best0);
    best1 = maxOf(s.s1, best1);
    best2 = maxOf(s.s2, best2);
    best3 = maxOf(s.s3, best3);
  }
  // The last groups, each chord's lanes up to its own end: chord c covers
  // the first min(firstTo + c, lastTo) - from points.
  auto countOf = [&](std::size_t c) {
    const std::size_t to = firstTo + c < lastTo ? firstTo + c : lastTo;
    return static_cast<double>(to - from);
  };
  // (The lambda is not compiled for AVX2: it hands over no lanes.)
  const Lanes4 n0 = Lanes4::all(countOf(0));
  const Lanes4 n1 = Lanes4::all(countOf(1));
  const Lanes4 n2 = Lanes4::all(countOf(2));
  const Lanes4 n3 = Lanes4::all(countOf(3));
  Lanes4 index = Lanes4::counting(static_cast<double>(j - from));
  const Lanes4 four = Lanes4::all(4.0);
  for (; j < lastTo; j += 4) {
    const FourSquares s = groupSquares(a, b, j, chords);
    best0 = maxOf(below(s.s0, index, n0), best0);
    best1 = maxOf(below(s.s1, index, n1), best1);
    best2 = maxOf(below(s.s2, index, n2), best2);
    best3 = maxOf(below(s.s3, index, n3), best3);
    index = index + four;
  }
  // The four maxima side by side, then their bounds as the one-step
  // measure takes them.
  const Lanes4 most = largestOfEach(best0, best1, best2, best3);
  const Lanes4 sum =
      most + divisor * Lanes4::all(sweep.allowance) + Lanes4::all(sweep.room);
  (sum * scale).store(bounds);
  return clear;
}
#endif

#ifdef QUAX_WIDE_LANES
namespace {

// Four chords from one anchor, each value in every lane.
struct FourChords {
  Lanes4 x[4], y[4], z[4], squared[4];
};

// |q|^2 |c|^2 - (q.c)^2 of the points j ... j + 3 for chord c.
QUAX_AVX2_FMA inline Lanes4 offsetSquaresOf(const AnchorOffsets& q,
                                            std::size_t j,
                                            const FourChords& chords, int c) {
  return offsetSquares(q, j, chords.x[c], chords.y[c], chords.z[c],
                       chords.squared[c]);
}

}  // namespace

QUAX_AVX2_FMA std::size_t sweepFourOffsetSteps(const FourOffsetSweep& sweep,
                                               double* bounds) {
  const std::size_t from = sweep.anchor + 1;
  const std::size_t firstTo = sweep.firstStep + 1;
  // The four chords side by side, and how many of them from the first are
  // clear of the span and tolerances (the others are not read).
  const Lanes4 ox = Lanes4::all(sweep.xs[sweep.anchor]);
  const Lanes4 oy = Lanes4::all(sweep.ys[sweep.anchor]);
  const Lanes4 oz = Lanes4::all(sweep.zs[sweep.anchor]);
  const Lanes4 cx = Lanes4::load(sweep.xs + firstTo) - ox;
  const Lanes4 cy = Lanes4::load(sweep.ys + firstTo) - oy;
  const Lanes4 cz = Lanes4::load(sweep.zs + firstTo) - oz;
  const Lanes4 cc = cx * cx + cy * cy + cz * cz;
  const std::size_t clear =
      clearChords(cc, sweep.chordLow, sweep.chordHigh, sweep.count);
  if (clear < 2) return clear;
  const std::size_t lastTo = sweep.firstStep + clear;
  const FourChords chords{
      {spread<0>(cx), spread<1>(cx), spread<2>(cx), spread<3>(cx)},
      {spread<0>(cy), spread<1>(cy), spread<2>(cy), spread<3>(cy)},
      {spread<0>(cz), spread<1>(cz), spread<2>(cz), spread<3>(cz)},
      {spread<0>(cc), spread<1>(cc), spread<2>(cc), spread<3>(cc)}};
  const AnchorOffsets& q = sweep.offsets;
  Lanes4 best[4] = {Lanes4::all(0.0), Lanes4::all(0.0), Lanes4::all(0.0),
                    Lanes4::all(0.0)};
  std::size_t j = from;
  // Points every chord covers.
  for (; j + 4 <= firstTo; j += 4) {
    for (int c = 0; c < 4; ++c) {
      best[c] = maxOf(offsetSquaresOf(q, j, chords, c), best[c]);
    }
  }
  // The last groups, each chord's lanes up to its own end: chord c covers
  // the first min(firstTo + c, lastTo) - from points.
  Lanes4 index = Lanes4::counting(static_cast<double>(j - from));
  const Lanes4 four = Lanes4::all(4.0);
  Lanes4 ends[4];
  for (std::size_t c = 0; c < 4; ++c) {
    const std::size_t to = firstTo + c < lastTo ? firstTo + c : lastTo;
    ends[c] = Lanes4::all(static_cast<double>(to - from));
  }
  for (; j < lastTo; j += 4) {
    for (int c = 0; c < 4; ++c) {
      best[c] = maxOf(below(offsetSquaresOf(q, j, chords, c), index, ends[c]),
                      best[c]);
    }
    index = index + four;
  }
  const Lanes4 reach = Lanes4::load(sweep.walked + sweep.firstStep) -
                       Lanes4::all(sweep.walked[sweep.anchor]) +
                       Lanes4::all(sweep.walkedRoom);
  offsetBoundOf(largestOfEach(best[0], best[1], best[2], best[3]), cc, reach,
                sweep.rounding)
      .store(bounds);
  return clear;
}
#endif

}  // namespace QUAX
