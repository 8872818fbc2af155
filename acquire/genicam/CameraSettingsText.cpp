// SPDX-License-Identifier: MIT
#include "acquire/genicam/CameraSettingsText.h"

#include <cmath>
#include <fstream>
#include <istream>
#include <limits>
#include <sstream>

#include "acquire/AcquireErrors.h"

namespace QUAX {

namespace {

std::string trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  const auto b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

}  // namespace

bool cameraModeFromName(const std::string& name, CameraMode& mode) noexcept {
  if (name == "auto") mode = CameraMode::kAuto;
  else if (name == "image") mode = CameraMode::kImage;
  else if (name == "profile") mode = CameraMode::kProfile;
  else return false;
  return true;
}

bool peakMethodFromName(const std::string& name, PeakMethod& method) noexcept {
  if (name == "strongest") method = PeakMethod::kStrongest;
  else if (name == "threshold-centre") method = PeakMethod::kThresholdCentre;
  else if (name == "centre-of-gravity") method = PeakMethod::kCentreOfGravity;
  else return false;
  return true;
}

void readCameraSettings(std::istream& in, const std::string& name,
                        GenICamSettings& s) {
  std::string text;
  std::size_t line = 0;
  while (std::getline(in, text)) {
    ++line;
    const auto hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    text = trimmed(text);
    if (text.empty()) continue;
    auto fail = [&](const std::string& what) {
      throw EAcquireBadSettings(name + " line " + std::to_string(line) + ": " +
                                what);
    };
    const auto eq = text.find('=');
    if (eq == std::string::npos) fail("expected 'name = value', found '" + text + "'");
    const std::string key = trimmed(text.substr(0, eq));
    const std::string value = trimmed(text.substr(eq + 1));
    if (key.empty() || value.empty()) fail("expected 'name = value'");
    auto number = [&](double lo, double hi) {
      std::istringstream v(value);
      v.imbue(std::locale::classic());
      double d = 0;
      char extra = 0;
      if (!(v >> d) || (v >> extra) || !std::isfinite(d) || d < lo || d > hi)
        fail(key + ": '" + value + "' is not a number from " +
             std::to_string(lo) + " to " + std::to_string(hi));
      return d;
    };
    auto count = [&](std::uint32_t& field) {
      const double d = number(0, 4294967295.0);
      if (d != std::floor(d)) fail(key + ": '" + value + "' is not a whole number");
      field = static_cast<std::uint32_t>(d);
    };
    const double big = std::numeric_limits<double>::max();
    if (key == "camera") s.camera = value;
    else if (key == "mode") {
      if (!cameraModeFromName(value, s.mode))
        fail("mode '" + value + "' (auto, image or profile)");
    } else if (key == "PixelFormat") s.pixelFormat = value;
    else if (key == "OffsetX") count(s.offsetX);
    else if (key == "OffsetY") count(s.offsetY);
    else if (key == "Width") count(s.width);
    else if (key == "Height") count(s.height);
    else if (key == "AcquisitionFrameRate") s.frameRate = number(0, big);
    else if (key == "ExposureTime") s.exposureUs = number(0, big);
    else if (key == "rowsPerProfile") count(s.rowsPerProfile);
    else if (key == "line.method") {
      if (!peakMethodFromName(value, s.line.method))
        fail("line.method '" + value +
             "' (strongest, threshold-centre or centre-of-gravity)");
    } else if (key == "line.threshold") count(s.line.threshold);
    else if (key == "line.minWidth") count(s.line.minWidth);
    else if (key == "line.maxWidth") count(s.line.maxWidth);
    else if (key == "line.window") count(s.line.window);
    else if (key == "line.background") count(s.line.background);
    else if (key == "buffers") count(s.buffers);
    else if (key == "packetSize") count(s.packetSize);
    else if (key == "socketBuffer") count(s.socketBuffer);
    else if (key == "packetRequestRatio") s.packetRequestRatio = number(0, 1);
    else if (key == "frameRetentionMs") count(s.frameRetentionMs);
    else if (key == "backlogShare") s.backlogShare = number(0.05, 1);
    else s.features.emplace_back(key, value);
  }
  if (in.bad()) throw EAcquireBadSettings(name + ": cannot be read");
}

void readCameraSettingsFile(const std::string& path, GenICamSettings& s) {
  std::ifstream in(path);
  if (!in) throw EAcquireBadSettings(path + ": cannot be opened");
  readCameraSettings(in, path, s);
}

}  // namespace QUAX
