// SPDX-License-Identifier: MIT
#include "scan/filters/ScanAverageFilter.h"

#include <cmath>
#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/AverageFilterWide.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/SettingsIO.h"
#include "scan/model/ScanLine.h"
#include "util/TagIO.h"

namespace QUAX {

const std::wstring ScanAverageFilter::_scanAverageFilterKey =
    L"ScanAverageFilter";
const double ScanAverageFilter::_defaultProximityLimit = 500.0;

namespace {

const wchar_t kNeighborhoodSize[] = L"NeighborhoodSize";
const wchar_t kProximityLimit[] = L"ProximityLimit";
const wchar_t kWeights[] = L"Weights";
const wchar_t kValue[] = L"value";

// Sizes read from settings text above this are refused: the window would be
// far longer than any scan line, and the weights of the largest sizes would
// take gigabytes.
constexpr std::int32_t kMaxReadNeighborhoodSize = 1000000;

// Up to this half-window the pass keeps each pair's proximity for reuse
// (a ring of (half + 1) * half flags); beyond it, it tests pairs directly.
constexpr std::int64_t kMaxRingedHalfWindow = 64;

// The pass works through a line in chunks of points, a step at a time over
// each chunk (see filterLine); a chunk holds at most this many points and
// this many proximity flags.
constexpr std::int64_t kMaxChunkPoints = 256;
constexpr std::int64_t kMaxChunkFlags = 1 << 16;

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Two values computed side by side, each rounded as the scalar operation
// rounds it: SSE2 lanes where the processor has them, two doubles otherwise.
#if defined(__SSE2__) || defined(_M_X64)
struct Lanes {
  __m128d v;
  static Lanes load(const double* p) { return {_mm_loadu_pd(p)}; }
  static Lanes all(double x) { return {_mm_set1_pd(x)}; }
  void store(double* p) const { _mm_storeu_pd(p, v); }
  // The lanes where the flag is set, +0 elsewhere.
  Lanes where(bool first, bool second) const {
    const __m128i mask = _mm_set_epi64x(second ? -1 : 0, first ? -1 : 0);
    return {_mm_and_pd(v, _mm_castsi128_pd(mask))};
  }
};
inline Lanes operator+(Lanes a, Lanes b) { return {_mm_add_pd(a.v, b.v)}; }
inline Lanes operator-(Lanes a, Lanes b) { return {_mm_sub_pd(a.v, b.v)}; }
inline Lanes operator*(Lanes a, Lanes b) { return {_mm_mul_pd(a.v, b.v)}; }
inline Lanes operator/(Lanes a, Lanes b) { return {_mm_div_pd(a.v, b.v)}; }
// The square roots as std::sqrt takes them. Elsewhere std::sqrt is
// correctly rounded, as the instruction is; a Windows C library may round
// some roots otherwise (Wine's does), so there they are taken lane by lane,
// and the result stays that of the scalar rule.
#ifdef _WIN32
inline Lanes sqrtOf(Lanes a) {
  double lanes[2];
  _mm_storeu_pd(lanes, a.v);
  return {_mm_set_pd(std::sqrt(lanes[1]), std::sqrt(lanes[0]))};
}
#else
inline Lanes sqrtOf(Lanes a) { return {_mm_sqrt_pd(a.v)}; }
#endif
#else
struct Lanes {
  double a, b;
  static Lanes load(const double* p) { return {p[0], p[1]}; }
  static Lanes all(double x) { return {x, x}; }
  void store(double* p) const {
    p[0] = a;
    p[1] = b;
  }
  Lanes where(bool first, bool second) const {
    return {first ? a : 0.0, second ? b : 0.0};
  }
};
inline Lanes operator+(Lanes x, Lanes y) { return {x.a + y.a, x.b + y.b}; }
inline Lanes operator-(Lanes x, Lanes y) { return {x.a - y.a, x.b - y.b}; }
inline Lanes operator*(Lanes x, Lanes y) { return {x.a * y.a, x.b * y.b}; }
inline Lanes operator/(Lanes x, Lanes y) { return {x.a / y.a, x.b / y.b}; }
inline Lanes sqrtOf(Lanes x) { return {std::sqrt(x.a), std::sqrt(x.b)}; }
#endif

// The fields of the points of a chunk, one array of the chunk's length each
// (plus one, so that pairs may run past an odd end): the window sums and
// counts of step 1, then the chord line (origin, unit direction), the foot
// of the point and the unit normal towards it, their lengths, of step 2.
enum Field {
  kSumAX,
  kSumAY,
  kSumAZ,
  kCountA,
  kSumBX,
  kSumBY,
  kSumBZ,
  kCountB,
  kOriginX,
  kOriginY,
  kOriginZ,
  kDirectionX,
  kDirectionY,
  kDirectionZ,
  kFootX,
  kFootY,
  kFootZ,
  kUnitX,
  kUnitY,
  kUnitZ,
  kChordLength,
  kDistance,
  kFieldCount
};

}  // namespace

struct ScanAverageFilter::Scratch {
  std::vector<double> axes;  // the line as it was before the pass, by axis
  std::vector<unsigned char> ring;    // proximity of i to i + 1 ... i + half
  std::vector<unsigned char> nearby;  // per point of a chunk and position k
  std::vector<double> fields;         // per field and point of a chunk
};

ScanAverageFilter::Scratch* ScanAverageFilter::takeScratch() const {
  for (std::atomic<Scratch*>& slot : _scratch) {
    if (Scratch* kept = slot.exchange(nullptr)) return kept;
  }
  return new Scratch();
}

void ScanAverageFilter::returnScratch(Scratch* scratch) const noexcept {
  for (std::atomic<Scratch*>& slot : _scratch) {
    Scratch* empty = nullptr;
    if (slot.compare_exchange_strong(empty, scratch)) return;
  }
  delete scratch;  // more passes at once than slots
}

ScanAverageFilter::ScanAverageFilter(std::int32_t neighborhoodSize,
                                     double proximityLimit)
    : ScanLineFilter(_scanAverageFilterKey),
      _neighborhoodSize(0),
      _proximityLimit(0.0),
      _scratch{} {
  setNeighborhoodSize(neighborhoodSize);
  if (!(proximityLimit > 0.0)) throw EScanNonPositiveProximityLimit();
  _proximityLimit = proximityLimit;
  computeWeights();
}

ScanAverageFilter::ScanAverageFilter(const ScanAverageFilter& other)
    : ScanLineFilter(other),
      _neighborhoodSize(other._neighborhoodSize),
      _proximityLimit(other._proximityLimit),
      _weights(other._weights),
      _scratch{} {}

ScanAverageFilter& ScanAverageFilter::operator=(
    const ScanAverageFilter& other) {
  if (this == &other) return *this;
  ScanLineFilter::operator=(other);
  _neighborhoodSize = other._neighborhoodSize;
  _proximityLimit = other._proximityLimit;
  _weights = other._weights;
  return *this;
}

ScanAverageFilter::~ScanAverageFilter() {
  for (std::atomic<Scratch*>& slot : _scratch) delete slot.load();
}

double ScanAverageFilter::getDefaultProximityLimit() {
  return _defaultProximityLimit;
}

void ScanAverageFilter::setNeighborhoodSize(std::int32_t neighborhoodSize) {
  if (neighborhoodSize < 1) throw EScanNeighborhoodSizeOutOfRange();
  if (neighborhoodSize % 2 == 0) throw EScanNeighborhoodSizeNotOddNumber();
  _neighborhoodSize = neighborhoodSize;
  _weights.resize(static_cast<std::size_t>(neighborhoodSize));
}

void ScanAverageFilter::computeWeights() {
  const std::int32_t half = _neighborhoodSize / 2;
  const double sigma = _neighborhoodSize / 6.0;
  for (std::int32_t k = 0; k < _neighborhoodSize; ++k) {
    const double x = k - half;
    _weights[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(
        std::exp(((x * x) * -0.5) / sigma / sigma) * 100.0);
  }
}

void ScanAverageFilter::writeSettings(std::wostream& os) const {
  writeSimpleStartTag(os, _scanAverageFilterKey);
  writeAttributeElement(os, kNeighborhoodSize, kValue, _neighborhoodSize);
  writeAttributeElement(os, kProximityLimit, kValue, _proximityLimit);
  for (const std::int32_t weight : _weights) {
    writeAttributeElement(os, kWeights, kValue, weight);
  }
  writeEndTag(os, _scanAverageFilterKey);
}

void ScanAverageFilter::readSettings(std::wistream& is) {
  if (!checkStartTag(is, _scanAverageFilterKey, true)) {
    throwSettingsError<EScanIOBadHeader, ScanAverageFilter>();
  }
  try {
    const std::int32_t size =
        readAttributeElement<std::int32_t>(is, kNeighborhoodSize, kValue);
    _proximityLimit = readAttributeElement<double>(is, kProximityLimit, kValue);
    if (size > kMaxReadNeighborhoodSize) {
      throwSettingsError<EScanIOBadAttribute, ScanAverageFilter>();
    }
    // A negative size makes resize throw std::length_error, which passes.
    if (size != _neighborhoodSize) {
      _weights.resize(
          static_cast<std::size_t>(static_cast<std::int64_t>(size)));
    }
    _neighborhoodSize = size;
    for (std::int32_t& weight : _weights) {
      weight = readAttributeElement<std::int32_t>(is, kWeights, kValue);
    }
  } catch (const EVXIOException&) {
    throwSettingsError<EScanIOBadAttribute, ScanAverageFilter>();
  }
  if (!checkEndTag(is, _scanAverageFilterKey)) {
    throwSettingsError<EScanIOBadFooter, ScanAverageFilter>();
  }
}

// Works from a copy of the line's positions only (the points' extension items
// play no part), kept in buffers that later passes reuse, and computes exactly
// what the point-by-point pass does, faster:
//  - each pair of neighbours is tested for proximity once instead of up to
//    six times (the distance is symmetric to the bit);
//  - the chord is made without _GeoLine's repeated length computations;
//  - the points of a chunk go through one step after the other (window
//    sums, then means, chords and feet, then weighted offsets), so that the
//    long chains of divisions and square roots of neighbouring points
//    overlap instead of waiting for each other. Only the first step decides
//    where the pass ends, and it runs in point order; the two others take
//    two points at a time, in the two lanes of one instruction.
// The arithmetic and its order are those of _GeoLine and _MathVector, in every
// lane, so every result is the same to the bit.
void ScanAverageFilter::filterLine(
    _ScanLine<double, _ScanPoint<double>>* line) const {
  filterPass(line, averageWideSupported());
}

void ScanAverageFilter::filterPass(_ScanLine<double, _ScanPoint<double>>* line,
                                   bool wide) const {
  const std::size_t count = line->getPointCount();
  const std::int64_t n = _neighborhoodSize;
  const double limit = _proximityLimit;
  if (static_cast<std::int64_t>(count) < n || count == 0) return;
  // The first proximity test, at point 0, would refuse a negative limit.
  if (limit < 0.0) throw EMathNegativeTol();

  // The buffers go back to the filter however the pass ends.
  struct Lease {
    const ScanAverageFilter& filter;
    Scratch* scratch;
    ~Lease() { filter.returnScratch(scratch); }
  } lease{*this, takeScratch()};
  Scratch& buffers = *lease.scratch;

  const std::int64_t m = static_cast<std::int64_t>(count);
  const std::int64_t half = n / 2;
  // Window positions 0 ... n - 1; the backward half reaches position `half`
  // even for a size of 0, which settings text may hold.
  const std::int64_t positions = n > half ? n : half + 1;
  // Proximity of point i to points i + 1 ... i + half, kept for the last
  // half + 1 points, so that a backward half-window reads what the earlier
  // points found.
  const bool ringed = half <= kMaxRingedHalfWindow;
  // Rows for at least the last half + 1 points, a power of two so that a
  // point's row is found without a division.
  std::size_t rows = 1;
  while (ringed && rows < static_cast<std::size_t>(half + 1)) rows *= 2;
  const std::size_t rowMask = rows - 1;
  const std::size_t stride = static_cast<std::size_t>(half);
  if (ringed && buffers.ring.size() < rows * stride) {
    buffers.ring.resize(rows * stride);
  }
  std::int64_t chunk = kMaxChunkFlags / positions;
  if (chunk > kMaxChunkPoints) chunk = kMaxChunkPoints;
  if (chunk < 1) chunk = 1;
  const std::size_t flags = static_cast<std::size_t>(chunk * positions);
  if (buffers.nearby.size() < flags) buffers.nearby.resize(flags);
  // One spare entry per field, so that a chunk of odd length runs in pairs.
  const std::size_t fieldLength = static_cast<std::size_t>(chunk) + 1;
  if (buffers.fields.size() < fieldLength * kFieldCount) {
    buffers.fields.resize(fieldLength * kFieldCount);
  }
  double* fields = buffers.fields.data();
  auto field = [fields, fieldLength](Field f) {
    return fields + static_cast<std::size_t>(f) * fieldLength;
  };
  // The positions by axis, with `half` + 4 zeros before and after, so that
  // the pairs of step 3 and the four-lane pass read every window position of
  // their points.
  const std::size_t pad = static_cast<std::size_t>(half) + 4;
  const std::size_t axisLength = count + 2 * pad;
  if (buffers.axes.size() < 3 * axisLength) {
    buffers.axes.resize(3 * axisLength);
  }
  double* xs = buffers.axes.data();
  double* ys = xs + axisLength;
  double* zs = ys + axisLength;
  for (std::size_t j = 0; j < pad; ++j) {
    xs[j] = ys[j] = zs[j] = 0.0;
    xs[pad + count + j] = ys[pad + count + j] = zs[pad + count + j] = 0.0;
  }
  for (std::size_t j = 0; j < count; ++j) {
    const Point& position = line->getPoint(j)->position();
    xs[pad + j] = position.x();
    ys[pad + j] = position.y();
    zs[pad + j] = position.z();
  }
  xs += pad;  // xs[j] is the x of point j, for j from -pad to count + pad
  ys += pad;
  zs += pad;
  auto q = [xs, ys, zs](std::int64_t j) { return Point(xs[j], ys[j], zs[j]); };
  unsigned char* ring = buffers.ring.data();
  const double tolerance = zeroVectorTolerance<double>();
  const DistanceBound proximity(limit);
  if (wide && n == 2 * half + 1 && half >= 1 && half <= kMaxWideHalfWindow &&
      proximity.banded()) {
    averageWide({xs, ys, zs, m, half, _weights.data(), limit, proximity.lower(),
                 proximity.upper()},
                line);
    return;
  }

  bool noBackwardNeighbour = false;
  for (std::int64_t begin = 0; begin < m; begin += chunk) {
    const std::int64_t end = begin + chunk < m ? begin + chunk : m;

    // Step 1, in point order: proximity, window means, and the end of the
    // pass (a forward half-window with fewer than two qualifying points).
    std::int64_t reached = end;
    for (std::int64_t i = begin; i < end; ++i) {
      const Point p = q(i);
      unsigned char* nearby = buffers.nearby.data() +
                              static_cast<std::size_t>((i - begin) * positions);
      const std::int64_t first = i - half;  // index of window position 0
      const std::int64_t kBegin = first < 0 ? -first : 0;
      const std::int64_t kEnd = m - first < positions ? m - first : positions;
      if (ringed) {
        unsigned char* row =
            ring + (static_cast<std::size_t>(i) & rowMask) * stride;
        for (std::int64_t d = 1; d <= half; ++d) {
          row[d - 1] = i + d < m && proximity.holds(p - q(i + d));
        }
        for (std::int64_t k = 0; k < positions; ++k) {
          if (k < kBegin || k >= kEnd) {
            nearby[k] = 0;
          } else if (k < half) {
            const std::size_t j = static_cast<std::size_t>(first + k);
            nearby[k] = ring[(j & rowMask) * stride +
                             static_cast<std::size_t>(half - k - 1)];
          } else if (k == half) {
            // |p - p| is 0 for finite coordinates and not a number otherwise.
            nearby[k] = std::isfinite(p.x()) && std::isfinite(p.y()) &&
                        std::isfinite(p.z()) && 0.0 <= limit;
          } else {
            nearby[k] = row[k - half - 1];
          }
        }
      } else {
        for (std::int64_t k = 0; k < positions; ++k) {
          nearby[k] =
              k >= kBegin && k < kEnd && proximity.holds(p - q(first + k));
        }
      }

      Vector sum;
      std::int64_t qualified = 0;
      for (std::int64_t k = 0; k <= half; ++k) {
        if (!nearby[k]) continue;
        sum = sum + q(first + k).toVector();
        ++qualified;
      }
      // Only a point with a coordinate that is not a finite number fails to
      // qualify for itself; dividing by its count of 0 ends the pass with
      // EMathDivisionByZero, after the points before it are written.
      if (qualified == 0) {
        noBackwardNeighbour = true;
        reached = i;
        break;
      }
      const std::size_t c = static_cast<std::size_t>(i - begin);
      field(kSumAX)[c] = sum.x();
      field(kSumAY)[c] = sum.y();
      field(kSumAZ)[c] = sum.z();
      field(kCountA)[c] = static_cast<double>(qualified);

      sum = Vector();
      qualified = 0;
      for (std::int64_t k = half; k < n; ++k) {
        if (!nearby[k]) continue;
        sum = sum + q(first + k).toVector();
        ++qualified;
      }
      if (qualified < 2) {
        reached = i;
        break;
      }
      field(kSumBX)[c] = sum.x();
      field(kSumBY)[c] = sum.y();
      field(kSumBZ)[c] = sum.z();
      field(kCountB)[c] = static_cast<double>(qualified);
    }
    // The spare entry of an odd end: any finite values.
    if ((reached - begin) % 2 != 0) {
      for (int f = 0; f < kFieldCount; ++f) {
        field(static_cast<Field>(f))[reached - begin] = 1.0;
      }
    }

    // Step 2, two points at a time: window means, chords, feet and unit
    // normals. A chord direction or normal below the zero-vector tolerance
    // would make _GeoLine or the normalization throw; the point then stays
    // (step 3 passes over it).
    for (std::int64_t c = 0; c < reached - begin; c += 2) {
      const Lanes ax =
          Lanes::load(field(kSumAX) + c) / Lanes::load(field(kCountA) + c);
      const Lanes ay =
          Lanes::load(field(kSumAY) + c) / Lanes::load(field(kCountA) + c);
      const Lanes az =
          Lanes::load(field(kSumAZ) + c) / Lanes::load(field(kCountA) + c);
      const Lanes bx =
          Lanes::load(field(kSumBX) + c) / Lanes::load(field(kCountB) + c);
      const Lanes by =
          Lanes::load(field(kSumBY) + c) / Lanes::load(field(kCountB) + c);
      const Lanes bz =
          Lanes::load(field(kSumBZ) + c) / Lanes::load(field(kCountB) + c);
      const Lanes half2 = Lanes::all(0.5);
      const Lanes ox = (ax + bx) * half2;
      const Lanes oy = (ay + by) * half2;
      const Lanes oz = (az + bz) * half2;
      Lanes dx = bx - ax;
      Lanes dy = by - ay;
      Lanes dz = bz - az;
      const Lanes chordLength = sqrtOf(dx * dx + dy * dy + dz * dz);
      dx = dx / chordLength;
      dy = dy / chordLength;
      dz = dz / chordLength;
      const std::int64_t i = begin + c;
      const Lanes px = Lanes::load(xs + i);
      const Lanes py = Lanes::load(ys + i);
      const Lanes pz = Lanes::load(zs + i);
      const Lanes t = (px - ox) * dx + (py - oy) * dy + (pz - oz) * dz;
      const Lanes fx = ox + dx * t;
      const Lanes fy = oy + dy * t;
      const Lanes fz = oz + dz * t;
      const Lanes nx = px - fx;
      const Lanes ny = py - fy;
      const Lanes nz = pz - fz;
      const Lanes distance = sqrtOf(nx * nx + ny * ny + nz * nz);
      ox.store(field(kOriginX) + c);
      oy.store(field(kOriginY) + c);
      oz.store(field(kOriginZ) + c);
      dx.store(field(kDirectionX) + c);
      dy.store(field(kDirectionY) + c);
      dz.store(field(kDirectionZ) + c);
      fx.store(field(kFootX) + c);
      fy.store(field(kFootY) + c);
      fz.store(field(kFootZ) + c);
      (nx / distance).store(field(kUnitX) + c);
      (ny / distance).store(field(kUnitY) + c);
      (nz / distance).store(field(kUnitZ) + c);
      chordLength.store(field(kChordLength) + c);
      distance.store(field(kDistance) + c);
    }

    // Step 3, two points at a time: the weighted mean offset of the window
    // along the normal, and the new position. Points outside the window's
    // qualifying neighbours add +0, which changes no sum (a sum that starts
    // at +0 is never -0).
    for (std::int64_t c = 0; c < reached - begin; c += 2) {
      const std::int64_t i = begin + c;
      const std::int64_t first = i - half;
      const unsigned char* near0 =
          buffers.nearby.data() + static_cast<std::size_t>(c * positions);
      const unsigned char* near1 = near0 + positions;
      const bool pair = c + 1 < reached - begin;
      const Lanes ox = Lanes::load(field(kOriginX) + c);
      const Lanes oy = Lanes::load(field(kOriginY) + c);
      const Lanes oz = Lanes::load(field(kOriginZ) + c);
      const Lanes dx = Lanes::load(field(kDirectionX) + c);
      const Lanes dy = Lanes::load(field(kDirectionY) + c);
      const Lanes dz = Lanes::load(field(kDirectionZ) + c);
      const Lanes fx = Lanes::load(field(kFootX) + c);
      const Lanes fy = Lanes::load(field(kFootY) + c);
      const Lanes fz = Lanes::load(field(kFootZ) + c);
      const Lanes ux = Lanes::load(field(kUnitX) + c);
      const Lanes uy = Lanes::load(field(kUnitY) + c);
      const Lanes uz = Lanes::load(field(kUnitZ) + c);
      Lanes weighted = Lanes::all(0.0);
      std::int64_t weightSum0 = 0;
      std::int64_t weightSum1 = 0;
      for (std::int64_t k = 0; k < n; ++k) {
        const bool in0 = near0[k] != 0;
        const bool in1 = pair && near1[k] != 0;
        if (!in0 && !in1) continue;
        const Lanes qx = Lanes::load(xs + first + k);
        const Lanes qy = Lanes::load(ys + first + k);
        const Lanes qz = Lanes::load(zs + first + k);
        // The neighbour's foot on the chord, as _GeoLine projects (for the
        // point itself, its foot of step 2).
        const Lanes t = (qx - ox) * dx + (qy - oy) * dy + (qz - oz) * dz;
        const Lanes offset = (qx - (ox + dx * t)) * ux +
                             (qy - (oy + dy * t)) * uy +
                             (qz - (oz + dz * t)) * uz;
        const std::int32_t weight = _weights[static_cast<std::size_t>(k)];
        weighted = weighted + (Lanes::all(weight) * offset).where(in0, in1);
        if (in0) weightSum0 += weight;
        if (in1) weightSum1 += weight;
      }
      double sums[2] = {static_cast<double>(weightSum0),
                        static_cast<double>(weightSum1)};
      const Lanes mean = weighted / Lanes::load(sums);
      double moved[3][2];
      (fx + ux * mean).store(moved[0]);
      (fy + uy * mean).store(moved[1]);
      (fz + uz * mean).store(moved[2]);
      const std::int64_t weightSums[2] = {weightSum0, weightSum1};
      for (std::int64_t lane = 0; lane < (pair ? 2 : 1); ++lane) {
        const std::size_t at = static_cast<std::size_t>(c + lane);
        if (field(kChordLength)[at] < tolerance ||
            field(kDistance)[at] < tolerance || weightSums[lane] == 0) {
          continue;
        }
        line->getPoint(static_cast<std::size_t>(i + lane))
            ->setPosition(moved[0][lane], moved[1][lane], moved[2][lane]);
      }
    }

    if (reached < end) break;
  }
  if (noBackwardNeighbour) throw EMathDivisionByZero();
}

std::wostream& operator<<(std::wostream& os, const ScanAverageFilter& f) {
  ScanLineFilterAccess::writeSettings(f, os);
  return os;
}

std::wistream& operator>>(std::wistream& is, ScanAverageFilter& f) {
  ScanLineFilterAccess::readSettings(f, is);
  return is;
}

}  // namespace QUAX
