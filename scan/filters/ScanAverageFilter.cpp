// SPDX-License-Identifier: MIT
#include "scan/filters/ScanAverageFilter.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/AverageChord.h"
#include "scan/filters/AverageFilterWide.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/SettingsIO.h"
#include "scan/filters/simd/Lanes.h"
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

// Two points' values side by side, each rounded as the scalar code rounds it.
using Lanes = Lanes2;

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

// The buffers of one pass, kept by the filter for the next ones.
struct PassBuffers {
  std::vector<double> axes;  // the line as it was before the pass, by axis
  std::vector<unsigned char> ring;    // proximity of i to i + 1 ... i + half
  std::vector<unsigned char> nearby;  // per point of a chunk and position k
  std::vector<double> fields;         // per field and point of a chunk
};

}  // namespace

struct ScanAverageFilter::Scratch : PassBuffers {};

ScanAverageFilter::ScanAverageFilter(std::int32_t neighborhoodSize,
                                     double proximityLimit)
    : ScanLineFilter(_scanAverageFilterKey),
      _neighborhoodSize(0),
      _proximityLimit(0.0) {
  setNeighborhoodSize(neighborhoodSize);
  if (!(proximityLimit > 0.0)) throw EScanNonPositiveProximityLimit();
  _proximityLimit = proximityLimit;
  computeWeights();
}

ScanAverageFilter::ScanAverageFilter(const ScanAverageFilter& other)
    : ScanLineFilter(other),
      _neighborhoodSize(other._neighborhoodSize),
      _proximityLimit(other._proximityLimit),
      _weights(other._weights) {}

ScanAverageFilter& ScanAverageFilter::operator=(
    const ScanAverageFilter& other) {
  if (this == &other) return *this;
  ScanLineFilter::operator=(other);
  _neighborhoodSize = other._neighborhoodSize;
  _proximityLimit = other._proximityLimit;
  _weights = other._weights;
  return *this;
}

ScanAverageFilter::~ScanAverageFilter() = default;

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

namespace {

// One pass's view of its line and buffers.
struct Pass {
  explicit Pass(double bound) : limit(bound), proximity(bound) {}

  std::int64_t m;          // the line's point count
  std::int64_t n;          // the window size, as the settings hold it
  std::int64_t half;       // n / 2
  std::int64_t positions;  // window positions, at least half + 1
  std::int64_t chunk;      // points per chunk
  // Proximity of point i to points i + 1 ... i + half, kept for the last
  // half + 1 points in rows of `stride` flags, so that a backward
  // half-window reads what the earlier points found.
  bool ringed;
  std::size_t rowMask;  // rows - 1, the row count a power of two
  std::size_t stride;
  std::size_t fieldLength;  // per field: the chunk and a spare entry
  double limit;
  DistanceBound proximity;
  const std::int32_t* weights;
  // xs[j] is the x of point j, for j from -(half + 4) to count + half + 3.
  const double* xs;
  const double* ys;
  const double* zs;
  unsigned char* ring;
  unsigned char* nearby;
  double* fields;

