// SPDX-License-Identifier: MIT
#include "scan/filters/ChordSweeps.h"

#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace QUAX {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

#if defined(__SSE2__) || defined(_M_X64)
// The larger of two lanes (the second where they compare unordered).
inline double largerLane(__m128d v) {
  double lanes[2];
  _mm_storeu_pd(lanes, v);
  return lanes[0] > lanes[1] ? lanes[0] : lanes[1];
}
#endif

#ifdef QUAX_WIDE_LANES
// The squared cross products q x c of four points.
QUAX_AVX2 inline __m256d crossSquare(__m256d qa, __m256d qb, __m256d ca,
                                     __m256d cb) {
  const __m256d w = _mm256_sub_pd(_mm256_mul_pd(qa, cb), _mm256_mul_pd(qb, ca));
  return _mm256_mul_pd(w, w);
}

// The lanes of `values` whose index is below `count`, +0 elsewhere.
QUAX_AVX2 inline __m256d below(__m256d values, __m256d index, __m256d count) {
  return _mm256_and_pd(values, _mm256_cmp_pd(index, count, _CMP_LT_OQ));
}

// The anchor and one chord from it, each value in every lane.
struct OneChord {
  __m256d oa, ob, ca, cb;
};

QUAX_AVX2 inline OneChord oneChord(double oa, double ob, double ca, double cb) {
  return OneChord{_mm256_set1_pd(oa), _mm256_set1_pd(ob), _mm256_set1_pd(ca),
                  _mm256_set1_pd(cb)};
}

// The squared cross products of the points j ... j + 3 with the chord.
QUAX_AVX2 inline __m256d groupSquare(const double* a, const double* b,
                                     std::size_t j, const OneChord& c) {
  return crossSquare(_mm256_sub_pd(_mm256_loadu_pd(a + j), c.oa),
                     _mm256_sub_pd(_mm256_loadu_pd(b + j), c.ob), c.ca, c.cb);
}

// largestCrossSquare four points at a time, the same products in every lane:
// the last group reaches up to three points past `to` (the arrays have room),
// whose lanes are left out of the maximum.
QUAX_AVX2 double largestCrossWide(const double* a, const double* b, double oa,
                                  double ob, double ca, double cb,
                                  std::size_t from, std::size_t to) {
  const OneChord chord = oneChord(oa, ob, ca, cb);
  const __m256d count = _mm256_set1_pd(static_cast<double>(to - from));
  const __m256d four = _mm256_set1_pd(4.0);
  __m256d index = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
  __m256d largest = _mm256_setzero_pd();
  for (std::size_t j = from; j < to; j += 4) {
    largest = _mm256_max_pd(below(groupSquare(a, b, j, chord), index, count),
                            largest);
    index = _mm256_add_pd(index, four);
  }
  const __m128d half = _mm_max_pd(_mm256_castpd256_pd128(largest),
                                  _mm256_extractf128_pd(largest, 1));
  double lanes[2];
  _mm_storeu_pd(lanes, half);
  return lanes[0] > lanes[1] ? lanes[0] : lanes[1];
}

