// SPDX-License-Identifier: MIT
#include "scan/filters/ScanAverageFilter.h"

#include <cmath>
#include <cstddef>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
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

// What the pass finds for one point: its chord line (through the middle of
// the backward and forward means, along their difference, made unit), and
// the point's foot on it with the unit normal towards the point.
struct PointFrame {
  Point origin;
  Vector direction;
  Point foot;
  Vector unit;
  bool framed;  // chord and normal long enough: the point may move
};

// The foot point o + d.((p - o).d), as _GeoLine projects.
Point project(const PointFrame& frame, const Point& p) {
  return frame.origin +
         frame.direction * ((p - frame.origin).dot(frame.direction));
}

// The mean of `count` positions from their sum. Dividing by 1, 2 or 4 gives
// the same bits as multiplying by 1, 0.5 or 0.25, which is cheaper; a count
// of 0 throws EMathDivisionByZero as the division does.
Vector meanOf(const Vector& sum, std::int64_t count) {
  switch (count) {
    case 1:
      return sum;
    case 2:
      return sum * 0.5;
    case 4:
      return sum * 0.25;
    default:
      return sum / static_cast<double>(count);
  }
}

}  // namespace

struct ScanAverageFilter::Scratch {
  std::vector<Point> positions;       // the line as it was before the pass
  std::vector<unsigned char> ring;    // proximity of i to i + 1 ... i + half
  std::vector<unsigned char> nearby;  // per point of a chunk and position k
  std::vector<PointFrame> frames;     // per point of a chunk
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
//    means, then chords and feet, then weighted offsets), so that the long
//    chains of divisions and square roots of neighbouring points overlap
//    instead of waiting for each other. Only the first step decides where
//    the pass ends, and it runs in point order.
// The arithmetic and its order are those of _GeoLine and _MathVector, so every
// result is the same to the bit.
void ScanAverageFilter::filterLine(
    _ScanLine<double, _ScanPoint<double>>* line) const {
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
  std::vector<Point>& q = buffers.positions;
  if (q.size() < count) q.resize(count);
  for (std::size_t j = 0; j < count; ++j) q[j] = line->getPoint(j)->position();

  const std::int64_t m = static_cast<std::int64_t>(count);
  const std::int64_t half = n / 2;
  // Window positions 0 ... n - 1; the backward half reaches position `half`
  // even for a size of 0, which settings text may hold.
  const std::int64_t positions = n > half ? n : half + 1;
  // Proximity of point i to points i + 1 ... i + half, kept for the last
  // half + 1 points, so that a backward half-window reads what the earlier
  // points found.
  const bool ringed = half <= kMaxRingedHalfWindow;
  const std::size_t rows = static_cast<std::size_t>(half + 1);
  const std::size_t stride = static_cast<std::size_t>(half);
  if (ringed && buffers.ring.size() < rows * stride) {
    buffers.ring.resize(rows * stride);
  }
  std::int64_t chunk = kMaxChunkFlags / positions;
  if (chunk > kMaxChunkPoints) chunk = kMaxChunkPoints;
  if (chunk < 1) chunk = 1;
  const std::size_t flags = static_cast<std::size_t>(chunk * positions);
  if (buffers.nearby.size() < flags) buffers.nearby.resize(flags);
  if (buffers.frames.size() < static_cast<std::size_t>(chunk)) {
    buffers.frames.resize(static_cast<std::size_t>(chunk));
  }
  unsigned char* ring = buffers.ring.data();
  const double tolerance = zeroVectorTolerance<double>();
  const DistanceBound proximity(limit);

  bool noBackwardNeighbour = false;
  for (std::int64_t begin = 0; begin < m; begin += chunk) {
    const std::int64_t end = begin + chunk < m ? begin + chunk : m;

    // Step 1, in point order: proximity, window means, and the end of the
    // pass (a forward half-window with fewer than two qualifying points).
    std::int64_t reached = end;
    for (std::int64_t i = begin; i < end; ++i) {
      const Point& p = q[static_cast<std::size_t>(i)];
      unsigned char* nearby = buffers.nearby.data() +
                              static_cast<std::size_t>((i - begin) * positions);
      const std::int64_t first = i - half;  // index of window position 0
      const std::int64_t kBegin = first < 0 ? -first : 0;
      const std::int64_t kEnd = m - first < positions ? m - first : positions;
      if (ringed) {
        unsigned char* row = ring + static_cast<std::size_t>(i) % rows * stride;
        for (std::int64_t d = 1; d <= half; ++d) {
          row[d - 1] = i + d < m &&
                       proximity.holds(p - q[static_cast<std::size_t>(i + d)]);
        }
        for (std::int64_t k = 0; k < positions; ++k) {
          if (k < kBegin || k >= kEnd) {
            nearby[k] = 0;
          } else if (k < half) {
            const std::size_t j = static_cast<std::size_t>(first + k);
            nearby[k] = ring[j % rows * stride +
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
              k >= kBegin && k < kEnd &&
              proximity.holds(p - q[static_cast<std::size_t>(first + k)]);
        }
      }

      Vector sum;
      std::int64_t qualified = 0;
      for (std::int64_t k = 0; k <= half; ++k) {
        if (!nearby[k]) continue;
        sum = sum + q[static_cast<std::size_t>(first + k)].toVector();
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
      const Vector a = meanOf(sum, qualified);

      sum = Vector();
      qualified = 0;
      for (std::int64_t k = half; k < n; ++k) {
        if (!nearby[k]) continue;
        sum = sum + q[static_cast<std::size_t>(first + k)].toVector();
        ++qualified;
      }
      if (qualified < 2) {
        reached = i;
        break;
      }
      const Vector b = meanOf(sum, qualified);

      // Halving by multiplying with 0.5 is exact, as the division by 2 is.
      PointFrame& frame = buffers.frames[static_cast<std::size_t>(i - begin)];
      frame.origin = Point((a + b) * 0.5);
      frame.direction = b - a;
    }

    // Step 2: chords, feet and unit normals. A chord direction or normal
    // below the zero-vector tolerance would make _GeoLine or the
    // normalization throw; the point then stays.
    for (std::int64_t i = begin; i < reached; ++i) {
      PointFrame& frame = buffers.frames[static_cast<std::size_t>(i - begin)];
      const Point& p = q[static_cast<std::size_t>(i)];
      frame.framed = false;
      const double chordLength = frame.direction.length();
      if (chordLength < tolerance) continue;
      frame.direction /= chordLength;
      frame.foot = project(frame, p);
      const Vector normal = p - frame.foot;
      const double distance = normal.length();
      if (distance < tolerance) continue;
      frame.unit = normal / distance;
      frame.framed = true;
    }

    // Step 3: weighted mean offset along the normal, and the new position.
    for (std::int64_t i = begin; i < reached; ++i) {
      const PointFrame& frame =
          buffers.frames[static_cast<std::size_t>(i - begin)];
      if (!frame.framed) continue;
      const unsigned char* nearby =
          buffers.nearby.data() +
          static_cast<std::size_t>((i - begin) * positions);
      const std::int64_t first = i - half;
      double weighted = 0.0;
      std::int64_t weightSum = 0;
      for (std::int64_t k = 0; k < n; ++k) {
        if (!nearby[k]) continue;
        const Point& neighbour = q[static_cast<std::size_t>(first + k)];
        // The point's own projection is its foot, found in step 2.
        const Point foot = k == half ? frame.foot : project(frame, neighbour);
        const double offset = (neighbour - foot).dot(frame.unit);
        const std::int32_t weight = _weights[static_cast<std::size_t>(k)];
        weighted += weight * offset;
        weightSum += weight;
      }
      if (weightSum == 0) continue;
      line->getPoint(static_cast<std::size_t>(i))
          ->setPosition(frame.foot +
                        frame.unit *
                            (weighted / static_cast<double>(weightSum)));
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
