// SPDX-License-Identifier: MIT
// Internal: doubles computed side by side, two lanes (Lanes2: SSE2 where the
// processor has it, two plain doubles otherwise) and four lanes (Lanes4:
// AVX2, chosen at run time; only where the compiler can build such code, GCC
// or Clang on x86, which sets QUAX_WIDE_LANES). Both speak one vocabulary:
// L::load, L::all, store, the four operations, sqrtOf, maxOf, the
// comparisons (masks of all bits set where true) and bitsOf, so that a loop
// reads the same for either width.
//
// Every lane rounds each operation as the scalar code rounds it, so the
// lanes give the scalar code's bits: nothing fuses a multiply and an add but
// mulAdd and mulSub in four lanes, which only the sweeps that bound a
// deviation (with room for either rounding) use. The libraries compile with
// -ffp-contract=off, so that the compiler fuses nothing by itself where the
// processor target allows it.
#ifndef QUAX_SCAN_FILTERS_SIMD_LANES_H_
#define QUAX_SCAN_FILTERS_SIMD_LANES_H_

#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
#define QUAX_TWO_LANES 1
#include <emmintrin.h>
#endif

#if (defined(__GNUC__) || defined(__clang__)) && \
    (defined(__x86_64__) || defined(__i386__))
#define QUAX_WIDE_LANES 1
#include <immintrin.h>
// Every function that touches four lanes is compiled for AVX2 and nothing
// more; the bound sweeps for AVX2 with fused multiply-add.
#define QUAX_AVX2 __attribute__((target("avx2")))
#define QUAX_AVX2_FMA __attribute__((target("avx2,fma")))
#endif

// Inlined into each caller, even unoptimised, and so compiled for the
// caller's target. A formula written once for every lane type (a double
// being one lane) is: AVX2 in the four-lane code, the base processor
// elsewhere, never compiled on its own, where four lanes would lack AVX2.
#if defined(__GNUC__) || defined(__clang__)
#define QUAX_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QUAX_ALWAYS_INLINE inline
#endif

namespace QUAX {

// Square roots of lanes as std::sqrt takes them. Elsewhere std::sqrt is
// correctly rounded, as the processor's instruction is; a Windows C library
// may round some roots otherwise (Wine's does), so there the lanes' roots go
// through std::sqrt one by one, and the result stays that of the scalar code.
#ifdef _WIN32
constexpr bool kLaneRootsByLibrary = true;
#else
constexpr bool kLaneRootsByLibrary = false;
#endif

// std::sqrt of each of the `count` values.
inline void libraryRoots(double* values, int count) {
  for (int l = 0; l < count; ++l) values[l] = std::sqrt(values[l]);
}

// a > b ? a : b (b when either is not a number), without a branch: the
// compiler leaves some of these to a jump, which mispredicts on a line's
// changing values.
inline double maxOf(double a, double b) {
#ifdef QUAX_TWO_LANES
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(a), _mm_set_sd(b)));
#else
  return a > b ? a : b;
#endif
}

#ifdef QUAX_TWO_LANES

