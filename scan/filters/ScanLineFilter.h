// SPDX-License-Identifier: MIT
// The base of the scan line filters and the stream operators of their
// settings.
//
// A filter changes the points of one scan line in place. Its settings are a
// block of tagged wide-character text:
//   <ScanAverageFilter>
//   <NeighborhoodSize value="5"/>
//   ...
//   </ScanAverageFilter>
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

class ScanAverageFilter;
class ScanChordalDeviationFilter;
class ScanNPointFilter;
struct ScanLineFilterAccess;

class QUAX_SCAN_API ScanLineFilter {
 public:
  virtual ~ScanLineFilter();

  // The filter's key: the bare class name, also the name of its settings
  // block.
  const std::wstring& getKey() const noexcept;

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
