// SPDX-License-Identifier: MIT
// The subcommands of quaxscan, each with the options it was given. Every
// command writes its report to standard output (progress to standard error)
// and throws on failure; main turns the exception into a message and a
// non-zero exit. Output files are replaced only when the command succeeds.
#ifndef QUAX_APPS_QUAXSCAN_COMMANDS_H_
#define QUAX_APPS_QUAXSCAN_COMMANDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "acquire/SimulatedScanner.h"

namespace quaxscan {

struct SimulateOptions {
  QUAX::SimulationSettings simulation;
  std::vector<double> misregistration;  // x y z
  std::vector<double> rotation;         // degrees about z, about x
  std::string output;
  bool ascii = false;
};

struct ConvertOptions {
  std::string input, output;
  bool ascii = false;
};

struct InfoOptions {
  std::string input;
  bool perFrame = false;
};

struct FilterOptions {
  std::string input, output, settings;
  bool ascii = false;
  unsigned threads = 0;  // 0: one per hardware thread
};

struct ExtentOptions {
  std::string input, output;
  std::size_t surface = 0;
};

struct StitchOptions {
  std::string input, output;
  double tolerance = 1.0;
  int iterations = 4;
  // "rigid", "reference" or "both" (ScanStitchTool's STITCH_RIGID,
  // STITCH_TO_REFERENCE, STITCH_BOTH); --to-reference means "reference".
  std::string method = "rigid";
  // A file of starting transforms for the rigid method (empty: none).
  std::string initial;
  bool toReference = false;
  bool ascii = false;
};

struct PlotOptions {
  std::string input, output, settings, title;
  std::size_t surface = 0;
  std::vector<std::size_t> frames;  // empty: the surface's middle frame
  // The overlap map instead of lines: the input's, and with `before` that
  // scan's too, distances taken within `tolerance`.
  bool overlap = false;
  std::string before;
  double tolerance = 1.0;
};

// The 3D view page of a scan (view/ScanView.h); built where three.js is.
struct ViewCommandOptions {
  std::string input, output, before, settings, title;
  std::string colour = "height";
  std::uint32_t maxPoints = 3000000;
  std::uint32_t firstFramePoints = 250000;
  double tolerance = 1.0;  // overlap: how far another surface is looked for
};

void runSimulate(const SimulateOptions& options);
void runConvert(const ConvertOptions& options);
void runInfo(const InfoOptions& options);
void runFilter(const FilterOptions& options);
void runExtent(const ExtentOptions& options);
void runStitch(const StitchOptions& options);
void runPlot(const PlotOptions& options);
// Throws when quaxscan was built without the view.
void runView(const ViewCommandOptions& options);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_COMMANDS_H_
