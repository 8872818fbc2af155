// SPDX-License-Identifier: MIT
// Filters made from settings text by a registry: the library's three, a
// host's own class, and the refusals with their messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>

#include "FilterTestSupport.h"
#include "scan/ScanErrors.h"
#include "scan/filters/FilterRegistry.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "util/TagIO.h"
#include "util/WideText.h"

namespace QUAX {
namespace {

using namespace test;

// A host's filter, made with the public headers only: lifts every point by
// `dz`; its block is <LiftFilter> with one <Dz value="..."/> line.
class LiftFilter : public ScanLineFilter {
 public:
  explicit LiftFilter(double dz = 0.0) : ScanLineFilter(L"LiftFilter"), _dz(dz) {}

 private:
  void writeSettings(std::wostream& os) const override {
    writeSimpleStartTag(os, getKey());
    os << L"<Dz value=\"" << _dz << L"\"/>" << std::endl;
    writeEndTag(os, getKey());
  }
  void readSettings(std::wistream& is) override {
    std::wstring rest;  // ` value="..."/>`
    if (!checkStartTag(is, getKey(), true) || !checkStartTag(is, L"Dz", false) ||
        !std::getline(is, rest) || rest.rfind(L" value=\"", 0) != 0 ||
        rest.substr(rest.rfind(L'"')) != L"\"/>" || !checkEndTag(is, getKey())) {
      throw EScanIOBadAttribute(L"LiftFilter");
    }
    _dz = std::stod(rest.substr(8));
  }
  void filterLine(ScanLine* line) const override {
    for (std::size_t i = 0; i < line->getPointCount(); ++i) {
      const auto& p = line->getPoint(i)->position();
      line->getPoint(i)->setPosition(p.x(), p.y(), p.z() + _dz);
    }
  }
  double _dz;
};

const std::wstring kBlocks[] = {
    filterSettingsText(ScanAverageFilter(5, 500.0)),
    filterSettingsText(ScanChordalDeviationFilter(0.5)),
    filterSettingsText(
        ScanNPointFilter(20, ScanNPointFilter::EQUAL_ARC_LENGTH))};
const std::wstring kThree = kBlocks[0] + L"\n  \n" + kBlocks[1] + kBlocks[2];

TEST(FilterRegistry, MakesTheLibraryFiltersInTheTextsOrder) {
  const FilterRegistry registry;
  const auto filters = registry.read(kThree);
  ASSERT_EQ(filters.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(filterSettingsText(*filters[i]), kBlocks[i]);
  }
  EXPECT_NE(dynamic_cast<const ScanNPointFilter*>(filters[2].get()), nullptr);
  EXPECT_EQ(registry.names(),
            (std::vector<std::wstring>{L"ScanAverageFilter",
                                       L"ScanChordalDeviationFilter",
                                       L"ScanNPointFilter"}));
}

TEST(FilterRegistry, MakesAHostsFilterFromItsBlock) {
  FilterRegistry registry;
  registry.add<LiftFilter>();
  const auto filters =
      registry.read(filterSettingsText(LiftFilter(2.5)) + kThree);
  ASSERT_EQ(filters.size(), 4u);
  EXPECT_EQ(filterSettingsText(*filters[0]), filterSettingsText(LiftFilter(2.5)));
  ScanLine line = makeLine({{0, 0, 1}, {1, 0, -1}});
  filterScanLine(*filters[0], &line);
  EXPECT_EQ(positionsOf(line), (Points{{0, 0, 3.5}, {1, 0, 1.5}}));
  EXPECT_TRUE(registry.contains(L"LiftFilter"));
  EXPECT_THROW(FilterRegistry().read(filterSettingsText(LiftFilter())),
               EScanFilterSettingsError);
}

std::string messageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EScanFilterSettingsError& e) {
    return e.message();
  }
  return "(nothing thrown)";
}

TEST(FilterRegistry, RefusesUnknownBlocksAndNamesClearly) {
  FilterRegistry registry;
  const std::string expected =
      "(expected <ScanAverageFilter>, <ScanChordalDeviationFilter> or "
      "<ScanNPointFilter>";
  EXPECT_EQ(messageOf([&] { registry.read(kThree + L"\n <ScanMedianFilter>\n"); }),
            "line " + std::to_string(std::count(kThree.begin(), kThree.end(), L'\n') + 2) +
                ": '<ScanMedianFilter>' does not start a filter settings "
            "block " + expected + ")");
  EXPECT_EQ(messageOf([&] { registry.read(L" \n\n"); }),
            "the settings text: holds no filter settings block");
  EXPECT_EQ(messageOf([&] { registry.make(L"Median"); }),
            "'Median' names no registered filter " + expected + ")");
  EXPECT_EQ(messageOf([&] { registry.add(L"Lift Filter", [] { return nullptr; }); }),
            "'Lift Filter' cannot name a filter settings block");
  EXPECT_EQ(messageOf([&] { registry.add(L"LiftFilter", nullptr); }),
            "no maker given for the LiftFilter block");
  registry.add<LiftFilter>();
  EXPECT_EQ(messageOf([&] { registry.read(L"<Median>"); }),
            "line 1: '<Median>' does not start a filter settings block " +
                expected.substr(0, expected.find(" or ")) +
                ", <ScanNPointFilter> or <LiftFilter>)");
  // A block its filter refuses: the filter's own error, or what `refused`
  // makes of it.
  const std::wstring cut = L"\n<ScanChordalDeviationFilter>\n<Deviation";
  EXPECT_THROW(registry.read(cut), EScanIOBadAttribute);
  std::string where;
  EXPECT_THROW(registry.read(cut, "t", [](std::size_t n) { return std::to_string(n); },
                             [&](const EVXException&, const ScanLineFilter& f,
                                 const std::string& at) {
                               where = at + " " + toUtf8(f.getKey());
                               throw EScanFilterSettingsError(where);
                             }),
               EScanFilterSettingsError);
  EXPECT_EQ(where, "2 ScanChordalDeviationFilter");
}

}  // namespace
}  // namespace QUAX