struct Lanes2 {
  static constexpr int kCount = 2;
  __m128d v;
  static Lanes2 load(const double* p) { return {_mm_loadu_pd(p)}; }
  static Lanes2 all(double x) { return {_mm_set1_pd(x)}; }
  // Lane 0 from `first`, lane 1 from `second`.
  static Lanes2 of(double first, double second) {
    return {_mm_set_pd(second, first)};
  }
  void store(double* p) const { _mm_storeu_pd(p, v); }
  // The lanes where the flag is set, +0 elsewhere.
  Lanes2 where(bool first, bool second) const {
    const __m128i mask = _mm_set_epi64x(second ? -1 : 0, first ? -1 : 0);
    return {_mm_and_pd(v, _mm_castsi128_pd(mask))};
  }
};
inline Lanes2 operator+(Lanes2 a, Lanes2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline Lanes2 operator-(Lanes2 a, Lanes2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline Lanes2 operator*(Lanes2 a, Lanes2 b) { return {_mm_mul_pd(a.v, b.v)}; }
inline Lanes2 operator/(Lanes2 a, Lanes2 b) { return {_mm_div_pd(a.v, b.v)}; }
inline Lanes2 sqrtOf(Lanes2 a) {
  if (kLaneRootsByLibrary) {
    double lanes[2];
    a.store(lanes);
    libraryRoots(lanes, 2);
    return Lanes2::load(lanes);
  }
  return {_mm_sqrt_pd(a.v)};
}
// Per lane a > b ? a : b (b when either is not a number).
inline Lanes2 maxOf(Lanes2 a, Lanes2 b) { return {_mm_max_pd(a.v, b.v)}; }
// The larger lane (the second where they compare unordered).
inline double largestOf(Lanes2 a) {
  double lanes[2];
  a.store(lanes);
  return lanes[0] > lanes[1] ? lanes[0] : lanes[1];
}

#else

struct Lanes2 {
  static constexpr int kCount = 2;
  double a, b;
  static Lanes2 load(const double* p) { return {p[0], p[1]}; }
  static Lanes2 all(double x) { return {x, x}; }
  static Lanes2 of(double first, double second) { return {first, second}; }
  void store(double* p) const {
    p[0] = a;
    p[1] = b;
  }
  Lanes2 where(bool first, bool second) const {
    return {first ? a : 0.0, second ? b : 0.0};
  }
};
inline Lanes2 operator+(Lanes2 x, Lanes2 y) { return {x.a + y.a, x.b + y.b}; }
inline Lanes2 operator-(Lanes2 x, Lanes2 y) { return {x.a - y.a, x.b - y.b}; }
inline Lanes2 operator*(Lanes2 x, Lanes2 y) { return {x.a * y.a, x.b * y.b}; }
inline Lanes2 operator/(Lanes2 x, Lanes2 y) { return {x.a / y.a, x.b / y.b}; }
inline Lanes2 sqrtOf(Lanes2 x) { return {std::sqrt(x.a), std::sqrt(x.b)}; }
inline Lanes2 maxOf(Lanes2 x, Lanes2 y) {
  return {x.a > y.a ? x.a : y.a, x.b > y.b ? x.b : y.b};
}
inline double largestOf(Lanes2 x) { return x.a > x.b ? x.a : x.b; }

#endif  // QUAX_TWO_LANES

// x in every lane of L (L = double: x itself).
template <class L>
QUAX_ALWAYS_INLINE L allLanes(double x) {
  return L::all(x);
}
template <>
QUAX_ALWAYS_INLINE double allLanes<double>(double x) {
  return x;
}

#ifdef QUAX_WIDE_LANES

// Whether the processor runs the four lanes' code.
inline bool wideLanesSupported() { return __builtin_cpu_supports("avx2") != 0; }
// Whether it also runs the fused multiply-add of the bound sweeps.
inline bool fusedLanesSupported() {
  return wideLanesSupported() && __builtin_cpu_supports("fma") != 0;
}

struct Lanes4 {
  static constexpr int kCount = 4;
  __m256d v;
  QUAX_AVX2 static Lanes4 load(const double* p) { return {_mm256_loadu_pd(p)}; }
  QUAX_AVX2 static Lanes4 all(double x) { return {_mm256_set1_pd(x)}; }
  // Lane l holds l + `first`.
  QUAX_AVX2 static Lanes4 counting(double first) {
    return {_mm256_set_pd(first + 3.0, first + 2.0, first + 1.0, first)};
  }
  // The mask of the lanes whose bit is set in `bits`.
  QUAX_AVX2 static Lanes4 maskOf(int bits) {
    const __m256i lane = _mm256_set_epi64x(8, 4, 2, 1);
    const __m256i set = _mm256_and_si256(_mm256_set1_epi64x(bits), lane);
    return {_mm256_castsi256_pd(_mm256_cmpeq_epi64(set, lane))};
  }
  QUAX_AVX2 void store(double* p) const { _mm256_storeu_pd(p, v); }
};
QUAX_AVX2 inline Lanes4 operator+(Lanes4 a, Lanes4 b) {
  return {_mm256_add_pd(a.v, b.v)};
}
QUAX_AVX2 inline Lanes4 operator-(Lanes4 a, Lanes4 b) {
  return {_mm256_sub_pd(a.v, b.v)};
}
QUAX_AVX2 inline Lanes4 operator*(Lanes4 a, Lanes4 b) {
  return {_mm256_mul_pd(a.v, b.v)};
}
QUAX_AVX2 inline Lanes4 operator/(Lanes4 a, Lanes4 b) {
  return {_mm256_div_pd(a.v, b.v)};
}
QUAX_AVX2 inline Lanes4 operator&(Lanes4 a, Lanes4 b) {
  return {_mm256_and_pd(a.v, b.v)};
}
QUAX_AVX2 inline Lanes4 operator|(Lanes4 a, Lanes4 b) {
  return {_mm256_or_pd(a.v, b.v)};
}
QUAX_AVX2 inline Lanes4 sqrtOf(Lanes4 a) {
  if (kLaneRootsByLibrary) {
    double lanes[4];
    a.store(lanes);
    libraryRoots(lanes, 4);
    return Lanes4::load(lanes);
  }
  return {_mm256_sqrt_pd(a.v)};
}
// Per lane a > b ? a : b (b when either is not a number).
QUAX_AVX2 inline Lanes4 maxOf(Lanes4 a, Lanes4 b) {
  return {_mm256_max_pd(a.v, b.v)};
}
// The lanes of `a` where `mask` is set, +0 elsewhere.
QUAX_AVX2 inline Lanes4 where(Lanes4 mask, Lanes4 a) { return mask & a; }
// The lanes of `b` where `mask` is set, of `a` elsewhere.
QUAX_AVX2 inline Lanes4 blend(Lanes4 a, Lanes4 b, Lanes4 mask) {
  return {_mm256_blendv_pd(a.v, b.v, mask.v)};
}
QUAX_AVX2 inline Lanes4 equal(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)};
}
QUAX_AVX2 inline Lanes4 less(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)};
}
QUAX_AVX2 inline Lanes4 greater(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)};
}
QUAX_AVX2 inline Lanes4 atMost(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)};
}
QUAX_AVX2 inline Lanes4 atLeast(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ)};
}
// !(a < b), !(a <= b) and !(a == b), as C++ compares: true for a value that
// is not a number.
QUAX_AVX2 inline Lanes4 notLess(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NLT_UQ)};
}
QUAX_AVX2 inline Lanes4 notAtMost(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NLE_UQ)};
}
QUAX_AVX2 inline Lanes4 notEqual(Lanes4 a, Lanes4 b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NEQ_UQ)};
}
// Bit l set where lane l of the mask is.
QUAX_AVX2 inline int bitsOf(Lanes4 mask) { return _mm256_movemask_pd(mask.v); }
// Every lane holding lane `l` of `a`.
template <int l>
QUAX_AVX2 inline Lanes4 spread(Lanes4 a) {
  return {_mm256_permute4x64_pd(a.v, l * 0x55)};
}
// The running maxima of lanes of squares: lane l holds the largest of lanes
// 0 ... l and zero (as maxOf takes them, pairwise).
QUAX_AVX2 inline Lanes4 runningLargest(Lanes4 a) {
  const __m256d zero = _mm256_setzero_pd();
  // Lanes 0, 0, 1, 2 with lane 0 cleared; then 0, 0, 0 and 1.
  const __m256d byOne =
      _mm256_blend_pd(_mm256_permute4x64_pd(a.v, 0x90), zero, 1);
  const __m256d one = _mm256_max_pd(a.v, byOne);
  const __m256d byTwo = _mm256_permute2f128_pd(one, one, 0x08);
  return {_mm256_max_pd(one, byTwo)};
}
// Lane l of the result: the larger of the lanes of a[l] (the four maxima of
// four vectors side by side).
QUAX_AVX2 inline Lanes4 largestOfEach(Lanes4 a0, Lanes4 a1, Lanes4 a2,
                                      Lanes4 a3) {
  const __m256d m01 = _mm256_max_pd(_mm256_unpacklo_pd(a0.v, a1.v),
                                    _mm256_unpackhi_pd(a0.v, a1.v));
  const __m256d m23 = _mm256_max_pd(_mm256_unpacklo_pd(a2.v, a3.v),
                                    _mm256_unpackhi_pd(a2.v, a3.v));
  return {_mm256_max_pd(_mm256_permute2f128_pd(m01, m23, 0x20),
                        _mm256_permute2f128_pd(m01, m23, 0x31))};
}
// The larger of the lanes, as largestOf(Lanes2) takes it on the halves'
// maxima.
QUAX_AVX2 inline double largestOf(Lanes4 a) {
  const __m128d half =
      _mm_max_pd(_mm256_castpd256_pd128(a.v), _mm256_extractf128_pd(a.v, 1));
  double lanes[2];
  _mm_storeu_pd(lanes, half);
  return lanes[0] > lanes[1] ? lanes[0] : lanes[1];
}

// a * b + c and a * b - c, each rounded once.
QUAX_AVX2_FMA inline Lanes4 mulAdd(Lanes4 a, Lanes4 b, Lanes4 c) {
  return {_mm256_fmadd_pd(a.v, b.v, c.v)};
}
QUAX_AVX2_FMA inline Lanes4 mulSub(Lanes4 a, Lanes4 b, Lanes4 c) {
  return {_mm256_fmsub_pd(a.v, b.v, c.v)};
}

#endif  // QUAX_WIDE_LANES

// a * b + c and a * b - c, the product and the sum each rounded, for lanes
// that do not fuse them (four lanes fuse them: see above).
template <class L>
QUAX_ALWAYS_INLINE L mulAdd(L a, L b, L c) {
  return a * b + c;
}
template <class L>
QUAX_ALWAYS_INLINE L mulSub(L a, L b, L c) {
  return a * b - c;
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SIMD_LANES_H_
