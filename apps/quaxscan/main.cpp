// SPDX-License-Identifier: MIT
// quaxscan: the scan library on recorded and simulated scans from the
// command line. See `quaxscan --help` and the README.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "apps/quaxscan/AcquireCommand.h"
#include "apps/quaxscan/Commands.h"
#include "apps/quaxscan/Interrupts.h"
#include "apps/quaxscan/ScanSetIO.h"
#include "scan/model/ScanPointItems.h"
#include "util/VXException.h"

namespace {

using namespace quaxscan;

void addAsciiFlag(CLI::App* command, bool& ascii) {
  command->add_flag("--ascii", ascii,
                    "Write PLY as ASCII text rather than binary little-endian");
}

// Each command with its options, bound to the options its run reads.

CLI::App* addSimulate(CLI::App& app, SimulateOptions& simulate) {
  QUAX::ScannerSettings& scanner = simulate.simulation.scanner;
  scanner.dropoutRate = 0.05;
  simulate.misregistration = {0.15, -0.10, 0.40};
  CLI::App* sim = app.add_subcommand(
      "simulate",
      "Write the built-in data: a simulated laser line scanner sweeping a "
      "turbine-blade-like sheet with a step and a hole, in overlapping "
      "surfaces");
  sim->add_option("-o,--output", simulate.output, "Scan file to write")
      ->required();
  sim->add_option("--seed", scanner.seed, "Seed of the noise and dropouts")
      ->capture_default_str();
  sim->add_option("--surfaces", simulate.simulation.surfaces,
                  "Number of overlapping sweeps")
      ->capture_default_str()
      ->check(CLI::Range(1, 64));
  sim->add_option("--frames", simulate.simulation.framesPerSurface,
                  "Frames (scan lines) per sweep")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  sim->add_option("--points", scanner.pointsPerLine, "Points per scan line")
      ->capture_default_str()
      ->check(CLI::Range(2, 1000000));
  sim->add_option("--width", scanner.lineWidth, "Width of a scan line")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  sim->add_option("--spacing", scanner.frameSpacing,
                  "Advance of the sensor from frame to frame")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  sim->add_option("--noise", scanner.noise,
                  "Standard deviation of the height noise")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  sim->add_option("--dropouts", scanner.dropoutRate,
                  "Chance per line of losing a run of points")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 1.0));
  sim->add_option("--overlap", simulate.simulation.overlap,
                  "Share of a sweep that the next one scans again")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 0.95));
  sim->add_option("--misregistration", simulate.misregistration,
                  "Registration error x y z of sweep k, times k")
      ->expected(3)
      ->capture_default_str();
  sim->add_option("--rotation", simulate.rotation,
                  "Rotation DEG_Z DEG_X of sweep k, times k, about the middle "
                  "of the sheet (default none)")
      ->expected(2);
  sim->add_flag("--graysum", scanner.graysum, "Give every point a gray sum");
  sim->add_flag("--pixels", scanner.pixels,
                "Give every point its low and high pixel");
  addAsciiFlag(sim, simulate.ascii);
  return sim;
}

CLI::App* addConvert(CLI::App& app, ConvertOptions& convert) {
  CLI::App* conv = app.add_subcommand(
      "convert", "Read a scan file and write it in another format");
  conv->add_option("input", convert.input, "Scan file to read")->required();
  conv->add_option("-o,--output", convert.output, "Scan file to write")
      ->required();
  addAsciiFlag(conv, convert.ascii);
  return conv;
}

CLI::App* addInfo(CLI::App& app, InfoOptions& info) {
  CLI::App* inf = app.add_subcommand(
      "info", "Counts, bounding boxes and points per frame of a scan file");
  inf->add_option("input", info.input, "Scan file to read")->required();
  inf->add_flag("--frames", info.perFrame, "List the points of every frame");
  return inf;
}

CLI::App* addFilter(CLI::App& app, FilterOptions& filter) {
  CLI::App* fil = app.add_subcommand(
      "filter",
      "Apply the filters whose settings blocks a settings file holds, in "
      "order, to every scan line");
  fil->add_option("input", filter.input, "Scan file to read")->required();
  fil->add_option(
         "--settings", filter.settings,
         "Filter settings text (UTF-8), e.g. examples/data/filters.settings")
      ->required();
  fil->add_option("-o,--output", filter.output, "Scan file to write")
      ->required();
  fil->add_option("--threads", filter.threads,
                  "Threads that filter frames at once (0: all cores); the "
                  "result is that of one thread")
      ->default_val(0);
  addAsciiFlag(fil, filter.ascii);
  return fil;
}

