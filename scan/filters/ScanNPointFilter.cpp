// SPDX-License-Identifier: MIT
#include "scan/filters/ScanNPointFilter.h"

#include <cmath>
#include <limits>
#include <memory>

#include "scan/ScanErrors.h"
#include "scan/filters/chordal/Thinning.h"
#include "scan/filters/chordal/ChordalTrials.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/SettingsIO.h"
#include "scan/model/ScanLine.h"
#include "util/TagIO.h"

namespace QUAX {

const std::wstring ScanNPointFilter::_scanNPointFilterKey = L"ScanNPointFilter";

namespace {

const wchar_t kNumberOfPoints[] = L"NumberOfPoints";
const wchar_t kAlgorithm[] = L"Algorithm";
const wchar_t kValue[] = L"value";

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;
using Line = _ScanLine<double, _ScanPoint<double>>;

// Segments longer than this are gaps in the profile.
constexpr double kGapLength = 2000.0;

// The search's constants.
constexpr std::int64_t kSearchExtraPoints = 3;
constexpr double kLimitFloor = 0.25;
constexpr double kSpanPerPathLength = 10.0;
constexpr double kSmallStep = 0.0001;
constexpr std::int32_t kMaxTrials = 100;
// Spans longer than this are left to the thinning's bounds when counting.
constexpr std::size_t kShortSpan = 16;

// A deviation limit and the number of points it kept.
struct Trial {
  double limit;
  std::int64_t count;
};

// The secant estimate of the limit that keeps `target` points, from the
// side that keeps N or more (`many`) and the side that keeps fewer (`few`).
double secantLimit(const Trial& many, const Trial& few, std::int64_t target) {
  return (many.limit - few.limit) /
             static_cast<double>(many.count - few.count) *
             static_cast<double>(target - few.count) +
         few.limit;
}

}  // namespace

struct ScanNPointFilter::WorkBuffers {
  std::vector<Point> chosen;       // the chosen positions of one run
  std::vector<Point> positions;    // the line's positions, for the search
  std::vector<Point> thinned;      // the kept positions of a counting run
  std::vector<double> sorted;      // one axis of the line, sorted
  std::vector<double> deviations;  // of each point from its neighbours' chord
  ChordalWork chordal;
  ChordalTrials trials;

  void reserve(std::size_t count) { chosen.reserve(count); }

