// SPDX-License-Identifier: MIT
#include "scan/filters/ScanAverageFilter.h"

#include <cmath>
#include <cstddef>

#include "geomath/GeoLine.h"
#include "scan/ScanErrors.h"
#include "scan/filters/FilterAccess.h"
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

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Per-thread buffers of the pass, kept between calls so that filtering
// allocates nothing once they have grown to the longest line and window. The
// filter itself stays free of mutable state and may be shared by threads.
struct AverageScratch {
  std::vector<Point> positions;       // the line as it was before the pass
  std::vector<unsigned char> nearby;  // window position k qualifies
};

AverageScratch& scratch() {
  thread_local AverageScratch buffers;
  return buffers;
}

}  // namespace

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

ScanAverageFilter::ScanAverageFilter(const ScanAverageFilter& other) = default;
ScanAverageFilter& ScanAverageFilter::operator=(
    const ScanAverageFilter& other) = default;
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

// Works from a copy of the line's positions only (the points' extension items
// play no part), kept in a per-thread buffer, and tests each neighbour's
// proximity once per point instead of once per half-window: the arithmetic
// and its order are those of the chord construction and projection of
// _GeoLine, so every result is the same to the bit.
void ScanAverageFilter::filterLine(
    _ScanLine<double, _ScanPoint<double>>* line) const {
  const std::size_t count = line->getPointCount();
  const std::int64_t n = _neighborhoodSize;
  const double limit = _proximityLimit;
  if (static_cast<std::int64_t>(count) < n || count == 0) return;
  // The first proximity test, at point 0, would refuse a negative limit.
  if (limit < 0.0) throw EMathNegativeTol();

  AverageScratch& buffers = scratch();
  std::vector<Point>& q = buffers.positions;
  if (q.size() < count) q.resize(count);
  for (std::size_t j = 0; j < count; ++j) q[j] = line->getPoint(j)->position();

  const std::int64_t m = static_cast<std::int64_t>(count);
  const std::int64_t half = n / 2;
  // Window positions 0 ... n - 1; the backward half reaches position `half`
  // even for a size of 0, which settings text may hold.
  const std::int64_t positions = n > half ? n : half + 1;
  if (buffers.nearby.size() < static_cast<std::size_t>(positions)) {
    buffers.nearby.resize(static_cast<std::size_t>(positions));
  }
  unsigned char* nearby = buffers.nearby.data();
  const double tolerance = zeroVectorTolerance<double>();

  for (std::int64_t i = 0; i < m; ++i) {
    const Point& p = q[static_cast<std::size_t>(i)];
    const std::int64_t first = i - half;  // index of window position 0
    const std::int64_t kBegin = first < 0 ? -first : 0;
    const std::int64_t kEnd = m - first < positions ? m - first : positions;
    for (std::int64_t k = 0; k < positions; ++k) {
      nearby[k] = k >= kBegin && k < kEnd &&
                  p.distanceTo(q[static_cast<std::size_t>(first + k)]) <= limit;
    }

    Vector sum;
    std::int64_t qualified = 0;
    for (std::int64_t k = 0; k <= half; ++k) {
      if (!nearby[k]) continue;
      sum = sum + q[static_cast<std::size_t>(first + k)].toVector();
      ++qualified;
    }
    const Vector a = sum / static_cast<double>(qualified);

    sum = Vector();
    qualified = 0;
    for (std::int64_t k = half; k < n; ++k) {
      if (!nearby[k]) continue;
      sum = sum + q[static_cast<std::size_t>(first + k)].toVector();
      ++qualified;
    }
    if (qualified < 2) return;
    const Vector b = sum / static_cast<double>(qualified);

    // A chord direction or normal below the zero-vector tolerance would make
    // _GeoLine or the normalization throw; the point then stays.
    const Vector direction = b - a;
    if (direction.length() < tolerance) continue;
    const _GeoLine<double> chord(Point((a + b) / 2.0), direction);
    const Point foot = chord.project(p);
    const Vector normal = p - foot;
    const double distance = normal.length();
    if (distance < tolerance) continue;
    const Vector unit = normal / distance;

    double weighted = 0.0;
    std::int64_t weightSum = 0;
    for (std::int64_t k = 0; k < n; ++k) {
      if (!nearby[k]) continue;
      const Point& neighbour = q[static_cast<std::size_t>(first + k)];
      const double offset = (neighbour - chord.project(neighbour)).dot(unit);
      const std::int32_t weight = _weights[static_cast<std::size_t>(k)];
      weighted += weight * offset;
      weightSum += weight;
    }
    if (weightSum == 0) continue;
    line->getPoint(static_cast<std::size_t>(i))
        ->setPosition(foot +
                      unit * (weighted / static_cast<double>(weightSum)));
  }
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