CLI::App* addExtent(CLI::App& app, ExtentOptions& extent) {
  CLI::App* ext = app.add_subcommand(
      "extent",
      "The extent of a surface: a summary, and its node text to a file");
  ext->add_option("input", extent.input, "Scan file to read")->required();
  ext->add_option("--surface", extent.surface, "Surface to measure")
      ->capture_default_str();
  ext->add_option("-o,--output", extent.output,
                  "File for the node text, one comma-separated line per node");
  return ext;
}

CLI::App* addStitch(CLI::App& app, StitchOptions& stitch) {
  CLI::App* sti = app.add_subcommand(
      "stitch", "Stitch the surfaces of a scan file so that they overlap");
  sti->add_option("input", stitch.input, "Scan file to read")->required();
  sti->add_option("-o,--output", stitch.output, "Scan file to write")
      ->required();
  sti->add_option("--tolerance", stitch.tolerance,
                  "How far apart paired points may lie")
      ->required()
      ->check(CLI::PositiveNumber);
  sti->add_option("--iterations", stitch.iterations, "Stitch iterations")
      ->required()
      ->check(CLI::Range(1, 1000));
  CLI::Option* method =
      sti->add_option("--method", stitch.method,
                      "rigid: move each earlier surface onto the later ones "
                      "by a rotation and a translation; reference: move only "
                      "the earlier surface of each pair along its normals, "
                      "towards the later; both: move both surfaces of a pair")
          ->capture_default_str()
          ->check(CLI::IsMember({"rigid", "reference", "both"}));
  sti->add_option("--initial", stitch.initial,
                  "Starting transforms for the rigid method: lines of a "
                  "surface index and the top three rows of its 4x4 "
                  "transform (r00 r01 r02 tx r10 ... tz); '#' comments")
      ->check(CLI::ExistingFile);
  sti->add_flag("--to-reference", stitch.toReference,
                "The same as --method reference")
      ->excludes(method);
  addAsciiFlag(sti, stitch.ascii);
  return sti;
}

CLI::App* addPlot(CLI::App& app, PlotOptions& plot) {
  CLI::App* plo = app.add_subcommand(
      "plot",
      "An SVG of chosen scan lines (measured and filtered on one figure) and "
      "a top view of the surfaces");
  plo->add_option("input", plot.input, "Scan file to read")->required();
  plo->add_option("-o,--output", plot.output, "SVG file to write")->required();
  plo->add_option("--surface", plot.surface, "Surface of the lines")
      ->capture_default_str();
  plo->add_option("--frames", plot.frames,
                  "Frames whose lines to draw (default: the middle one)")
      ->delimiter(',');
  plo->add_option("--settings", plot.settings,
                  "Filter settings: draw each line after these filters too");
  plo->add_option("--title", plot.title, "Title of the figure");
  plo->add_flag("--overlap", plot.overlap,
                "Draw the overlap map instead: a top view coloured by the "
                "distance between overlapping surfaces");
  plo->add_option("--before", plot.before,
                  "With --overlap: the scan before stitching, drawn above");
  plo->add_option("--tolerance", plot.tolerance,
                  "With --overlap: how far the other surface's points are "
                  "looked for")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  return plo;
}

CLI::App* addView(CLI::App& app, ViewCommandOptions& view) {
  CLI::App* vie = app.add_subcommand(
      "view",
      "An interactive 3D view in one HTML file that opens in any browser "
      "(three.js inlined, no network): orbit, colour bar, surfaces on and "
      "off, a scan line and its profile");
  vie->add_option("input", view.input, "Scan file to read")->required();
  vie->add_option("-o,--output", view.output, "HTML file to write")
      ->required();
  vie->add_option("--before", view.before,
                  "A second scan (e.g. before stitching) to switch to, on the "
                  "same colour scale");
  vie->add_option("--color,--colour", view.colour,
                  "Colour points by height, surface, gray (gray sum), "
                  "deviation (from the filtered line) or overlap (distance "
                  "to the other surfaces)")
      ->capture_default_str()
      ->check(CLI::IsMember(
          {"height", "surface", "gray", "deviation", "overlap"}));
  vie->add_option("--max-points", view.maxPoints,
                  "Thin larger scans evenly to this many points")
      ->capture_default_str()
      ->check(CLI::Range(2u, 4000000000u));
  vie->add_option("--first-frame-points", view.firstFramePoints,
                  "Draw a larger scan first from about this many points, "
                  "evenly, and then whole (0: whole at once)")
      ->capture_default_str()
      ->check(CLI::Range(0u, 4000000000u));
  vie->add_option("--settings", view.settings,
                  "With --color deviation: the filters (default: an average "
                  "filter over 5 points)");
  vie->add_option("--tolerance", view.tolerance,
                  "With --color overlap: how far another surface is looked "
                  "for")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  vie->add_option("--title", view.title, "Title of the page");
  return vie;
}