// firstCrossReaching four points at a time: the last group's lanes past `to`
// never reach.
QUAX_AVX2 std::size_t firstCrossReachingWide(const double* a, const double* b,
                                             double oa, double ob, double ca,
                                             double cb, std::size_t from,
                                             std::size_t to, double threshold,
                                             double& crossed, double& before) {
  const OneChord chord = oneChord(oa, ob, ca, cb);
  const __m256d limit = _mm256_set1_pd(threshold);
  const __m256d count = _mm256_set1_pd(static_cast<double>(to - from));
  const __m256d four = _mm256_set1_pd(4.0);
  __m256d index = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
  __m256d largest = _mm256_set1_pd(before);
  for (std::size_t j = from; j < to; j += 4) {
    const __m256d squared = groupSquare(a, b, j, chord);
    const int reached = _mm256_movemask_pd(
        _mm256_and_pd(_mm256_cmp_pd(squared, limit, _CMP_GE_OQ),
                      _mm256_cmp_pd(index, count, _CMP_LT_OQ)));
    if (reached != 0) {
      double lanes[4];
      double most[4];
      _mm256_storeu_pd(lanes, squared);
      _mm256_storeu_pd(most, largest);
      double best = most[0] > most[1] ? most[0] : most[1];
      best = most[2] > best ? most[2] : best;
      best = most[3] > best ? most[3] : best;
      const int lane = __builtin_ctz(static_cast<unsigned>(reached));
      for (int l = 0; l < lane; ++l) best = lanes[l] > best ? lanes[l] : best;
      crossed = lanes[lane];
      before = best;
      return j + static_cast<std::size_t>(lane);
    }
    largest = _mm256_max_pd(squared, largest);
    index = _mm256_add_pd(index, four);
  }
  return to;
}

// The anchor and four chords from it, each value in every lane.
struct FourChords {
  __m256d oa, ob;
  __m256d ca0, ca1, ca2, ca3;
  __m256d cb0, cb1, cb2, cb3;
};
struct FourSquares {
  __m256d s0, s1, s2, s3;
};

// The squared cross products of the points j ... j + 3 with the four chords.
QUAX_AVX2 inline FourSquares groupSquares(const double* a, const double* b,
                                          std::size_t j, const FourChords& c) {
  const __m256d qa = _mm256_sub_pd(_mm256_loadu_pd(a + j), c.oa);
  const __m256d qb = _mm256_sub_pd(_mm256_loadu_pd(b + j), c.ob);
  return FourSquares{
      crossSquare(qa, qb, c.ca0, c.cb0), crossSquare(qa, qb, c.ca1, c.cb1),
      crossSquare(qa, qb, c.ca2, c.cb2), crossSquare(qa, qb, c.ca3, c.cb3)};
}
#endif

}  // namespace

double largestSquaredDeviation(const double* xs, const double* ys,
                               const double* zs, std::size_t from,
                               std::size_t to, const ChordLine& line,
                               double* squares) {
  double best = -kInfinity;
  std::size_t j = from;
#if defined(__SSE2__) || defined(_M_X64)
  if (to - from >= 2) {
    const __m128d vox = _mm_set1_pd(line.origin.x());
    const __m128d voy = _mm_set1_pd(line.origin.y());
    const __m128d voz = _mm_set1_pd(line.origin.z());
    const __m128d vdx = _mm_set1_pd(line.direction.x());
    const __m128d vdy = _mm_set1_pd(line.direction.y());
    const __m128d vdz = _mm_set1_pd(line.direction.z());
    __m128d largest = _mm_set1_pd(-kInfinity);
    for (; j + 2 <= to; j += 2) {
      const __m128d px = _mm_loadu_pd(xs + j);
      const __m128d py = _mm_loadu_pd(ys + j);
      const __m128d pz = _mm_loadu_pd(zs + j);
      const __m128d t =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(px, vox), vdx),
                                _mm_mul_pd(_mm_sub_pd(py, voy), vdy)),
                     _mm_mul_pd(_mm_sub_pd(pz, voz), vdz));
      const __m128d fx = _mm_sub_pd(px, _mm_add_pd(vox, _mm_mul_pd(vdx, t)));
      const __m128d fy = _mm_sub_pd(py, _mm_add_pd(voy, _mm_mul_pd(vdy, t)));
      const __m128d fz = _mm_sub_pd(pz, _mm_add_pd(voz, _mm_mul_pd(vdz, t)));
      const __m128d squared =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(fx, fx), _mm_mul_pd(fy, fy)),
                     _mm_mul_pd(fz, fz));
      _mm_storeu_pd(squares + (j - from), squared);
      // maxpd gives its second operand when the first is not a number.
      largest = _mm_max_pd(squared, largest);
    }
    best = largerLane(largest);
  }
