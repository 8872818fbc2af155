// SPDX-License-Identifier: MIT
// quaxscan's camera commands: list the cameras, and acquire from one into a
// scan file with a progress line, optionally filtering every profile as it
// arrives.
#ifndef QUAX_APPS_QUAXSCAN_ACQUIRECOMMAND_H_
#define QUAX_APPS_QUAXSCAN_ACQUIRECOMMAND_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace quaxscan {

struct AcquireOptions {
  std::string camera;       // as `quaxscan cameras` lists it
  std::uint64_t profiles = 0;
  double seconds = 0.0;
  std::string mode = "auto";  // auto, image or profile
  std::string settings;       // camera settings file
  std::string calibration;    // calibration file
  std::string filters;        // filter settings, run live
  std::size_t framesPerSurface = 0;
  std::string output;
  bool ascii = false;
};

void runCameras();
// Throws on bad settings before anything is acquired. A run that ends early
// (the camera went away) still writes what it got, then throws.
void runAcquire(const AcquireOptions& options);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_ACQUIRECOMMAND_H_
