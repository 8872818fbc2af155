// SPDX-License-Identifier: MIT
// The base of the scan line filters and the stream operators of their
// settings.
//
// A filter changes the points of one scan line in place. Its settings are a
// block of tagged wide-character text,
//
//     <ScanAverageFilter>
//     <NeighborhoodSize value="5"/>
//     ...
//     </ScanAverageFilter>
//
// written with operator<< and read with operator>>. A block that fails to
// read throws EScanIOBadHeader, EScanIOBadAttribute or EScanIOBadFooter, whose
// text names the reading filter's class; settings read before the failing
// line stay stored and the stream is not rewound.
#ifndef QUAX_SCAN_FILTERS_SCANLINEFILTER_H_
#define QUAX_SCAN_FILTERS_SCANLINEFILTER_H_

#include <istream>
#include <ostream>
#include <string>

#include "scan/QUAXScanExport.h"

namespace QUAX {

template <class T>
class _ScanPoint;
template <class T, class P>
class _ScanLine;
template <class T>
class _ScanSet;

class ScanAverageFilter;
class ScanChordalDeviationFilter;
class ScanNPointFilter;
struct ScanLineFilterAccess;
class ScanLineFilter;

// Filters one scan line in place with any filter, as applyFilter filters
// each frame's line, its exceptions reaching the caller. For callers that
// hold lines outside a set (a live pipeline). REQUIRES: `line` is not null;
// no other thread writes the line meanwhile.
QUAX_SCAN_API void filterScanLine(const ScanLineFilter& filter,
                                  _ScanLine<double, _ScanPoint<double>>* line);

class QUAX_SCAN_API ScanLineFilter {
 public:
  virtual ~ScanLineFilter();

  // The filter's key: the bare class name, also the name of its settings
  // block.
  const std::wstring& getKey() const noexcept;

  // Filters the scan line of every frame of every surface of `set`, surfaces
  // in order and frames by index while the index is below the surface's
  // frame count, read afresh for each frame (so frames appended meanwhile are
  // filtered too; an incomplete surface is waited on as getFrame does). Any
  // EScanException of one frame (no scan line, a frame past the end, a
  // filter error) is dropped and the walk goes on; any other exception ends
  // the walk, leaving the frames already filtered changed.
  // REQUIRES: no other thread writes the set's scan lines meanwhile.
  void applyFilter(_ScanSet<double>& set) const;

 protected:
  explicit ScanLineFilter(const std::wstring& key);
  ScanLineFilter(const ScanLineFilter& other);
  ScanLineFilter& operator=(const ScanLineFilter& other);

 private:
  // Reached through the stream operators, applyFilter and filterScanLine.
  friend struct ScanLineFilterAccess;

  virtual void writeSettings(std::wostream& os) const = 0;
  virtual void readSettings(std::wistream& is) = 0;
  virtual void filterLine(
      _ScanLine<double, _ScanPoint<double>>* line) const = 0;

  std::wstring _key;
};

// Write a filter's settings block to `os`; report nothing (stream errors stay
// in the stream's state).
QUAX_SCAN_API std::wostream& operator<<(std::wostream& os,
                                        const ScanAverageFilter& f);
QUAX_SCAN_API std::wostream& operator<<(std::wostream& os,
                                        const ScanChordalDeviationFilter& f);
QUAX_SCAN_API std::wostream& operator<<(std::wostream& os,
                                        const ScanNPointFilter& f);

// Read a settings block from `is` into the filter. Values are stored as the
// text holds them, without the checks of the constructors.
QUAX_SCAN_API std::wistream& operator>>(std::wistream& is,
                                        ScanAverageFilter& f);
QUAX_SCAN_API std::wistream& operator>>(std::wistream& is,
                                        ScanChordalDeviationFilter& f);
QUAX_SCAN_API std::wistream& operator>>(std::wistream& is, ScanNPointFilter& f);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SCANLINEFILTER_H_
