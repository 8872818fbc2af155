// SPDX-License-Identifier: MIT
// The parts of the demo program, one per area of the library.
#ifndef QUAX_EXAMPLES_DEMO_H_
#define QUAX_EXAMPLES_DEMO_H_

#include <filesystem>

namespace quaxdemo {

// Builds points, transforms a line and prints its transform history.
void runModelDemo();
// Fills a surface from a simulated acquisition thread while the main thread
// reads the frames as they arrive.
void runAcquisitionDemo();
// Stitches two overlapping sweeps registered with a known error, with a
// progress bar.
void runStitchDemo();
// Computes the extent of a simulated sweep with a dropped and a cut frame,
// writes the node text to a file in `folder` and prints its path and a
// short summary.
void runExtentDemo(const std::filesystem::path& folder);
// Smooths and thins simulated sweeps with the three scan line filters, whose
// settings come from examples/data/filters.settings, and prints point counts
// and settings.
void runFiltersDemo();

}  // namespace quaxdemo

#endif  // QUAX_EXAMPLES_DEMO_H_
