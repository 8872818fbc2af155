// SPDX-License-Identifier: MIT
#include "apps/quaxscan/Commands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "apps/quaxscan/FilterSettings.h"
#include "apps/quaxscan/ProgressReport.h"
#include "apps/quaxscan/ScanSetIO.h"
#include "apps/quaxscan/ScanSetSummary.h"
#include "apps/quaxscan/SvgPlot.h"
#include "geomath/GeoLine.h"
#include "geomath/MathErrors.h"
#include "scan/extent/SurfaceExtent.h"
#include "scan/filters/ParallelFilter.h"
#include "scan/io/ScanFileFilter.h"
#include "scan/io/ScanFrameStream.h"
#include "scan/stitch/ScanStitchTool.h"
#include "util/WideText.h"
#if QUAXSCAN_HAVE_VIEW
#include "view/ScanView.h"
#endif

namespace quaxscan {

namespace {

std::string fixed(double value, int decimals = 3) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string tickText(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string milliseconds(std::chrono::steady_clock::time_point since) {
  const auto took = std::chrono::steady_clock::now() - since;
  return std::to_string(
             std::chrono::duration_cast<std::chrono::milliseconds>(took)
                 .count()) +
         " ms";
}

void report(const std::string& what, const std::string& path) {
  std::cout << what << " " << path << "\n";
}

// ---- filter settings --------------------------------------------------------

struct NamedFilter {
  std::string name;
  std::unique_ptr<QUAX::ScanLineFilter> filter;
};

// The filters whose settings blocks `path` holds, in order. The file is UTF-8
// text; each block starts with its filter's name in angle brackets.
std::vector<NamedFilter> readFilterSettings(const std::string& path) {
  std::vector<NamedFilter> filters;
  for (auto& filter : readFilterSettingsFile(path)) {
    NamedFilter entry;
    entry.name = QUAX::toUtf8(filter->getKey());
    entry.filter = std::move(filter);
    filters.push_back(std::move(entry));
  }
  return filters;
}

std::string settingsText(const NamedFilter& entry) {
  return quaxscan::settingsText(*entry.filter);
}

// The position of a surface's first point, to see how far stitching moved
// it (surfaces are only translated).
bool firstPoint(const QUAX::ScanSurface& surface, QUAX::_GeoPoint<double>& p) {
  for (std::size_t f = 0; f < surface.getFrameCount(); ++f) {
    const QUAX::ScanFrame* frame = surface.getFrame(f);
    if (frame->hasScanLine() && frame->getScanLine()->getPointCount() > 0) {
      p = frame->getScanLine()->getPoint(0)->position();
      return true;
    }
  }
  return false;
}

// The starting transforms of --initial: a line per surface given, its index
// in the scan file and the top three rows of its 4x4 transform, row by row
// (r00 r01 r02 tx r10 r11 r12 ty r20 r21 r22 tz); '#' starts a comment.
// Surfaces not listed start where they are.
std::vector<QUAX::_MathMatrix<double>> readInitialTransforms(
    const std::string& path, std::size_t surfaces) {
  std::ifstream in(path);
  if (!in) throw ScanFileError(path + ": cannot open the starting transforms");
  std::vector<QUAX::_MathMatrix<double>> initial(surfaces);
  std::vector<bool> given(surfaces, false);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = path + ":" + std::to_string(number) + ": ";
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    double surface = 0.0;
    if (!(fields >> surface)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      throw ScanFileError(where + "expected a surface index and 12 numbers");
    }
    double v[12];
    int count = 0;
    for (double value; count < 13 && fields >> value; ++count) {
      if (count < 12) v[count] = value;
    }
    if (count != 12 || !fields.eof()) {
      throw ScanFileError(where + "expected a surface index and 12 numbers");
    }
    if (!(surface >= 0.0 && surface < static_cast<double>(surfaces)) ||
        surface != std::floor(surface)) {
      throw ScanFileError(where + "no surface " + tickText(surface) +
                          " (the scan has " + std::to_string(surfaces) + ")");
    }
    const auto s = static_cast<std::size_t>(surface);
    if (given[s]) {
      throw ScanFileError(where + "surface " + std::to_string(s) +
                          " is given twice");
    }
    given[s] = true;
    initial[s] = QUAX::_MathMatrix<double>(v[0], v[1], v[2], v[4], v[5], v[6],
                                           v[8], v[9], v[10], v[3], v[7],
                                           v[11]);
    try {
      QUAX::ScanStitchTool(1.0).addSurfacePointer(nullptr, true, initial[s]);
    } catch (const QUAX::EMathSingularMatrix&) {
      throw ScanFileError(where + "the transform of surface " +
                          std::to_string(s) +
                          " is not a rotation and a translation");
    }
  }
  return initial;
}

// A registered surface whose fit ran out of iterations while its last one
// still changed the RMS distance by more than a percent.
bool stillSettling(const QUAX::ScanStitchTool::RigidSurfaceReport& r) {
  const std::vector<double>& rms = r.rmsPerIteration;
  return r.status == QUAX::ScanStitchTool::RIGID_REGISTERED && !r.converged &&
         rms.size() >= 2 &&
         std::fabs(rms[rms.size() - 1] - rms[rms.size() - 2]) >
             0.01 * rms.back();
}

// What the rigid stitch did with each surface: its status, the RMS
// distance of its sampled points from the later surfaces before and after,
// and the move (rotation angles about z, y and x, then the shift).
void printRigidReport(
    const std::vector<QUAX::ScanStitchTool::RigidSurfaceReport>& reports) {
  constexpr double kDegree = 180.0 / 3.14159265358979323846;
  for (std::size_t s = 0; s < reports.size(); ++s) {
    const QUAX::ScanStitchTool::RigidSurfaceReport& r = reports[s];
    std::cout << "surface " << s << ": ";
    switch (r.status) {
      case QUAX::ScanStitchTool::RIGID_REFERENCE:
        std::cout << "reference, not moved\n";
        continue;
      case QUAX::ScanStitchTool::RIGID_TOO_FEW_PAIRS:
        std::cout << "not registered: too few points within the tolerance ("
                  << r.pairsBefore << ")";
        break;
      case QUAX::ScanStitchTool::RIGID_NOT_IMPROVED:
        std::cout << "not registered: no fit brought it closer";
        break;
      default:
        std::cout << "registered";
    }
    std::cout << "; RMS distance " << fixed(r.rmsBefore, 4) << " before ("
              << r.pairsBefore << " points), " << fixed(r.rmsAfter, 4)
              << " after (" << r.pairsAfter << " points), " << r.iterations
              << " iterations" << (r.converged ? ", converged" : "") << "\n";
    if (r.status == QUAX::ScanStitchTool::RIGID_TOO_FEW_PAIRS) {
      std::cout << "  hint: it overlaps the later surfaces too little within "
                   "the tolerance; a larger --tolerance pairs more points, "
                   "and --initial FILE starts it where it roughly belongs\n";
    } else if (r.status == QUAX::ScanStitchTool::RIGID_NOT_IMPROVED) {
      std::cout << "  hint: it lies too far from where it belongs for the "
                   "fit to find its way; give a rough starting transform "
                   "with --initial FILE, or a larger --tolerance\n";
    } else if (stillSettling(r)) {
      std::cout << "  hint: the last iteration still changed the RMS "
                   "distance; more --iterations let the fit settle\n";
    }
    if (r.status != QUAX::ScanStitchTool::RIGID_REGISTERED) continue;
    // R = Rz(a) Ry(b) Rx(c).
    const QUAX::_MathMatrix<double>& m = r.transform;
    const double b = -std::asin(std::clamp(m.rotation(2, 0), -1.0, 1.0));
    const double a = std::atan2(m.rotation(1, 0), m.rotation(0, 0));
    const double c = std::atan2(m.rotation(2, 1), m.rotation(2, 2));
    const QUAX::_MathVector<double> t = m.getTranslation();
    std::cout << "  moved: turned " << fixed(a * kDegree, 4) << " deg about z, "
              << fixed(b * kDegree, 4) << " about y, " << fixed(c * kDegree, 4)
              << " about x, then shifted by (" << fixed(t.x(), 4) << ", "
              << fixed(t.y(), 4) << ", " << fixed(t.z(), 4) << ")\n";
  }
}

}  // namespace

// ---- commands ---------------------------------------------------------------

void runSimulate(const SimulateOptions& options) {
  const ScanFileFormat format = formatForPath(options.output, options.ascii);
  QUAX::SimulationSettings settings = options.simulation;
  // Several GB of memory already; beyond that a machine runs out first.
  const double points = double(settings.surfaces) *
                        double(settings.framesPerSurface) *
                        double(settings.scanner.pointsPerLine);
  if (points > 1e8) {
    throw ScanFileError(options.output + ": " + fixed(points, 0) +
                        " points asked for; at most 100000000 are simulated");
  }
  if (options.rotation.size() == 2) {
    settings.rotationZ = options.rotation[0];
    settings.rotationX = options.rotation[1];
  }
  if (options.misregistration.size() == 3) {
    settings.misregistration = QUAX::_MathVector<double>(
        options.misregistration[0], options.misregistration[1],
        options.misregistration[2]);
  }
  const auto start = std::chrono::steady_clock::now();
  // Frame by frame into the file: memory stays that of a frame.
  QUAX::ScanFrameWriter writer(
      options.output, format,
      std::vector<std::size_t>(settings.surfaces, settings.framesPerSurface),
      settings.scanner.graysum, settings.scanner.pixels);
  // Holes and dropouts lose a few: the count of a full scan has the digits
  // of most.
  writer.expectPoints(std::uint64_t(points));
  QUAX::simulateScanFrames(settings, [&](std::size_t s, std::size_t f,
                                         std::unique_ptr<QUAX::ScanFrame> d) {
    writer.write(s, f, *d);
  });
  writer.finish();
  std::cout << "simulated " << settings.surfaces
            << " overlapping sweeps of " << settings.framesPerSurface
            << " frames: " << writer.pointCount() << " points (seed "
            << settings.scanner.seed << ", noise " << settings.scanner.noise
            << ", " << (settings.scanner.graysum ? "with" : "without")
            << " gray sums) in " << milliseconds(start) << "\n";
  std::cout << "sweep k is registered off by k times ("
            << fixed(settings.misregistration.x()) << ", "
            << fixed(settings.misregistration.y()) << ", "
            << fixed(settings.misregistration.z()) << ")";
  if (settings.rotationZ != 0.0 || settings.rotationX != 0.0) {
    std::cout << " and turned by k times " << settings.rotationZ
              << " deg about z, " << settings.rotationX << " deg about x";
  }
  std::cout << "\n";
  report(std::string("wrote ") + formatName(format), options.output);
}

void runConvert(const ConvertOptions& options) {
  const ScanFileFormat format = formatForPath(options.output, options.ascii);
  // Frame by frame, through no filter: memory stays that of a batch of
  // frames, whatever the file's size.
  const QUAX::ScanFileFilterReport done = QUAX::filterScanFile(
      options.input, options.output, format, {}, 1);
  std::cout << done.pointsIn << " points\n";
  report(std::string("wrote ") + formatName(format), options.output);
}

void runInfo(const InfoOptions& options) {
  const auto set = readScanSetFile(options.input);
  std::cout << options.input << ": ";
  printSummary(summarize(*set, true), options.perFrame, std::cout);
}

void runFilter(const FilterOptions& options) {
  const ScanFileFormat format = formatForPath(options.output, options.ascii);
  const std::vector<NamedFilter> filters = readFilterSettings(options.settings);
  std::vector<const QUAX::ScanLineFilter*> chain;
  for (const NamedFilter& f : filters) chain.push_back(f.filter.get());
  const QUAX::ScanFileFilterReport done = QUAX::filterScanFile(
      options.input, options.output, format, chain, options.threads,
      [&](std::uint64_t points) {
        std::cout << options.input << ": " << points << " points\n";
      });
  for (std::size_t i = 0; i < filters.size(); ++i) {
    std::cout << filters[i].name << ": " << done.before[i] << " -> "
              << done.after[i] << " points in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     done.took[i])
                     .count()
              << " ms\n";
    std::istringstream lines(settingsText(filters[i]));
    for (std::string line; std::getline(lines, line);) {
      std::cout << "    " << line << "\n";
    }
  }
  report(std::string("wrote ") + formatName(format), options.output);
}

void runExtent(const ExtentOptions& options) {
  const auto set = readScanSetFile(options.input);
  if (options.surface >= set->getSurfaceCount()) {
    throw ScanFileError(
        options.input + ": has " + std::to_string(set->getSurfaceCount()) +
        " surfaces; there is no surface " + std::to_string(options.surface));
  }
  QUAX::ScanSurface* surface = set->getSurface(options.surface);
  QUAX::SurfaceExtent extent;
  try {
    extent.calculateExtents(surface);
  } catch (const QUAX::EVXException& e) {
    throw ScanFileError(options.input + ": surface " +
                        std::to_string(options.surface) +
                        ": no extent: " + e.what());
  }
  std::vector<QUAX::ScanNode*> nodes;
  extent.getNodeList(&nodes);
  std::cout << options.input << ", surface " << options.surface << " of "
            << set->getSurfaceCount() << ": " << nodes.size() << " nodes from "
            << surface->getFrameCount()
            << " frames (frames with fewer than six points have none)\n";
  if (!nodes.empty()) {
    QUAX::_GeoLine<double> ref;
    extent.getRefLine(ref);
    QUAX::_MathVector<double> split;
    try {
      extent.getSplitDirection(split);
      std::cout << "split direction (" << fixed(split.x(), 4) << ", "
                << fixed(split.y(), 4) << ", " << fixed(split.z(), 4) << ")\n";
    } catch (const QUAX::EVXException&) {
      std::cout << "split direction: none (the frames do not advance)\n";
    }
    std::cout << "reference line through (" << fixed(ref.getOrigin().x())
              << ", " << fixed(ref.getOrigin().y()) << ", "
              << fixed(ref.getOrigin().z()) << ")\n";
    double widest = 0.0, steepest = 0.0;
    std::int32_t widestFrame = 0;
    for (const QUAX::ScanNode* node : nodes) {
      double distance = 0.0, differential = 0.0;
      node->getProjectedDistance(distance);
      node->getprojectedDifferential(differential);
      if (std::fabs(distance) > std::fabs(widest)) {
        widest = distance;
        widestFrame = node->getFrameIndex();
      }
      if (std::fabs(differential) > std::fabs(steepest))
        steepest = differential;
    }
    std::cout << "the middle line leaves the reference line by up to "
              << fixed(std::fabs(widest)) << " (frame " << widestFrame
              << "); steepest change " << fixed(steepest, 4)
              << " per unit of travel\n";
  }
  if (!options.output.empty()) {
    replaceFile(options.output, [&](std::ostream& out) { out << extent; });
    report(
        "wrote the node text (per node: middle, first and last point x,y,z; "
        "distance; differential) to",
        options.output);
  }
}

void runStitch(const StitchOptions& options) {
  const ScanFileFormat format = formatForPath(options.output, options.ascii);
  const std::string method = options.toReference ? "reference" : options.method;
  QUAX::ScanStitchTool::StitchMethod how;
  if (method == "rigid") {
    how = QUAX::ScanStitchTool::STITCH_RIGID;
  } else if (method == "reference") {
    how = QUAX::ScanStitchTool::STITCH_TO_REFERENCE;
  } else if (method == "both") {
    how = QUAX::ScanStitchTool::STITCH_BOTH;
  } else {
    throw ScanFileError("unknown stitch method '" + method +
                        "' (use rigid, reference or both)");
  }
  const auto set = readScanSetFile(options.input);
  if (set->getSurfaceCount() < 2) {
    throw ScanFileError(options.input + ": has " +
                        std::to_string(set->getSurfaceCount()) +
                        " surface; stitching needs two or more");
  }
  if (!options.initial.empty() && how != QUAX::ScanStitchTool::STITCH_RIGID) {
    throw ScanFileError("--initial is for --method rigid: the other methods "
                        "only translate along local normals");
  }
  const std::vector<QUAX::_MathMatrix<double>> initial =
      options.initial.empty()
          ? std::vector<QUAX::_MathMatrix<double>>(set->getSurfaceCount())
          : readInitialTransforms(options.initial, set->getSurfaceCount());
  const OverlapGap before = overlapGap(*set, options.tolerance);
  std::vector<QUAX::_GeoPoint<double>> starts(set->getSurfaceCount());
  std::vector<bool> hasStart(set->getSurfaceCount());
  for (std::size_t s = 0; s < set->getSurfaceCount(); ++s) {
    QUAX::_GeoPoint<double> p;
    hasStart[s] = firstPoint(*set->getSurface(s), p);
    starts[s] = p;
  }

  QUAX::ScanStitchTool tool(options.tolerance);
  ProgressReport progress(stderr, "stitching: ");
  tool.attach(
      QUAX::ScanStitchTool::Callback(progress, &ProgressReport::onProgress),
      0xFFFFFFFFu);
  const auto start = std::chrono::steady_clock::now();
  try {
    for (std::size_t s = 0; s < set->getSurfaceCount(); ++s) {
      tool.addSurfacePointer(set->getSurface(s), true, initial[s]);
    }
    tool.stitchSurfaces(options.iterations, how);
  } catch (const QUAX::EVXException& e) {
    throw ScanFileError(options.input + ": stitching failed: " + e.what());
  }
  const char* described = method == "rigid"       ? "rigid, point to plane"
                          : method == "reference" ? "to the reference"
                                                  : "both ways";
  std::cout << "stitched " << set->getSurfaceCount() << " surfaces ("
            << described << ", tolerance " << options.tolerance << ", "
            << options.iterations << " iterations) in " << milliseconds(start)
            << "\n";
  if (how == QUAX::ScanStitchTool::STITCH_RIGID) {
    printRigidReport(tool.getRigidReport());
  } else {
    for (std::size_t s = 0; s < set->getSurfaceCount(); ++s) {
      QUAX::_GeoPoint<double> p;
      if (!hasStart[s] || !firstPoint(*set->getSurface(s), p)) continue;
      const QUAX::_MathVector<double> moved = p - starts[s];
      std::cout << "surface " << s << " moved by (" << fixed(moved.x(), 4)
                << ", " << fixed(moved.y(), 4) << ", " << fixed(moved.z(), 4)
                << ")\n";
    }
  }
  const OverlapGap after = overlapGap(*set, options.tolerance);
  std::cout << "mean distance between overlapping surfaces: "
            << fixed(before.meanDistance, 4) << " before (" << before.pairs
            << " points), " << fixed(after.meanDistance, 4) << " after ("
            << after.pairs << " points)\n";
  writeScanSetFile(*set, format, options.output);
  report(std::string("wrote ") + formatName(format), options.output);
}

namespace {

// The overlap map of the input, below that of the scan before (when given).
void plotOverlap(const PlotOptions& options) {
  std::vector<OverlapPanel> panels;
  auto add = [&](const std::string& path, const std::string& label) {
    const auto set = readScanSetFile(path);
    if (set->getSurfaceCount() < 2) {
      throw ScanFileError(path + ": has " +
                          std::to_string(set->getSurfaceCount()) +
                          " surface; an overlap needs two or more");
    }
    panels.push_back(OverlapPanel{
        label + " (" + std::filesystem::path(path).filename().string() + ")",
        overlapSamples(*set, options.tolerance, 40000)});
  };
  if (!options.before.empty()) add(options.before, "before");
  add(options.input, options.before.empty() ? "overlap" : "after");
  std::string title = options.title;
  if (title.empty()) {
    title = "Overlap of " +
            std::filesystem::path(options.input).filename().string();
  }
  const std::string subtitle =
      "distance of each later surface's points from the plane of an earlier "
      "surface's points within " +
      tickText(options.tolerance);
  replaceFile(options.output, [&](std::ostream& out) {
    writeOverlapPlot(panels, title, subtitle, out);
  });
  for (const OverlapPanel& panel : panels) {
    double sum = 0.0;
    for (const OverlapSample& sample : panel.samples)
      sum += std::fabs(sample.distance);
    std::cout << panel.label << ": mean distance "
              << fixed(panel.samples.empty()
                           ? 0.0
                           : sum / double(panel.samples.size()),
                       4)
              << " over " << panel.samples.size() << " points\n";
  }
  report("wrote", options.output);
}

}  // namespace

void runPlot(const PlotOptions& options) {
  if (options.overlap || !options.before.empty()) {
    plotOverlap(options);
    return;
  }
  const auto set = readScanSetFile(options.input);
  std::vector<NamedFilter> filters;
  if (!options.settings.empty()) filters = readFilterSettings(options.settings);
  if (options.surface >= set->getSurfaceCount()) {
    throw ScanFileError(
        options.input + ": has " + std::to_string(set->getSurfaceCount()) +
        " surfaces; there is no surface " + std::to_string(options.surface));
  }
  const QUAX::ScanSurface* surface = set->getSurface(options.surface);
  std::vector<std::size_t> frames = options.frames;
  if (frames.empty()) {
    if (surface->getFrameCount() == 0) {
      throw ScanFileError(options.input + ": surface " +
                          std::to_string(options.surface) + " has no frames");
    }
    frames.push_back(surface->getFrameCount() / 2);
  }

  std::string filterNames;
  for (const NamedFilter& f : filters) {
    filterNames += (filterNames.empty() ? "" : ", ") + f.name;
  }
  // The filtered lines live in one-frame sets of their own, filtered with the
  // library's own walk.
  std::vector<std::unique_ptr<QUAX::ScanSet>> filteredSets;
  std::vector<ProfilePanel> panels;
  for (std::size_t f : frames) {
    if (f >= surface->getFrameCount()) {
      throw ScanFileError(options.input + ": surface " +
                          std::to_string(options.surface) + " has " +
                          std::to_string(surface->getFrameCount()) +
                          " frames; there is no frame " + std::to_string(f));
    }
    const QUAX::ScanFrame* frame = surface->getFrame(f);
    if (!frame->hasScanLine()) continue;
    ProfilePanel panel;
    panel.surface = options.surface;
    panel.frame = f;
    panel.measured = frame->getScanLine();
    if (!filters.empty()) {
      auto one = std::make_unique<QUAX::ScanSurface>();
      one->appendFrame(std::make_unique<QUAX::ScanFrame>(
          std::make_unique<QUAX::ScanLine>(*panel.measured)));
      one->setComplete();
      auto oneSet = std::make_unique<QUAX::ScanSet>();
      oneSet->addSurface(std::move(one));
      for (const NamedFilter& entry : filters)
        entry.filter->applyFilter(*oneSet);
      panel.filtered = oneSet->getSurface(0)->getFrame(0)->getScanLine();
      panel.filteredLabel = "filtered";
      filteredSets.push_back(std::move(oneSet));
    }
    panels.push_back(panel);
  }
  std::string title = options.title;
  if (title.empty()) {
    title = std::filesystem::path(options.input).filename().string();
  }
  const std::string subtitle =
      filters.empty()
          ? std::string()
          : "grey: measured points; red: after " + filterNames + " (" +
                std::filesystem::path(options.settings).filename().string() +
                ")";
  replaceFile(options.output, [&](std::ostream& out) {
    writeSvgPlot(*set, panels, title, subtitle, out);
  });
  std::cout << "plotted " << panels.size() << " scan lines of surface "
            << options.surface << " and a top view of "
            << set->getSurfaceCount() << " surfaces\n";
  report("wrote", options.output);
}

void runView(const ViewCommandOptions& options) {
#if QUAXSCAN_HAVE_VIEW
  const auto start = std::chrono::steady_clock::now();
  QUAX::ViewOptions view;
  view.colour = QUAX::viewColourFromName(options.colour);
  view.maxPoints = options.maxPoints;
  view.firstFramePoints = options.firstFramePoints;
  view.overlapRadius = options.tolerance;
  view.title = options.title.empty()
                   ? std::filesystem::path(options.input).filename().string()
                   : options.title;
  const auto set = readScanSetFile(options.input);
  std::unique_ptr<QUAX::ScanSet> before;
  if (!options.before.empty()) {
    before = readScanSetFile(options.before);
    view.before = before.get();
    if (options.title.empty()) {
      view.title += " (before: " +
                    std::filesystem::path(options.before).filename().string() +
                    ")";
    }
  }
  std::vector<NamedFilter> filters;
  if (!options.settings.empty()) filters = readFilterSettings(options.settings);
  for (const NamedFilter& f : filters) view.filters.push_back(f.filter.get());
  QUAX::ViewReport written;
  replaceFile(options.output, [&](std::ostream& out) {
    written = QUAX::writeScanView(*set, view, out);
  });
  std::cout << "view of " << written.points << " points";
  if (written.shown < written.points) {
    std::cout << " (thinned to " << written.shown << ")";
  }
  if (view.before != nullptr) {
    std::cout << ", before " << written.beforePoints << " points";
    if (written.beforeShown < written.beforePoints) {
      std::cout << " (thinned to " << written.beforeShown << ")";
    }
  }
  std::cout << ", coloured by " << options.colour << " (" << written.valued
            << " with a value), three.js r" << QUAX::viewThreeJsRevision()
            << ", in " << milliseconds(start) << "\n";
  report("wrote", options.output);
#else
  (void)options;
  throw ScanFileError(
      "this quaxscan was built without the 3D view: three.js was not found "
      "(Debian: libjs-three, scripts/install-deps view)");
#endif
}

}  // namespace quaxscan
