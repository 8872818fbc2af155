// SPDX-License-Identifier: MIT
// Making filters from settings text: a registry of filter classes keyed by
// the name of their settings block.
//
// A settings text holds the blocks of one or more filters one after the
// other, each starting with its filter's name in angle brackets on a line of
// its own,
//
//     <ScanAverageFilter>
//     <NeighborhoodSize value="5"/>
//     ...
//     </ScanAverageFilter>
//     <ScanChordalDeviationFilter>
//     ...
//
// A FilterRegistry makes, for each block, a filter of the class registered
// under the block's name and lets it read its block; the filters come out in
// the text's order and are meant to be applied in that order (a chain).
//
// A host adds its own filter class with add(): a class derived from
// ScanLineFilter whose key is the name of its block, whose readSettings reads
// the block its writeSettings writes, starting with the line `<key>`.
// Nothing of the library's headers changes for it.
//
// The registry is a value the caller owns: the library keeps no registry of
// its own. Reading with a const registry may run on several threads at once.
#ifndef QUAX_SCAN_FILTERS_FILTERREGISTRY_H_
#define QUAX_SCAN_FILTERS_FILTERREGISTRY_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scan/QUAXScanExport.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanLineFilter.h"

namespace QUAX {

// Settings text that cannot be turned into filters as a whole: a line that
// starts no registered block, a block the stream cannot read, a text without
// blocks, or a name that cannot be registered. message() is the text for the
// user (`<where>: <what is wrong>`), also the description. Its code is that
// of the I/O group (0): the message tells the cases apart. What a filter
// throws while reading its own block is not turned into this error.
class QUAX_SCAN_API EScanFilterSettingsError : public EScanIOException {
 public:
  explicit EScanFilterSettingsError(const std::string& message);
  const std::string& message() const noexcept { return _message; }

 private:
  std::string _message;
};

class QUAX_SCAN_API FilterRegistry {
 public:
  // Makes a filter of one class with any settings: its block overwrites them.
  using Maker = std::function<std::unique_ptr<ScanLineFilter>()>;
  // Names line N of the text in messages (1-based), e.g. "file:N".
  using Where = std::function<std::string(std::size_t line)>;
  // Called with what a filter threw while reading its block, the filter and
  // where its block starts (as Where names it); must throw. Without one, the
  // filter's exception passes through unchanged.
  using Refused = std::function<void(const EVXException& error,
                                     const ScanLineFilter& filter,
                                     const std::string& where)>;

  // The library's three filters, in this order: ScanAverageFilter,
  // ScanChordalDeviationFilter and ScanNPointFilter.
  FilterRegistry();

  // Registers `make` for blocks named `name` (the key of the filters it
  // makes), after the names already there, or in the place of the maker
  // already registered under `name`. Throws EScanFilterSettingsError for an
  // empty name, one holding whitespace or an angle bracket, or no maker.
  void add(const std::wstring& name, Maker make);

  // The same for a default-constructible filter class F, under its key.
  template <class F>
  void add() {
    add(F().getKey(), [] { return std::unique_ptr<ScanLineFilter>(new F()); });
  }

  // The registered names, in registration order.
  std::vector<std::wstring> names() const;
  bool contains(const std::wstring& name) const;

  // A filter of the class registered under `name`, with the settings its
  // maker gives; EScanFilterSettingsError naming the registered names for a
  // name not registered.
  std::unique_ptr<ScanLineFilter> make(const std::wstring& name) const;

  // The filters whose blocks `text` holds, in order. Blank lines between
  // blocks are passed over. Messages name line N as where(N) and the whole
  // text as `name`. A line that starts no registered block, a block the
  // stream cannot read and a text without blocks throw
  // EScanFilterSettingsError; what a filter throws reading its block goes to
  // `refused`, or through unchanged without one.
  std::vector<std::unique_ptr<ScanLineFilter>> read(
      const std::wstring& text, const std::string& name, const Where& where,
      const Refused& refused = nullptr) const;

  // The same, naming line N "line N" and the text "the settings text".
  std::vector<std::unique_ptr<ScanLineFilter>> read(
      const std::wstring& text) const;

 private:
  // The filter for the block whose first line is `header`, or null.
  std::unique_ptr<ScanLineFilter> makeFor(const std::wstring& header) const;
  // `<A>, <B> or <C>`: the registered names as block headers.
  std::string expected() const;

  std::vector<std::pair<std::wstring, Maker>> _makers;
};

// Writes `filter`'s settings block to `os`, as its stream operator does; for
// any filter, a host's own included. Reports nothing: stream errors stay in
// the stream's state.
QUAX_SCAN_API void writeFilterSettings(std::wostream& os,
                                       const ScanLineFilter& filter);

// Reads a settings block from `is` into `filter`, as its stream operator
// does, with its errors (EScanIOBadHeader, EScanIOBadAttribute,
// EScanIOBadFooter for the library's filters).
QUAX_SCAN_API void readFilterSettings(std::wistream& is,
                                      ScanLineFilter& filter);

// `filter`'s settings block as text.
QUAX_SCAN_API std::wstring filterSettingsText(const ScanLineFilter& filter);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_FILTERREGISTRY_H_