#endif
  for (; j < to; ++j) {
    const double squared = squaredDeviation(xs, ys, zs, j, line);
    squares[j - from] = squared;
    if (squared > best) best = squared;
  }
  return best;
}

double squaredDeviation(const double* xs, const double* ys, const double* zs,
                        std::size_t j, const ChordLine& line) {
  const double ox = line.origin.x();
  const double oy = line.origin.y();
  const double oz = line.origin.z();
  const double dx = line.direction.x();
  const double dy = line.direction.y();
  const double dz = line.direction.z();
  const double t = (xs[j] - ox) * dx + (ys[j] - oy) * dy + (zs[j] - oz) * dz;
  const double fx = xs[j] - (ox + dx * t);
  const double fy = ys[j] - (oy + dy * t);
  const double fz = zs[j] - (oz + dz * t);
  return fx * fx + fy * fy + fz * fz;
}

double largestCrossSquare(const double* a, const double* b, double oa,
                          double ob, double ca, double cb, std::size_t from,
                          std::size_t to, bool wide) {
#ifdef QUAX_WIDE_LANES
  if (wide) return largestCrossWide(a, b, oa, ob, ca, cb, from, to);
#else
  (void)wide;
#endif
  double best = 0.0;
  std::size_t j = from;
#if defined(__SSE2__) || defined(_M_X64)
  {
    const __m128d voa = _mm_set1_pd(oa);
    const __m128d vob = _mm_set1_pd(ob);
    const __m128d vca = _mm_set1_pd(ca);
    const __m128d vcb = _mm_set1_pd(cb);
    auto squaresAt = [&](std::size_t at) {
      const __m128d qa = _mm_sub_pd(_mm_loadu_pd(a + at), voa);
      const __m128d qb = _mm_sub_pd(_mm_loadu_pd(b + at), vob);
      const __m128d w = _mm_sub_pd(_mm_mul_pd(qa, vcb), _mm_mul_pd(qb, vca));
      return _mm_mul_pd(w, w);
    };
    // Two running maxima, so that each waits on every other pair only.
    __m128d largest = _mm_setzero_pd();
    __m128d other = _mm_setzero_pd();
    for (; j + 4 <= to; j += 4) {
      largest = _mm_max_pd(squaresAt(j), largest);
      other = _mm_max_pd(squaresAt(j + 2), other);
    }
    if (j + 2 <= to) {
      largest = _mm_max_pd(squaresAt(j), largest);
      j += 2;
    }
    largest = _mm_max_pd(largest, other);
    best = largerLane(largest);
  }
#endif
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
  return to;
}

