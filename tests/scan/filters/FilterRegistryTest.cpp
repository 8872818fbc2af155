// SPDX-License-Identifier: MIT
// Filters made from settings text by a registry: the library's three, a
// host's own class, and the refusals with their messages.
#include <gtest/gtest.h>

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

namespace QUAX {
namespace {

using namespace test;

// A host's filter, made with the public headers only: lifts every point by
// `dz`; its block is <LiftFilter> with one <Dz value="..."/> line.
class LiftFilter : public ScanLineFilter {
 public:
  explicit LiftFilter(double dz = 0.0)
      : ScanLineFilter(L"LiftFilter"), _dz(dz) {}

 private:
  void writeSettings(std::wostream& os) const override {
    writeSimpleStartTag(os, getKey());
    os << L"<Dz value=\"" << _dz << L"\"/>" << std::endl;
    writeEndTag(os, getKey());
  }
  void readSettings(std::wistream& is) override {
    std::wstring rest;  // ` value="..."/>`
    if (!checkStartTag(is, getKey(), true) ||
        !checkStartTag(is, L"Dz", false) || !std::getline(is, rest) ||
        rest.rfind(L" value=\"", 0) != 0 ||
        rest.substr(rest.rfind(L'"')) != L"\"/>" ||
        !checkEndTag(is, getKey())) {
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

TEST(FilterRegistry, MakesTheLibrarysAndAHostsFiltersInTheTextsOrder) {
  const std::wstring blocks[] = {
      filterSettingsText(LiftFilter(2.5)),
      filterSettingsText(ScanAverageFilter(5, 500.0)),
      filterSettingsText(ScanChordalDeviationFilter(0.5)),
      filterSettingsText(
          ScanNPointFilter(20, ScanNPointFilter::EQUAL_ARC_LENGTH))};
  FilterRegistry registry;
  EXPECT_THROW(registry.read(blocks[0]), EScanFilterSettingsError);
  registry.add<LiftFilter>();
  const auto filters =
      registry.read(blocks[0] + L"\n  \n" + blocks[1] + blocks[2] + blocks[3]);
  ASSERT_EQ(filters.size(), 4u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(filterSettingsText(*filters[i]), blocks[i]);
  EXPECT_NE(dynamic_cast<const ScanNPointFilter*>(filters[3].get()), nullptr);
  ScanLine line = makeLine({{0, 0, 1}, {1, 0, -1}});
  filterScanLine(*filters[0], &line);
  EXPECT_EQ(positionsOf(line), (Points{{0, 0, 3.5}, {1, 0, 1.5}}));
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
  const std::string known =
      "<ScanAverageFilter>, <ScanChordalDeviationFilter> or <ScanNPointFilter>";
  const std::wstring block =
      filterSettingsText(ScanChordalDeviationFilter(1.0));
  EXPECT_EQ(
      messageOf([&] { registry.read(block + L"\n <ScanMedianFilter> \n"); }),
      "line 6: '<ScanMedianFilter>' does not start a filter settings "
      "block (expected " +
          known + ")");
  EXPECT_EQ(messageOf([&] { registry.read(L" \n\n"); }),
            "the settings text: holds no filter settings block");
  EXPECT_EQ(messageOf([&] { registry.make(L"Median"); }),
            "'Median' names no registered filter (expected " + known + ")");
  EXPECT_EQ(
      messageOf([&] { registry.add(L"Lift Filter", [] { return nullptr; }); }),
      "'Lift Filter' cannot name a filter settings block");
  registry.add<LiftFilter>();
  EXPECT_EQ(
      messageOf([&] { registry.read(L"<Median>"); }),
      "line 1: '<Median>' does not start a filter settings block (expected "
      "<ScanAverageFilter>, <ScanChordalDeviationFilter>, "
      "<ScanNPointFilter> or <LiftFilter>)");
  // A block its filter refuses: the filter's own error.
  EXPECT_THROW(registry.read(L"\n<ScanChordalDeviationFilter>\n<Deviation"),
               EScanIOBadAttribute);
}

}  // namespace
}  // namespace QUAX
