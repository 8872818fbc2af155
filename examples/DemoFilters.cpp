// SPDX-License-Identifier: MIT
// The three scan line filters, with settings read from a settings text file,
// applied to simulated noisy sweeps.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "Demo.h"
#include "acquire/SimulatedScanner.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanSet.h"
#include "util/VXException.h"
#include "util/WideText.h"

namespace quaxdemo {

using QUAX::ScannerSettings;
using QUAX::SimulatedScanner;

namespace {

constexpr std::size_t kFrames = 20;

// A set holding one simulated sweep; every filter gets the same one.
std::unique_ptr<QUAX::ScanSet> simulatedSet() {
  ScannerSettings settings;
  settings.seed = 7;
  settings.noise = 0.03;
  SimulatedScanner scanner(settings);
  auto set = std::make_unique<QUAX::ScanSet>();
  set->addSurface(scanner.sweep(kFrames));
  return set;
}

struct SetFigures {
  std::size_t points = 0;
  std::size_t fewest = 0;
  std::size_t most = 0;
  double rmsError = 0.0;  // height above the noise-free part, root mean square
};

SetFigures figuresOf(const QUAX::ScanSet& set) {
  SetFigures figures;
  double squares = 0.0;
  const QUAX::ScanSurface* surface = set.getSurface(0);
  for (std::size_t f = 0; f < surface->getFrameCount(); ++f) {
    const QUAX::ScanLine* line = surface->getFrame(f)->getScanLine();
    const std::size_t count = line->getPointCount();
    figures.points += count;
    if (f == 0 || count < figures.fewest) figures.fewest = count;
    if (count > figures.most) figures.most = count;
    for (std::size_t i = 0; i < count; ++i) {
      const auto& p = line->getPoint(i)->position();
      const double error = p.z() - SimulatedScanner::partHeight(p.x(), p.y());
      squares += error * error;
    }
  }
  if (figures.points > 0) {
    figures.rmsError = std::sqrt(squares / static_cast<double>(figures.points));
  }
  return figures;
}

void printSettings(const std::wstring& text) {
  std::istringstream lines(QUAX::toUtf8(text));
  for (std::string line; std::getline(lines, line);) {
    std::printf("    %s\n", line.c_str());
  }
}

template <class Filter>
void runFilter(const char* what, const Filter& filter, bool smooths) {
  std::wostringstream settings;
  settings << filter;
  std::printf("  %s, settings:\n", what);
  printSettings(settings.str());

  auto set = simulatedSet();
  const SetFigures before = figuresOf(*set);
  filter.applyFilter(*set);
  const SetFigures after = figuresOf(*set);
  std::printf(
      "    %zu frames: %zu points before, %zu after (%zu to %zu per line)",
      kFrames, before.points, after.points, after.fewest, after.most);
  if (smooths) {
    // Thinning keeps the points that deviate, so only smoothing is judged by
    // the height error.
    std::printf("; height error (rms) %.4f before, %.4f after", before.rmsError,
                after.rmsError);
  }
  std::printf("\n\n");
}

}  // namespace

void runFiltersDemo() {
  std::printf("== Scan line filters\n");
  const std::string path =
      std::string(QUAX_DEMO_DATA_DIR) + "/filters.settings";
  std::ifstream file(path, std::ios::binary);
  const std::string utf8((std::istreambuf_iterator<char>(file)),
                         std::istreambuf_iterator<char>());
  if (!file) {
    std::printf("  cannot read %s\n\n", path.c_str());
    return;
  }
  std::printf("  settings read from %s\n\n", path.c_str());

  // Placeholders: the file's blocks replace their settings.
  QUAX::ScanAverageFilter average(3, 1.0);
  QUAX::ScanChordalDeviationFilter chordal(1.0);
  QUAX::ScanNPointFilter nPoint(3, QUAX::ScanNPointFilter::EQUAL_INDEX);
  std::wistringstream settings(QUAX::fromUtf8(utf8));
  try {
    settings >> average >> chordal >> nPoint;
  } catch (const QUAX::EVXException& e) {
    std::printf("  bad settings: %s\n\n", e.what());
    return;
  }

  runFilter("Average filter (smooths; keeps every point)", average, true);
  runFilter(
      "Chordal deviation filter (thins to the points that shape the line)",
      chordal, false);
  runFilter(
      "N-point filter (searched deviation limit; a line where the search "
      "misses ends with fewer points or keeps its own)",
      nPoint, false);
}

}  // namespace quaxdemo