  // Writes the first `count` chosen positions into the line, cut to `count`
  // points.
  void writeLine(Line* line, std::size_t count) const {
    line->resize(count);
    for (std::size_t m = 0; m < count; ++m) {
      line->getPoint(m)->setPosition(chosen[m]);
    }
  }
};

ScanNPointFilter::ScanNPointFilter(std::int32_t numberOfPoints,
                                   ScanNPointFilterAlgorithm algorithm)
    : ScanLineFilter(_scanNPointFilterKey),
      _numberOfPoints(0),
      _algorithm(EQUAL_INDEX),
      _reservedPoints(0) {
  if (numberOfPoints <= 0) throw EScanNonPositiveNumberOfPoints();
  if (numberOfPoints < 3) throw EScanNPointFilterTooSmall();
  _reservedPoints = static_cast<std::size_t>(numberOfPoints);
  auto buffers = std::make_unique<WorkBuffers>();
  buffers->reserve(_reservedPoints);
  _work.keep(buffers.release());
  if (algorithm != EQUAL_INDEX && algorithm != EQUAL_ARC_LENGTH &&
      algorithm != CHORDAL_DEVIATION) {
    throw EScanUnknownNPointFilterAlgorithm();
  }
  _numberOfPoints = numberOfPoints;
  _algorithm = algorithm;
}

ScanNPointFilter::ScanNPointFilter(const ScanNPointFilter& other)
    : ScanLineFilter(other),
      _numberOfPoints(other._numberOfPoints),
      _algorithm(other._algorithm),
      _reservedPoints(other._reservedPoints) {
  auto buffers = std::make_unique<WorkBuffers>();
  buffers->reserve(_reservedPoints);
  _work.keep(buffers.release());
}

ScanNPointFilter& ScanNPointFilter::operator=(const ScanNPointFilter& other) {
  if (this == &other) return *this;
  ScanLineFilter::operator=(other);
  _numberOfPoints = other._numberOfPoints;
  _algorithm = other._algorithm;
  _reservedPoints = other._reservedPoints;
  return *this;
}

ScanNPointFilter::~ScanNPointFilter() = default;

void ScanNPointFilter::filterScanLine(Line* line) const { filterLine(line); }

void ScanNPointFilter::writeSettings(std::wostream& os) const {
  writeSimpleStartTag(os, _scanNPointFilterKey);
  writeAttributeElement(os, kNumberOfPoints, kValue, _numberOfPoints);
  writeAttributeElement(os, kAlgorithm, kValue,
                        static_cast<std::uint32_t>(_algorithm));
  writeEndTag(os, _scanNPointFilterKey);
}

void ScanNPointFilter::readSettings(std::wistream& is) {
  if (!checkStartTag(is, _scanNPointFilterKey, true)) {
    throwSettingsError<EScanIOBadHeader, ScanNPointFilter>();
  }
  try {
    _numberOfPoints =
        readAttributeElement<std::int32_t>(is, kNumberOfPoints, kValue);
    _algorithm = static_cast<ScanNPointFilterAlgorithm>(
        readAttributeElement<std::uint32_t>(is, kAlgorithm, kValue));
  } catch (const EVXIOException&) {
    throwSettingsError<EScanIOBadAttribute, ScanNPointFilter>();
  }
  if (!checkEndTag(is, _scanNPointFilterKey)) {
    throwSettingsError<EScanIOBadFooter, ScanNPointFilter>();
  }
}

void ScanNPointFilter::filterLine(Line* line) const {
  // Only settings text can store a count below 3; it is refused as the
  // constructor refuses it rather than sizing a walk with no spacing.
  if (_numberOfPoints <= 0) throw EScanNonPositiveNumberOfPoints();
  if (_numberOfPoints < 3) throw EScanNPointFilterTooSmall();
  if (line->getPointCount() < static_cast<std::size_t>(_numberOfPoints)) {
    throw EScanNPointFilterTooLarge();
  }
  if (_algorithm != CHORDAL_DEVIATION && _algorithm != EQUAL_INDEX &&
      _algorithm != EQUAL_ARC_LENGTH) {
    return;  // an unknown value from settings text: the line stays
  }
  const WorkPool<WorkBuffers>::Lease work(_work);
  switch (_algorithm) {
    case CHORDAL_DEVIATION:
      searchChordalDeviation(line, *work);
      return;
    case EQUAL_INDEX:
      filterEqualIndex(line, *work);
      return;
    case EQUAL_ARC_LENGTH:
      filterEqualArcLength(line, *work);
      return;
    default:  // an unknown value from settings text: the line stays
      return;
  }
}

void ScanNPointFilter::filterEqualIndex(Line* line, WorkBuffers& work) const {
  const std::size_t target = static_cast<std::size_t>(_numberOfPoints);
  const std::size_t n = line->getPointCount();
  if (work.chosen.size() < target) work.chosen.resize(target);
  // The index is accumulated by repeated addition, so halves round up as
  // they do along the accumulated sum.
  const double step = static_cast<double>(static_cast<std::int32_t>(n) - 1) /
                      static_cast<double>(_numberOfPoints - 1);
  double x = 0.0;
  for (std::size_t i = 0; i < target; ++i) {
    std::int32_t index = static_cast<std::int32_t>(x + 0.5);
    // Exact arithmetic ends at n - 1; keep rounding inside the line.
    if (index < 0) index = 0;
    if (static_cast<std::size_t>(index) >= n)
      index = static_cast<std::int32_t>(n - 1);
    work.chosen[i] =
        line->getPoint(static_cast<std::size_t>(index))->position();
    x += step;
  }
  work.writeLine(line, target);
}

void ScanNPointFilter::filterEqualArcLength(Line* line,
                                            WorkBuffers& work) const {
  const std::int64_t target = _numberOfPoints;
  const std::size_t n = line->getPointCount();
  if (work.chosen.size() < static_cast<std::size_t>(target)) {
    work.chosen.resize(static_cast<std::size_t>(target));
  }
  auto position = [line](std::size_t i) -> const Point& {
    return line->getPoint(i)->position();
  };

  double pathLength = 0.0;
  bool hasGap = false;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double s = (position(i + 1) - position(i)).length();
    if (s <= kGapLength) {
      pathLength += s;
    } else {
      hasGap = true;  // longer than a gap, or not a number
    }
  }
  const double spacing = pathLength / static_cast<double>(target - 1);
  const double tolerance = zeroVectorTolerance<double>();

