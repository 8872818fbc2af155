// SPDX-License-Identifier: MIT
// Internal: four doubles side by side in 256-bit lanes (AVX2), for the
// filters' passes that the processor's features choose at run time. Only
// defined where the compiler can build such code (GCC or Clang on x86):
// QUAX_WIDE_LANES is then set.
#ifndef QUAX_SCAN_FILTERS_WIDELANES_H_
#define QUAX_SCAN_FILTERS_WIDELANES_H_

#if (defined(__GNUC__) || defined(__clang__)) && \
    (defined(__x86_64__) || defined(__i386__))
#define QUAX_WIDE_LANES 1

#include <immintrin.h>

#include <cmath>

// Every function that touches the lanes is compiled for AVX2 and nothing
// more: without fused multiply-add every lane rounds each operation as the
// scalar code does, so the lanes give the same bits.
#define QUAX_AVX2 __attribute__((target("avx2")))

namespace QUAX {

// Whether the processor runs the lanes' code.
inline bool wideLanesSupported() { return __builtin_cpu_supports("avx2") != 0; }

// Four values computed side by side, and masks of four lanes (all bits set
// where true).
struct Wide {
  __m256d v;
};
QUAX_AVX2 inline Wide load(const double* p) { return {_mm256_loadu_pd(p)}; }
QUAX_AVX2 inline Wide all(double x) { return {_mm256_set1_pd(x)}; }
QUAX_AVX2 inline void store(Wide a, double* p) { _mm256_storeu_pd(p, a.v); }
QUAX_AVX2 inline Wide operator+(Wide a, Wide b) {
  return {_mm256_add_pd(a.v, b.v)};
}
QUAX_AVX2 inline Wide operator-(Wide a, Wide b) {
  return {_mm256_sub_pd(a.v, b.v)};
}
QUAX_AVX2 inline Wide operator*(Wide a, Wide b) {
  return {_mm256_mul_pd(a.v, b.v)};
}
QUAX_AVX2 inline Wide operator/(Wide a, Wide b) {
  return {_mm256_div_pd(a.v, b.v)};
}
QUAX_AVX2 inline Wide operator&(Wide a, Wide b) {
  return {_mm256_and_pd(a.v, b.v)};
}
QUAX_AVX2 inline Wide operator|(Wide a, Wide b) {
  return {_mm256_or_pd(a.v, b.v)};
}
// The lanes of `a` where `mask` is set, +0 elsewhere.
QUAX_AVX2 inline Wide where(Wide mask, Wide a) { return mask & a; }
QUAX_AVX2 inline Wide equal(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)};
}
QUAX_AVX2 inline Wide less(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)};
}
QUAX_AVX2 inline Wide atMost(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)};
}
QUAX_AVX2 inline Wide atLeast(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ)};
}
// !(a < b), !(a <= b) and !(a == b), as C++ compares: true for a value that
// is not a number.
QUAX_AVX2 inline Wide notLess(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NLT_UQ)};
}
QUAX_AVX2 inline Wide notAtMost(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NLE_UQ)};
}
QUAX_AVX2 inline Wide notEqual(Wide a, Wide b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NEQ_UQ)};
}
// Bit l set where lane l of the mask is.
QUAX_AVX2 inline int bitsOf(Wide mask) { return _mm256_movemask_pd(mask.v); }
QUAX_AVX2 inline Wide maskOf(int bits) {
  const __m256i lane = _mm256_set_epi64x(8, 4, 2, 1);
  const __m256i set = _mm256_and_si256(_mm256_set1_epi64x(bits), lane);
  return {_mm256_castsi256_pd(_mm256_cmpeq_epi64(set, lane))};
}
// The square roots as std::sqrt takes them: a Windows C library may round
// some roots otherwise than the processor's instruction does, so there each
// lane goes through std::sqrt as the scalar code does.
#ifdef _WIN32
QUAX_AVX2 inline Wide sqrtOf(Wide a) {
  double lanes[4];
  store(a, lanes);
  return {_mm256_set_pd(std::sqrt(lanes[3]), std::sqrt(lanes[2]),
                        std::sqrt(lanes[1]), std::sqrt(lanes[0]))};
}
#else
QUAX_AVX2 inline Wide sqrtOf(Wide a) { return {_mm256_sqrt_pd(a.v)}; }
#endif

}  // namespace QUAX

#endif

#endif  // QUAX_SCAN_FILTERS_WIDELANES_H_
