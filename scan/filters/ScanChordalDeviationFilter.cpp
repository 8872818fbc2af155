// SPDX-License-Identifier: MIT
#include "scan/filters/ScanChordalDeviationFilter.h"

#include <limits>
#include <memory>

#include "scan/ScanErrors.h"
#include "scan/filters/chordal/Thinning.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/SettingsIO.h"
#include "scan/model/ScanLine.h"
#include "util/TagIO.h"

namespace QUAX {

const std::wstring ScanChordalDeviationFilter::_scanChordalDeviationFilterKey =
    L"ScanChordalDeviationFilter";
const double ScanChordalDeviationFilter::_defaultMaxSpan = 2000.0;
const std::size_t ScanChordalDeviationFilter::_defaultMaxPointCounts = 8000;

namespace {

const wchar_t kDeviationLimit[] = L"DeviationLimit";
const wchar_t kMaxSpan[] = L"MaxSpan";
const wchar_t kValue[] = L"value";

}  // namespace

struct ScanChordalDeviationFilter::WorkBuffers {
  std::vector<_GeoPoint<double>> positions;
  ChordalWork chordal;
};

ScanChordalDeviationFilter::ScanChordalDeviationFilter(
    double deviationLimit, double maxSpan, std::size_t maxPointCounts)
    : ScanLineFilter(_scanChordalDeviationFilterKey),
      _deviationLimit(0.0),
      _maxSpan(0.0),
      _reservedPoints(maxPointCounts) {
  auto buffers = std::make_unique<WorkBuffers>();
  buffers->positions.reserve(maxPointCounts);
  buffers->chordal.blocks.reserve(maxPointCounts / 8 + 1);
  buffers->chordal.lanes.reserve(3 * (maxPointCounts + 4));
  _work.keep(buffers.release());
  if (deviationLimit <= 0.0) throw EScanNonPositiveDeviationLimit();
  _deviationLimit = deviationLimit;
  if (maxSpan <= 0.0) throw EScanNonPositiveMaxSpan();
  _maxSpan = maxSpan;
}

ScanChordalDeviationFilter::ScanChordalDeviationFilter(
    const ScanChordalDeviationFilter& other)
    : ScanLineFilter(other),
      _deviationLimit(other._deviationLimit),
      _maxSpan(other._maxSpan),
      _reservedPoints(other._reservedPoints) {
  auto buffers = std::make_unique<WorkBuffers>();
  buffers->positions.reserve(_reservedPoints);
  buffers->chordal.blocks.reserve(_reservedPoints / 8 + 1);
  buffers->chordal.lanes.reserve(3 * (_reservedPoints + 4));
  _work.keep(buffers.release());
}

ScanChordalDeviationFilter& ScanChordalDeviationFilter::operator=(
    const ScanChordalDeviationFilter& other) {
  if (this == &other) return *this;
  ScanLineFilter::operator=(other);
  _deviationLimit = other._deviationLimit;
  _maxSpan = other._maxSpan;
  _reservedPoints = other._reservedPoints;
  return *this;
}

ScanChordalDeviationFilter::~ScanChordalDeviationFilter() = default;

double ScanChordalDeviationFilter::getDefaultMaxSpan() {
  return _defaultMaxSpan;
}

std::size_t ScanChordalDeviationFilter::getDefaultMaxPointCounts() {
  return _defaultMaxPointCounts;
}

void ScanChordalDeviationFilter::filterScanLine(
    _ScanLine<double, _ScanPoint<double>>* line) const {
  filterLine(line);
}

void ScanChordalDeviationFilter::writeSettings(std::wostream& os) const {
  writeSimpleStartTag(os, _scanChordalDeviationFilterKey);
  writeAttributeElement(os, kDeviationLimit, kValue, _deviationLimit);
  writeAttributeElement(os, kMaxSpan, kValue, _maxSpan);
  writeEndTag(os, _scanChordalDeviationFilterKey);
}

void ScanChordalDeviationFilter::readSettings(std::wistream& is) {
  if (!checkStartTag(is, _scanChordalDeviationFilterKey, true)) {
    throwSettingsError<EScanIOBadHeader, ScanChordalDeviationFilter>();
  }
  try {
    _deviationLimit = readAttributeElement<double>(is, kDeviationLimit, kValue);
    _maxSpan = readAttributeElement<double>(is, kMaxSpan, kValue);
  } catch (const EVXIOException&) {
    throwSettingsError<EScanIOBadAttribute, ScanChordalDeviationFilter>();
  }
  if (!checkEndTag(is, _scanChordalDeviationFilterKey)) {
    throwSettingsError<EScanIOBadFooter, ScanChordalDeviationFilter>();
  }
}

// The kept positions are gathered in the working buffer from a copy of the
// line's positions (thinned in place), and the line is cut and written only
// when the run has succeeded, so a failed run leaves it unchanged.
void ScanChordalDeviationFilter::filterLine(
    _ScanLine<double, _ScanPoint<double>>* line) const {
  thinLine(line, true);
}

void ScanChordalDeviationFilter::thinLine(
    _ScanLine<double, _ScanPoint<double>>* line, bool wide) const {
  const std::size_t n = line->getPointCount();
  if (n < 3) return;
  const WorkPool<WorkBuffers>::Lease work(_work);
  if (work->positions.size() < n) work->positions.resize(n);
  _GeoPoint<double>* buffer = work->positions.data();
  for (std::size_t i = 0; i < n; ++i) buffer[i] = line->getPoint(i)->position();

  const std::size_t kept = thinByChordalDeviation(
      buffer, n, _deviationLimit, _maxSpan, buffer, work->chordal, wide);
  line->resize(kept);
  for (std::size_t m = 0; m < kept; ++m) {
    line->getPoint(m)->setPosition(buffer[m]);
  }
}

std::wostream& operator<<(std::wostream& os,
                          const ScanChordalDeviationFilter& f) {
  ScanLineFilterAccess::writeSettings(f, os);
  return os;
}

std::wistream& operator>>(std::wistream& is, ScanChordalDeviationFilter& f) {
  ScanLineFilterAccess::readSettings(f, is);
  return is;
}

}  // namespace QUAX