CLI::App* addAcquire(CLI::App& app, AcquireOptions& acquire) {
  CLI::App* acq = app.add_subcommand(
      "acquire",
      "Acquire profiles from a camera into a scan file, with a progress line "
      "(profiles/s, lost so far)");
  acq->add_option("--camera", acquire.camera,
                  "Camera as `quaxscan cameras` lists it (default: the only "
                  "one)");
  CLI::Option* count =
      acq->add_option("--profiles", acquire.profiles, "Profiles to acquire")
          ->check(CLI::PositiveNumber);
  acq->add_option("--seconds", acquire.seconds, "How long to acquire")
      ->check(CLI::PositiveNumber)
      ->excludes(count);
  acq->add_option("--mode", acquire.mode,
                  "image: find the laser line in Mono8/12/16 images; "
                  "profile: the camera's Coord3D profiles; auto: profile "
                  "where the camera offers it")
      ->capture_default_str()
      ->check(CLI::IsMember({"auto", "image", "profile"}));
  acq->add_option("--settings", acquire.settings,
                  "Camera settings file: 'name = value' lines (see "
                  "docs/acquisition.md)");
  acq->add_option("--calibration", acquire.calibration,
                  "Calibration file from sensor (column, row) to (x, z)");
  acq->add_option("--filters", acquire.filters,
                  "Filter settings text: run these filters live on every "
                  "profile");
  acq->add_option("--surface-frames", acquire.framesPerSurface,
                  "Profiles per surface (default: one surface)");
  acq->add_option("-o,--output", acquire.output, "Scan file to write")
      ->required();
  addAsciiFlag(acq, acquire.ascii);
  return acq;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quaxscan;
  CLI::App app{
      "quaxscan: filter, stitch, measure and plot laser line scans with the "
      "QUAX scan library.\nScan sets are read from PLY (ASCII or binary "
      "little-endian) or x y z text files (.ply, .txt, .xyz).",
      "quaxscan"};
  app.require_subcommand(1);
  // On Windows CLI11 would take "/name" for an option; here it stays a path,
  // as on every other system.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", "quaxscan 4.0.1");

  SimulateOptions simulate;
  ConvertOptions convert;
  InfoOptions info;
  FilterOptions filter;
  ExtentOptions extent;
  StitchOptions stitch;
  PlotOptions plot;
  ViewCommandOptions view;
  AcquireOptions acquire;
  CLI::App* sim = addSimulate(app, simulate);
  CLI::App* conv = addConvert(app, convert);
  CLI::App* inf = addInfo(app, info);
  CLI::App* fil = addFilter(app, filter);
  CLI::App* ext = addExtent(app, extent);
  CLI::App* sti = addStitch(app, stitch);
  CLI::App* plo = addPlot(app, plot);
  CLI::App* vie = addView(app, view);
  CLI::App* cams = app.add_subcommand(
      "cameras", "List the GenICam cameras (GigE Vision, USB3 Vision) found");
  CLI::App* acq = addAcquire(app, acquire);

  CLI11_PARSE(app, argc, argv);

  QUAX::scanInit();
  std::vector<std::string> outputs;
  for (const std::string* output :
       {&simulate.output, &convert.output, &filter.output, &extent.output,
        &stitch.output, &plot.output, &view.output, &acquire.output}) {
    if (!output->empty()) outputs.push_back(*output);
  }
  cleanUpOnInterrupt(outputs);
  try {
    if (sim->parsed()) runSimulate(simulate);
    if (conv->parsed()) runConvert(convert);
    if (inf->parsed()) runInfo(info);
    if (fil->parsed()) runFilter(filter);
    if (ext->parsed()) runExtent(extent);
    if (sti->parsed()) runStitch(stitch);
    if (plo->parsed()) runPlot(plot);
    if (vie->parsed()) runView(view);
    if (cams->parsed()) runCameras();
    if (acq->parsed()) {
      if (acquire.profiles == 0 && acquire.seconds <= 0.0) {
        std::cerr << "quaxscan: error: acquire needs --profiles or --seconds\n";
        return 1;
      }
      runAcquire(acquire);
    }
  } catch (const ScanFileError& e) {
    std::cout.flush();
    std::cerr << "quaxscan: error: " << e.message() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "quaxscan: error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