  work.chosen[0] = position(0);
  std::int64_t slot = 0;      // the last filled slot
  std::size_t slotIndex = 0;  // the point of the line that filled it
  double walked = 0.0;        // path length since the last target
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const Point& a = position(i);
    const Point& b = position(i + 1);
    const double s = (b - a).length();
    if (hasGap && s >= kGapLength) continue;
    if (s + walked < spacing) {
      walked = walked + s;
      continue;
    }
    Vector u = b - a;
    const double length = u.length();
    if (length < tolerance) continue;  // normalizing would refuse it
    u = u / length;
    double t = spacing - walked;
    do {
      const Point q = a + u * t;
      const std::size_t chosen = q.distanceTo(b) <= q.distanceTo(a) ? i + 1 : i;
      // A point already in the last slot is not taken twice: the next choice
      // goes to the same slot. Slots past N - 1 are never read (the last
      // point closes the result there), so rounding cannot write beyond the
      // buffer.
      if (chosen != slotIndex) {
        ++slot;
        slotIndex = chosen;
        if (slot < target) {
          work.chosen[static_cast<std::size_t>(slot)] = position(chosen);
        }
      }
      walked = q.distanceTo(b);
      t = t + spacing;
      // In exact arithmetic t never passes s + spacing while targets remain
      // on the segment; the bound only stops a walk that rounding on huge
      // coordinates would keep going.
    } while (walked >= spacing && t <= s + spacing);
  }

  std::size_t count;
  if (slot + 1 < target - 1) {
    work.chosen[static_cast<std::size_t>(slot + 1)] = position(n - 1);
    count = static_cast<std::size_t>(slot + 2);
  } else {
    work.chosen[static_cast<std::size_t>(target - 1)] = position(n - 1);
    count = static_cast<std::size_t>(target);
  }
  work.writeLine(line, count);
  if (count != static_cast<std::size_t>(target)) {
    throw EScanNPointFilterPointsNotExact();
  }
}

namespace {

// The first limit tried after the bracket: the secant's, or where two equal
// counts give no secant, the middle of the deviations.
double firstLimit(const Trial& many, const Trial& few,
                  const DeviationStatistics& stats, std::int64_t target) {
  if (many.count == few.count) {
    const double middle = (stats.minimum + stats.maximum) * 0.5;
    return middle <= 0.0 ? kLimitFloor : middle;
  }
  const double limit = secantLimit(many, few, target);
  return limit <= 0.0 ? (many.limit + few.limit) * 0.25 : limit;
}

// The search over the limit from `limit` in the bracket (`many` keeps N or
// more points, `few` fewer): secant steps while the counts move one way,
// halved steps once they turn. Returns the count of the last trial, whose
// kept points `trials` holds: N, or fewer once the step is small.
std::int64_t searchFrom(ChordalTrials& trials, Trial many, Trial few,
                        double limit, std::int64_t target, bool neverFaults) {
  enum class Direction { kNone, kRaise, kLower };
  Direction direction = Direction::kNone;
  double step = limit * 0.5;
  bool halving = false;
  bool smallStep = false;
  bool done = false;
  std::int64_t count = 0;
  for (std::int32_t trialNumber = 1; !done; ++trialNumber) {
    if (trialNumber > kMaxTrials) throw EScanNPointFilterSolutionNotFound();
    // Once halving, a trial decides only whether it keeps N points, fewer
    // or more: on a line where no chord can throw, it stops at N + 1.
    count = halving && neverFaults
                ? trials.run(limit, static_cast<std::size_t>(target))
                : trials.run(limit);
    if (count == target || (smallStep && count < target)) {
      done = true;
      continue;
    }
    const Direction next =
        count < target ? Direction::kLower : Direction::kRaise;
    if (direction != Direction::kNone && next != direction) halving = true;
    direction = next;
    if (halving) {
      if (step < kSmallStep) smallStep = true;
      limit = direction == Direction::kLower ? limit - step : limit + step;
      if (limit <= 0.0) limit = kLimitFloor;
      step = step * 0.5;
    } else {
      if (count < target) {
        few = Trial{limit, count};
      } else {
        many = Trial{limit, count};
      }
      if (many.count == few.count) {
        limit = direction == Direction::kLower ? limit - step : limit + step;
        if (limit <= 0.0) limit = kLimitFloor;
        halving = true;
      } else {
        double estimate = secantLimit(many, few, target);
        if (estimate <= 0.0) estimate = (many.limit + few.limit) * 0.25;
        step = std::fabs(estimate - limit);
        limit = estimate;
      }
    }
  }

  return count;
}

}  // namespace