#ifdef QUAX_WIDE_LANES
QUAX_AVX2 std::size_t measureFourSteps(const FourStepSweep& sweep,
                                       double* bounds) {
  const double* a = sweep.a;
  const double* b = sweep.b;
  const std::size_t from = sweep.anchor + 1;
  const std::size_t firstTo = sweep.firstStep + 1;
  // The four chords side by side, and how many of them from the first are
  // clear of the span and tolerances (the others are not read).
  const __m256d oa = _mm256_set1_pd(a[sweep.anchor]);
  const __m256d ob = _mm256_set1_pd(b[sweep.anchor]);
  const __m256d ca = _mm256_sub_pd(_mm256_loadu_pd(a + firstTo), oa);
  const __m256d cb = _mm256_sub_pd(_mm256_loadu_pd(b + firstTo), ob);
  const __m256d squared =
      _mm256_add_pd(_mm256_mul_pd(ca, ca), _mm256_mul_pd(cb, cb));
  const int inside = _mm256_movemask_pd(_mm256_and_pd(
      _mm256_cmp_pd(squared, _mm256_set1_pd(sweep.clearAbove), _CMP_GT_OQ),
      _mm256_cmp_pd(squared, _mm256_set1_pd(sweep.clearBelow), _CMP_LT_OQ)));
  const auto outside = static_cast<unsigned>(~inside) | (1u << sweep.count);
  const auto clear = static_cast<std::size_t>(__builtin_ctz(outside));
  if (clear < 2) return clear;
  const std::size_t lastTo = sweep.firstStep + clear;
  // The bounds' factor over each swept chord's squared length (1 for the
  // others), taken while the points are swept.
  const __m256d swept = _mm256_castsi256_pd(
      _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(clear)),
                         _mm256_set_epi64x(3, 2, 1, 0)));
  const __m256d divisor = _mm256_blendv_pd(_mm256_set1_pd(1.0), squared, swept);
  const __m256d scale = _mm256_div_pd(_mm256_set1_pd(sweep.factor), divisor);
  const FourChords chords{oa,
                          ob,
                          _mm256_permute4x64_pd(ca, 0x00),
                          _mm256_permute4x64_pd(ca, 0x55),
                          _mm256_permute4x64_pd(ca, 0xaa),
                          _mm256_permute4x64_pd(ca, 0xff),
                          _mm256_permute4x64_pd(cb, 0x00),
                          _mm256_permute4x64_pd(cb, 0x55),
                          _mm256_permute4x64_pd(cb, 0xaa),
                          _mm256_permute4x64_pd(cb, 0xff)};
  __m256d best0 = _mm256_setzero_pd();
  __m256d best1 = best0;
  __m256d best2 = best0;
  __m256d best3 = best0;
  std::size_t j = from;
  // Points every chord covers.
  for (; j + 4 <= firstTo; j += 4) {
    const FourSquares s = groupSquares(a, b, j, chords);
    best0 = _mm256_max_pd(s.s0, best0);
    best1 = _mm256_max_pd(s.s1, best1);
    best2 = _mm256_max_pd(s.s2, best2);
    best3 = _mm256_max_pd(s.s3, best3);
  }
  // The last groups, each chord's lanes up to its own end: chord c covers
  // the first min(firstTo + c, lastTo) - from points.
  auto countOf = [&](std::size_t c) {
    const std::size_t to = firstTo + c < lastTo ? firstTo + c : lastTo;
    return static_cast<double>(to - from);
  };
  const __m256d n0 = _mm256_set1_pd(countOf(0));
  const __m256d n1 = _mm256_set1_pd(countOf(1));
  const __m256d n2 = _mm256_set1_pd(countOf(2));
  const __m256d n3 = _mm256_set1_pd(countOf(3));
  const double start = static_cast<double>(j - from);
  __m256d index = _mm256_set_pd(start + 3.0, start + 2.0, start + 1.0, start);
  const __m256d four = _mm256_set1_pd(4.0);
  for (; j < lastTo; j += 4) {
    const FourSquares s = groupSquares(a, b, j, chords);
    best0 = _mm256_max_pd(below(s.s0, index, n0), best0);
    best1 = _mm256_max_pd(below(s.s1, index, n1), best1);
    best2 = _mm256_max_pd(below(s.s2, index, n2), best2);
    best3 = _mm256_max_pd(below(s.s3, index, n3), best3);
    index = _mm256_add_pd(index, four);
  }
  // The four maxima side by side, then their bounds as the one-step
  // measure takes them.
  const __m256d m01 = _mm256_max_pd(_mm256_unpacklo_pd(best0, best1),
                                    _mm256_unpackhi_pd(best0, best1));
  const __m256d m23 = _mm256_max_pd(_mm256_unpacklo_pd(best2, best3),
                                    _mm256_unpackhi_pd(best2, best3));
  const __m256d most = _mm256_max_pd(_mm256_permute2f128_pd(m01, m23, 0x20),
                                     _mm256_permute2f128_pd(m01, m23, 0x31));
  const __m256d sum = _mm256_add_pd(
      _mm256_add_pd(most,
                    _mm256_mul_pd(divisor, _mm256_set1_pd(sweep.allowance))),
      _mm256_set1_pd(1e-300));
  _mm256_storeu_pd(bounds, _mm256_mul_pd(sum, scale));
  return clear;
}
#endif

}  // namespace QUAX