  double* field(Field f) const {
    return fields + static_cast<std::size_t>(f) * fieldLength;
  }
  Point q(std::int64_t j) const { return Point(xs[j], ys[j], zs[j]); }
  // The proximity flags of the chunk's point c, by window position.
  unsigned char* nearbyOf(std::int64_t c) const {
    return nearby + static_cast<std::size_t>(c * positions);
  }
};

// Sizes the buffers for a line of m points and a window of n (m >= n,
// m >= 1) and copies the line's positions into them, by axis, with
// `half` + 4 zeros before and after, so that the pairs of step 3 and the
// four-lane pass read every window position of their points.
Pass layOutPass(PassBuffers& buffers,
                const _ScanLine<double, _ScanPoint<double>>& line,
                std::int64_t n, double limit, const std::int32_t* weights) {
  Pass pass(limit);
  pass.m = static_cast<std::int64_t>(line.getPointCount());
  pass.n = n;
  pass.half = n / 2;
  // The backward half reaches position `half` even for a size of 0, which
  // settings text may hold.
  pass.positions = n > pass.half ? n : pass.half + 1;
  pass.ringed = pass.half <= kMaxRingedHalfWindow;
  std::size_t rows = 1;
  while (pass.ringed && rows < static_cast<std::size_t>(pass.half + 1)) {
    rows *= 2;
  }
  pass.rowMask = rows - 1;
  pass.stride = static_cast<std::size_t>(pass.half);
  if (pass.ringed && buffers.ring.size() < rows * pass.stride) {
    buffers.ring.resize(rows * pass.stride);
  }
  pass.chunk = kMaxChunkFlags / pass.positions;
  if (pass.chunk > kMaxChunkPoints) pass.chunk = kMaxChunkPoints;
  if (pass.chunk < 1) pass.chunk = 1;
  const std::size_t flags =
      static_cast<std::size_t>(pass.chunk * pass.positions);
  if (buffers.nearby.size() < flags) buffers.nearby.resize(flags);
  pass.fieldLength = static_cast<std::size_t>(pass.chunk) + 1;
  if (buffers.fields.size() < pass.fieldLength * kFieldCount) {
    buffers.fields.resize(pass.fieldLength * kFieldCount);
  }
  pass.weights = weights;
  pass.ring = buffers.ring.data();
  pass.nearby = buffers.nearby.data();
  pass.fields = buffers.fields.data();

  const std::size_t count = static_cast<std::size_t>(pass.m);
  const std::size_t pad = static_cast<std::size_t>(pass.half) + 4;
  const std::size_t axisLength = count + 2 * pad;
  if (buffers.axes.size() < 3 * axisLength) buffers.axes.resize(3 * axisLength);
  double* axes[3] = {buffers.axes.data(), buffers.axes.data() + axisLength,
                     buffers.axes.data() + 2 * axisLength};
  for (double* axis : axes) {
    for (std::size_t j = 0; j < pad; ++j) axis[j] = axis[pad + count + j] = 0.0;
  }
  for (std::size_t j = 0; j < count; ++j) {
    const Point& position = line.getPoint(j)->position();
    axes[0][pad + j] = position.x();
    axes[1][pad + j] = position.y();
    axes[2][pad + j] = position.z();
  }
  pass.xs = axes[0] + pad;
  pass.ys = axes[1] + pad;
  pass.zs = axes[2] + pad;
  return pass;
}

// Step 1 for point i: which window positions hold a point near enough to it,
// into `nearby`.
void markNearby(const Pass& pass, std::int64_t i, unsigned char* nearby) {
  const std::int64_t half = pass.half;
  const Point p = pass.q(i);
  const std::int64_t first = i - half;  // index of window position 0
  const std::int64_t kBegin = first < 0 ? -first : 0;
  const std::int64_t kEnd =
      pass.m - first < pass.positions ? pass.m - first : pass.positions;
  if (!pass.ringed) {
    for (std::int64_t k = 0; k < pass.positions; ++k) {
      nearby[k] = k >= kBegin && k < kEnd &&
                  pass.proximity.holds(p - pass.q(first + k));
    }
    return;
  }
  unsigned char* ring = pass.ring;
  unsigned char* row =
      ring + (static_cast<std::size_t>(i) & pass.rowMask) * pass.stride;
  for (std::int64_t d = 1; d <= half; ++d) {
    row[d - 1] = i + d < pass.m && pass.proximity.holds(p - pass.q(i + d));
  }
  for (std::int64_t k = 0; k < pass.positions; ++k) {
    if (k < kBegin || k >= kEnd) {
      nearby[k] = 0;
    } else if (k < half) {
      const std::size_t j = static_cast<std::size_t>(first + k);
      nearby[k] = ring[(j & pass.rowMask) * pass.stride +
                       static_cast<std::size_t>(half - k - 1)];
    } else if (k == half) {
      // |p - p| is 0 for finite coordinates and not a number otherwise.
      nearby[k] = std::isfinite(p.x()) && std::isfinite(p.y()) &&
                  std::isfinite(p.z()) && 0.0 <= pass.limit;
    } else {
      nearby[k] = row[k - half - 1];
    }
  }
}

// Step 1 for the chunk [begin, end), in point order: proximity, the window
// sums and counts, and the end of the pass (a forward half-window with fewer
// than two qualifying points). Returns the first point not reached; sets
// `noBackwardNeighbour` when the pass ends at a point that does not qualify
// for itself (a coordinate that is not a finite number): dividing by its
// count of 0 ends the pass with EMathDivisionByZero, after the points before
// it are written.
std::int64_t sumWindows(const Pass& pass, std::int64_t begin, std::int64_t end,
                        bool& noBackwardNeighbour) {
  std::int64_t reached = end;
  for (std::int64_t i = begin; i < end; ++i) {
    const std::int64_t c = i - begin;
    const unsigned char* nearby = pass.nearbyOf(c);
    markNearby(pass, i, pass.nearbyOf(c));
    const std::int64_t first = i - pass.half;
    Vector sum;
    std::int64_t qualified = 0;
    for (std::int64_t k = 0; k <= pass.half; ++k) {
      if (!nearby[k]) continue;
      sum = sum + pass.q(first + k).toVector();
      ++qualified;
    }
    if (qualified == 0) {
      noBackwardNeighbour = true;
      reached = i;
      break;
    }
    pass.field(kSumAX)[c] = sum.x();
    pass.field(kSumAY)[c] = sum.y();
    pass.field(kSumAZ)[c] = sum.z();
    pass.field(kCountA)[c] = static_cast<double>(qualified);

    sum = Vector();
    qualified = 0;
    for (std::int64_t k = pass.half; k < pass.n; ++k) {
      if (!nearby[k]) continue;
      sum = sum + pass.q(first + k).toVector();
      ++qualified;
    }
    if (qualified < 2) {
      reached = i;
      break;
    }
    pass.field(kSumBX)[c] = sum.x();
    pass.field(kSumBY)[c] = sum.y();
    pass.field(kSumBZ)[c] = sum.z();
    pass.field(kCountB)[c] = static_cast<double>(qualified);
  }
  // The spare entry of an odd end: any finite values.
  if ((reached - begin) % 2 != 0) {
    for (int f = 0; f < kFieldCount; ++f) {
      pass.field(static_cast<Field>(f))[reached - begin] = 1.0;
    }
  }
  return reached;
}

// Step 2 for the chunk's first `points` points starting at `begin`, two at a
// time: window means, chords, feet and unit normals. A chord direction or
// normal below the zero-vector tolerance would make _GeoLine or the
// normalization throw; the point then stays (step 3 passes over it).
void findChords(const Pass& pass, std::int64_t begin, std::int64_t points) {
  for (std::int64_t c = 0; c < points; c += 2) {
    auto mean = [&pass, c](Field sum, Field count) {
      return Lanes::load(pass.field(sum) + c) /
             Lanes::load(pass.field(count) + c);
    };
    const Lanes ax = mean(kSumAX, kCountA);
    const Lanes ay = mean(kSumAY, kCountA);
    const Lanes az = mean(kSumAZ, kCountA);
    const std::int64_t i = begin + c;
    const WindowChord<Lanes> chord =
        windowChordOf(ax, ay, az, mean(kSumBX, kCountB), mean(kSumBY, kCountB),
                      mean(kSumBZ, kCountB), Lanes::load(pass.xs + i),
                      Lanes::load(pass.ys + i), Lanes::load(pass.zs + i));
    auto put = [&pass, c](Field f, Lanes value) {
      value.store(pass.field(f) + c);
    };
    put(kOriginX, chord.ox);
    put(kOriginY, chord.oy);
    put(kOriginZ, chord.oz);
    put(kDirectionX, chord.dx);
    put(kDirectionY, chord.dy);
    put(kDirectionZ, chord.dz);
    put(kFootX, chord.fx);
    put(kFootY, chord.fy);
    put(kFootZ, chord.fz);
    put(kUnitX, chord.ux);
    put(kUnitY, chord.uy);
    put(kUnitZ, chord.uz);
    put(kChordLength, chord.length);
    put(kDistance, chord.distance);
  }
}

// Step 3 for the chunk's points c and c + 1 (c + 1 only with `pair`), as
// lanes: the weighted sum of the window's offsets along each point's normal
// and the sums of the weights taken. Points outside the window's qualifying
// neighbours add +0, which changes no sum (a sum that starts at +0 is never
// -0).
Lanes weightedOffsets(const Pass& pass, std::int64_t begin, std::int64_t c,
                      bool pair, std::int64_t weightSums[2]) {
  auto load = [&pass, c](Field f) { return Lanes::load(pass.field(f) + c); };
  WindowChord<Lanes> chord;
  chord.ox = load(kOriginX);
  chord.oy = load(kOriginY);
  chord.oz = load(kOriginZ);
  chord.dx = load(kDirectionX);
  chord.dy = load(kDirectionY);
  chord.dz = load(kDirectionZ);
  chord.ux = load(kUnitX);
  chord.uy = load(kUnitY);
  chord.uz = load(kUnitZ);
  const std::int64_t first = begin + c - pass.half;
  const unsigned char* near0 = pass.nearbyOf(c);
  const unsigned char* near1 = near0 + pass.positions;
  Lanes weighted = Lanes::all(0.0);
  weightSums[0] = weightSums[1] = 0;
  for (std::int64_t k = 0; k < pass.n; ++k) {
    const bool in0 = near0[k] != 0;
    const bool in1 = pair && near1[k] != 0;
    if (!in0 && !in1) continue;
    // The neighbour's foot on the chord, as _GeoLine projects (for the
    // point itself, its foot of step 2).
    const Lanes offset = normalOffsetOf(
        Lanes::load(pass.xs + first + k), Lanes::load(pass.ys + first + k),
        Lanes::load(pass.zs + first + k), chord);
    const std::int32_t weight = pass.weights[static_cast<std::size_t>(k)];
    weighted = weighted + (Lanes::all(weight) * offset).where(in0, in1);
    if (in0) weightSums[0] += weight;
    if (in1) weightSums[1] += weight;
  }
  return weighted;
}

// Step 3 for the chunk's first `points` points starting at `begin`, two at a
// time: the weighted mean offset of the window along the normal, and the new
// position, written into `line` unless step 2 found no chord or normal or no
// weight was taken.
void movePoints(const Pass& pass, std::int64_t begin, std::int64_t points,
                _ScanLine<double, _ScanPoint<double>>* line) {
  const double tolerance = zeroVectorTolerance<double>();
  for (std::int64_t c = 0; c < points; c += 2) {
    const bool pair = c + 1 < points;
    std::int64_t weightSums[2];
    const Lanes weighted = weightedOffsets(pass, begin, c, pair, weightSums);
    double sums[2] = {static_cast<double>(weightSums[0]),
                      static_cast<double>(weightSums[1])};
    const Lanes mean = weighted / Lanes::load(sums);
    auto load = [&pass, c](Field f) { return Lanes::load(pass.field(f) + c); };
    double moved[3][2];
    (load(kFootX) + load(kUnitX) * mean).store(moved[0]);
    (load(kFootY) + load(kUnitY) * mean).store(moved[1]);
    (load(kFootZ) + load(kUnitZ) * mean).store(moved[2]);
    for (std::int64_t lane = 0; lane < (pair ? 2 : 1); ++lane) {
      const std::size_t at = static_cast<std::size_t>(c + lane);
      if (pass.field(kChordLength)[at] < tolerance ||
          pass.field(kDistance)[at] < tolerance || weightSums[lane] == 0) {
        continue;
      }
      line->getPoint(static_cast<std::size_t>(begin + c + lane))
          ->setPosition(moved[0][lane], moved[1][lane], moved[2][lane]);
    }
  }
}

}  // namespace

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
  if (static_cast<std::int64_t>(count) < n || count == 0) return;
  // The first proximity test, at point 0, would refuse a negative limit.
  if (_proximityLimit < 0.0) throw EMathNegativeTol();

  const WorkPool<Scratch>::Lease scratch(_scratch);
  const Pass pass =
      layOutPass(*scratch, *line, n, _proximityLimit, _weights.data());
  if (wide && n == 2 * pass.half + 1 && pass.half >= 1 &&
      pass.half <= kMaxWideHalfWindow && pass.proximity.banded()) {
    averageWide({pass.xs, pass.ys, pass.zs, pass.m, pass.half, pass.weights,
                 pass.limit, pass.proximity.lower(), pass.proximity.upper()},
                line);
    return;
  }
  bool noBackwardNeighbour = false;
  for (std::int64_t begin = 0; begin < pass.m; begin += pass.chunk) {
    const std::int64_t end =
        begin + pass.chunk < pass.m ? begin + pass.chunk : pass.m;
    const std::int64_t reached =
        sumWindows(pass, begin, end, noBackwardNeighbour);
    findChords(pass, begin, reached - begin);
    movePoints(pass, begin, reached - begin, line);
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