// The trials need only the line's positions and the counts they keep, so
// they run on one copy of the positions instead of on a fresh copy of the
// whole line with every point's extension items, and ChordalTrials reuses
// what each trial measured in the later ones. The search ends with the limit
// of its last trial, so that trial's result is what the final run on the line
// would give, and it is written as the final result.
void ScanNPointFilter::searchChordalDeviation(Line* line,
                                              WorkBuffers& work) const {
  const std::int64_t target = _numberOfPoints;
  const std::size_t n = line->getPointCount();
  if (static_cast<std::int64_t>(n) < target + kSearchExtraPoints) {
    throw EScanNPointFilterTooLarge();
  }
  if (work.positions.size() < n) work.positions.resize(n);
  Point* p = work.positions.data();
  for (std::size_t i = 0; i < n; ++i) p[i] = line->getPoint(i)->position();

  // The trials take the positions first: in a coordinate plane the
  // statistics are taken on their copy of the two other coordinates.
  ChordalTrials& trials = work.trials;
  trials.reset(p, n);
  const PlaneCoordinates plane = trials.plane();
  if (work.deviations.size() < n) work.deviations.resize(n);
  const DeviationStatistics stats =
      plane.a != nullptr ? deviationStatistics(plane, n, work.deviations.data())
                         : deviationStatistics(p, n, work.deviations.data());
  const double span = kSpanPerPathLength * stats.length;
  const double lowest =
      stats.minimum > kLimitFloor ? stats.minimum : kLimitFloor;
  if (span <= 0.0) throw EScanNonPositiveMaxSpan();

  // The lowest limit and the mean lie far from the one searched for: their
  // runs share few spans with the later ones, so they are counted by the
  // thinning alone, which measures nothing for reuse but passes long spans by
  // bounds. They keep most points, so most of their spans end at the first
  // step, which the statistics have already measured. The largest deviation
  // of a point from its neighbours' chord lies near the first estimates, and
  // its run walks mostly the spans that the first trials walk again: it
  // measures them for reuse.
  if (work.thinned.size() < n) work.thinned.resize(n);
  trials.setSpan(span);
  auto countKept = [&work, p, n, span, &plane](double limit) {
    const std::size_t counted = countKeptOnShortSpans(
        p, n, limit, span, work.deviations.data(), kShortSpan,
        plane.a != nullptr ? &plane : nullptr);
    if (counted != 0) return static_cast<std::int64_t>(counted);
    return static_cast<std::int64_t>(thinByChordalDeviation(
        p, n, limit, span, work.thinned.data(), work.chordal));
  };

  // The lowest limit's count is read only when the mean keeps fewer than N
  // points; otherwise its run matters only for the EMathZeroVector it may
  // throw, first of all, and on a line where no chord can throw it is left
  // out.
  const bool neverFaults = chordsNeverFault(p, n, work.sorted);
  Trial atLowest{lowest, neverFaults ? 0 : countKept(lowest)};
  // A line without a single measured deviation has no mean (0 / 0): it is
  // refused as a line whose deviations are all 0.
  const double mean =
      stats.count == 0 ? 0.0 : stats.sum / static_cast<double>(stats.count);
  if (mean <= 0.0) throw EScanNonPositiveDeviationLimit();
  const Trial atMean{mean, countKept(mean)};
  if (stats.maximum <= 0.0) throw EScanNonPositiveDeviationLimit();
  const Trial atMaximum{stats.maximum, trials.run(stats.maximum)};

  Trial many = atMean;
  Trial few = atMaximum;
  if (atMean.count < target) {
    if (neverFaults) atLowest.count = countKept(lowest);
    many = atLowest;
    few = atMean;
  }

  const std::int64_t count = searchFrom(trials, many, few,
                                        firstLimit(many, few, stats, target),
                                        target, neverFaults);
  const std::vector<std::uint32_t>& kept = trials.kept();
  line->resize(kept.size());
  for (std::size_t m = 0; m < kept.size(); ++m) {
    line->getPoint(m)->setPosition(p[kept[m]]);
  }
  if (count != target) throw EScanNPointFilterPointsNotExact();
}

std::wostream& operator<<(std::wostream& os, const ScanNPointFilter& f) {
  ScanLineFilterAccess::writeSettings(f, os);
  return os;
}

std::wistream& operator>>(std::wistream& is, ScanNPointFilter& f) {
  ScanLineFilterAccess::readSettings(f, is);
  return is;
}

}  // namespace QUAX
