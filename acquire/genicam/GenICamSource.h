// SPDX-License-Identifier: MIT
// A GenICam camera (GigE Vision, USB3 Vision) as a source of scan frames,
// through Aravis. In image mode each buffer is an image of the laser line,
// which the line finder turns into profiles; in profile mode the camera
// sends the profiles itself (Coord3D_C16 or Coord3D_ABC32f, one row per
// profile).
//
// The build has this source only where Aravis was found (genicamAvailable()
// says so); elsewhere its constructor throws EAcquireNotAvailable.
#ifndef QUAX_ACQUIRE_GENICAM_GENICAMSOURCE_H_
#define QUAX_ACQUIRE_GENICAM_GENICAMSOURCE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/ScanSource.h"
#include "acquire/profile/LineFinder.h"
#include "acquire/profile/ProfileDecoder.h"
#include "acquire/profile/SensorCalibration.h"

namespace QUAX {

enum class CameraMode : std::uint32_t {
  kAuto = 0,     // profile mode when the camera offers a 3D format
  kImage = 1,    // Mono8/12/16 images and the line finder
  kProfile = 2,  // Coord3D profiles from the camera
};

struct QUAX_ACQUIRE_API CameraInfo {
  std::string id;  // what GenICamSettings::camera takes: vendor-model-serial
  std::string vendor, model, serial, address, protocol;
};

struct QUAX_ACQUIRE_API GenICamSettings {
  // The camera's id as cameras() lists it (empty: the only camera found).
  std::string camera;
  CameraMode mode = CameraMode::kAuto;
  // The pixel format (GenICam name); empty: the mode's first the camera
  // offers (Mono8, Mono16, Mono12; Coord3D_C16, Coord3D_ABC32f).
  std::string pixelFormat;
  // The sensor region; width or height 0 keeps the camera's.
  std::uint32_t offsetX = 0, offsetY = 0, width = 0, height = 0;
  double frameRate = 0.0;   // buffers per second (0: the camera's)
  double exposureUs = 0.0;  // (0: the camera's)
  // Further features set before acquisition, in order ("Gain", "12").
  std::vector<std::pair<std::string, std::string>> features;

  // Image mode: rows per profile where the camera packs several profiles
  // into one image (0: one profile per image), the finder's settings and
  // the calibration from (column, row) to (x, z) and y per profile.
  std::uint32_t rowsPerProfile = 0;
  LineFinderSettings line;
  SensorCalibration calibration;
  // Profile mode: the camera's Scan3d features are read; set this to use
  // `scan3d` instead. y is the profile index times calibration.advance for
  // formats without B.
  bool scan3dFromCamera = true;
  Scan3dSettings scan3d;

  // Streaming (GigE Vision).
  std::uint32_t buffers = 32;          // the pool, preallocated
  std::uint32_t packetSize = 0;        // bytes (0: negotiated with the camera)
  std::uint32_t socketBuffer = 4u << 20;  // bytes asked of the kernel
  double packetRequestRatio = 0.1;  // at most this share of a buffer's
                                    // packets is requested again
  std::uint32_t frameRetentionMs = 200;  // a buffer waits this long for
                                         // late packets
  // A consumer that falls behind: when more than this share of the pool
  // waits to be read, the oldest buffers are dropped (and counted as lost)
  // so that the camera always has buffers to fill.
  double backlogShare = 0.75;
};

// What start() found and set, for the progress line and the run record.
struct QUAX_ACQUIRE_API StreamInfo {
  std::string cameraId;
  std::string pixelFormat;
  CameraMode mode = CameraMode::kImage;
  std::uint32_t width = 0, height = 0;
  std::uint32_t profilesPerBuffer = 0;
  std::uint32_t packetSize = 0;      // as read back from the camera
  std::uint32_t interfaceMtu = 0;    // of the interface the camera is on
  std::uint32_t socketBuffer = 0;    // as granted by the kernel
  std::vector<std::string> warnings;  // e.g. a socket buffer the kernel
                                      // capped, with the setting to raise
};

// Whether this build can talk to cameras.
QUAX_ACQUIRE_API bool genicamAvailable() noexcept;
// The cameras Aravis finds now (GigE Vision, USB3 Vision, and Aravis's fake
// devices where enabled). Throws EAcquireNotAvailable without Aravis.
QUAX_ACQUIRE_API std::vector<CameraInfo> cameras();

class QUAX_ACQUIRE_API GenICamSource : public ScanSource {
 public:
  explicit GenICamSource(GenICamSettings settings);
  ~GenICamSource() override;
  GenICamSource(const GenICamSource&) = delete;
  GenICamSource& operator=(const GenICamSource&) = delete;

  // Opens the camera, checks and sets the settings, negotiates the packet
  // size, sets up the stream and its pool, and starts acquisition. Refuses
  // settings the camera or the mode cannot take with EAcquireBadSettings;
  // a camera that cannot be opened throws EAcquireDevice.
  void start() override;
  bool next(std::vector<std::unique_ptr<ScanFrame>>& frames,
            std::chrono::milliseconds timeout) override;
  void stop() override;
  AcquisitionRecord record() const override;

  // Valid after start().
  const StreamInfo& info() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> _impl;
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_GENICAM_GENICAMSOURCE_H_
