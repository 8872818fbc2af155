// SPDX-License-Identifier: MIT
// The GenICam source on Aravis 0.8. Aravis runs its own receive thread per
// stream, which fills buffers from the pool and never waits for us; next()
// takes filled buffers from its output queue, turns them into frames and
// gives each buffer straight back.
#include "acquire/genicam/GenICamSource.h"

#include <arv.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>

#include "acquire/AcquireErrors.h"
#include "acquire/genicam/AravisFeatures.h"

namespace QUAX {

namespace {

using Clock = std::chrono::steady_clock;
using namespace aravis;

// The most profiles one call of next() hands on: the acquisition thread
// appends them before the source decodes more.
constexpr std::size_t kProfilesPerCall = 32;
// The camera's buffers whose points are made ready before it starts, and
// the most memory that takes (see pushBuffers).
constexpr std::uint32_t kReadyBuffers = 4;
constexpr std::size_t kReadyBytesMost = std::size_t(256) << 20;

}  // namespace

struct GenICamSource::Impl {
  GenICamSettings settings;
  StreamInfo info;
  ArvCamera* camera = nullptr;
  ArvStream* stream = nullptr;
  gulong lostHandler = 0;
  std::atomic<bool> controlLost{false};
  bool running = false;

  PixelFormat format = PixelFormat::kMono8;
  std::unique_ptr<LineFinder> finder;
  std::unique_ptr<ProfileDecoder> decoder;
  std::vector<double> rows, xs, ys, zs;
  // The lines' points: next() runs on one thread at a time.
  ScanPointPool points;
  // While acquiring: the memory of the points the camera's buffers can
  // bring ahead of the consumer stays ours when the consumer frees it.
  std::optional<ScanPointPool::KeepMore> keep;

  // Frame ids: GigE Vision counts 1 to 65535 and wraps past 0 (extended ids
  // are 64-bit and do not wrap in practice).
  bool haveId = false;
  std::uint64_t lastId = 0;
  std::uint64_t profileIndex = 0;
  // The buffer being handed on in parts, and its next profile.
  ArvBuffer* current = nullptr;
  std::uint32_t nextProfile = 0;
  Clock::time_point startedAt;

  mutable std::mutex recordMutex;
  AcquisitionRecord record;

  ~Impl() { release(); }

  void release() noexcept {
    if (camera != nullptr && running) {
      GError* error = nullptr;
      arv_camera_stop_acquisition(camera, &error);
      if (error != nullptr) g_error_free(error);
    }
    running = false;
    keep.reset();
    // A buffer taken from the stream is ours until it goes back.
    if (current != nullptr) g_object_unref(current);
    current = nullptr;
    if (stream != nullptr) {
      arv_stream_set_emit_signals(stream, FALSE);
      g_object_unref(stream);
      stream = nullptr;
    }
    if (camera != nullptr) {
      if (lostHandler != 0) {
        g_signal_handler_disconnect(arv_camera_get_device(camera), lostHandler);
        lostHandler = 0;
      }
      g_object_unref(camera);
      camera = nullptr;
    }
  }

  static void onControlLost(ArvDevice*, gpointer self) {
    static_cast<Impl*>(self)->controlLost.store(true);
  }

  void open() {
    GError* error = nullptr;
    arv_update_device_list();
    std::string id = settings.camera;
    if (id.empty()) {
      const unsigned n = arv_get_n_devices();
      if (n != 1) {
        throw EAcquireDevice(
            n == 0 ? "no camera found"
                   : std::to_string(n) + " cameras found: name one");
      }
      id = arv_get_device_id(0);
    }
    camera = arv_camera_new(id.c_str(), &error);
    if (camera == nullptr) {
      std::string found;
      for (const CameraInfo& c : cameras()) found += (found.empty() ? "" : ", ") + c.id;
      throw EAcquireDevice("camera '" + id + "' cannot be opened (" +
                           messageOf(error) + "; found: " +
                           (found.empty() ? "none" : found) + ")");
    }
    info.cameraId = id;
    lostHandler = g_signal_connect(arv_camera_get_device(camera),
                                   "control-lost", G_CALLBACK(onControlLost),
                                   this);
  }

  void choosePixelFormat() {
    const std::vector<std::string> offered = offeredFormats(camera);
    auto offers = [&](const std::string& n) {
      return std::find(offered.begin(), offered.end(), n) != offered.end();
    };
    const bool hasProfiles = offers("Coord3D_C16") || offers("Coord3D_ABC32f");
    CameraMode mode = settings.mode;
    std::string name = settings.pixelFormat;
    if (!name.empty()) {
      PixelFormat f;
      if (!offers(name)) {
        throw EAcquireBadSettings("pixel format " + name +
                                  " is not offered by camera " +
                                  info.cameraId + " (it offers " +
                                  joined(offered) + ")");
      }
      if (!pixelFormatFromName(name, f) ||
          (mode == CameraMode::kImage && !isImageFormat(f)) ||
          (mode == CameraMode::kProfile && !isProfileFormat(f))) {
        throw EAcquireBadSettings(
            "pixel format " + name + " cannot be read in " +
            (mode == CameraMode::kProfile ? "profile"
             : mode == CameraMode::kImage ? "image"
                                          : "either") +
            " mode (image mode reads Mono8, Mono12, Mono16; profile mode "
            "Coord3D_C16, Coord3D_ABC32f)");
      }
      if (mode == CameraMode::kAuto)
        mode = isProfileFormat(f) ? CameraMode::kProfile : CameraMode::kImage;
    } else {
      if (mode == CameraMode::kAuto)
        mode = hasProfiles ? CameraMode::kProfile : CameraMode::kImage;
      const char* const image[] = {"Mono8", "Mono16", "Mono12"};
      const char* const profile[] = {"Coord3D_C16", "Coord3D_ABC32f"};
      if (mode == CameraMode::kImage) {
        for (const char* n : image)
          if (name.empty() && offers(n)) name = n;
      } else {
        for (const char* n : profile)
          if (name.empty() && offers(n)) name = n;
      }
      if (name.empty()) {
        throw EAcquireBadSettings(
            "camera " + info.cameraId + " offers no pixel format " +
            (mode == CameraMode::kProfile
                 ? "for profile mode (Coord3D_C16, Coord3D_ABC32f)"
                 : "for image mode (Mono8, Mono12, Mono16)") +
            "; it offers " + joined(offered));
      }
    }
    pixelFormatFromName(name, format);
    GError* error = nullptr;
    arv_camera_set_pixel_format_from_string(camera, name.c_str(), &error);
    check<EAcquireBadSettings>(error, "pixel format " + name);
    info.pixelFormat = name;
    info.mode = mode;
  }

  void setRegion() {
    GError* error = nullptr;
    gint sensorW = 0, sensorH = 0, x = 0, y = 0, w = 0, h = 0;
    arv_camera_get_sensor_size(camera, &sensorW, &sensorH, &error);
    check<EAcquireDevice>(error, "the sensor size");
    arv_camera_get_region(camera, &x, &y, &w, &h, &error);
    check<EAcquireDevice>(error, "the region");
    if (settings.width != 0 && settings.height != 0) {
      const std::uint64_t right =
          std::uint64_t(settings.offsetX) + settings.width;
      const std::uint64_t bottom =
          std::uint64_t(settings.offsetY) + settings.height;
      if (right > std::uint64_t(sensorW) || bottom > std::uint64_t(sensorH)) {
        throw EAcquireBadSettings(
            "region " + std::to_string(settings.width) + " x " +
            std::to_string(settings.height) + " at (" +
            std::to_string(settings.offsetX) + ", " +
            std::to_string(settings.offsetY) + ") is off the sensor of " +
            std::to_string(sensorW) + " x " + std::to_string(sensorH));
      }
      arv_camera_set_region(camera, static_cast<gint>(settings.offsetX),
                            static_cast<gint>(settings.offsetY),
                            static_cast<gint>(settings.width),
                            static_cast<gint>(settings.height), &error);
      check<EAcquireBadSettings>(error, "region");
      arv_camera_get_region(camera, &x, &y, &w, &h, &error);
      check<EAcquireDevice>(error, "the region");
      if (std::uint32_t(w) != settings.width ||
          std::uint32_t(h) != settings.height) {
        throw EAcquireBadSettings(
            "the camera set the region to " + std::to_string(w) + " x " +
            std::to_string(h) + ", not the " + std::to_string(settings.width) +
            " x " + std::to_string(settings.height) + " asked for");
      }
    }
    info.width = static_cast<std::uint32_t>(w);
    info.height = static_cast<std::uint32_t>(h);
  }

  void setFeatures() {
    GError* error = nullptr;
    if (settings.frameRate > 0.0) {
      arv_camera_set_frame_rate(camera, settings.frameRate, &error);
      check<EAcquireBadSettings>(error, "frame rate " +
                                            std::to_string(settings.frameRate));
    }
    if (settings.exposureUs > 0.0) {
      arv_camera_set_exposure_time(camera, settings.exposureUs, &error);
      check<EAcquireBadSettings>(error, "exposure time " +
                                            std::to_string(settings.exposureUs));
    }
    ArvDevice* device = arv_camera_get_device(camera);
    for (const auto& [feature, value] : settings.features) {
      if (!available(camera, feature.c_str())) {
        throw EAcquireBadSettings("camera " + info.cameraId +
                                  " has no feature " + feature);
      }
      arv_device_set_features_from_string(
          device, (feature + "=" + value).c_str(), &error);
      check<EAcquireBadSettings>(error, "feature " + feature + " = " + value);
    }
  }

  void prepareDecoding() {
    if (info.mode == CameraMode::kImage) {
      finder = std::make_unique<LineFinder>(settings.line, format);
      const std::uint32_t region =
          settings.rowsPerProfile == 0 ? info.height : settings.rowsPerProfile;
      if (region > info.height) {
        throw EAcquireBadSettings(
            std::to_string(region) + " rows per profile do not fit images of " +
            std::to_string(info.height) + " rows");
      }
      info.profilesPerBuffer = info.height / region;
    } else {
      Scan3dSettings s = settings.scan3d;
      s.format = format;
      if (settings.scan3dFromCamera) readScan3d(s);
      decoder = std::make_unique<ProfileDecoder>(s);
      info.profilesPerBuffer = info.height;
    }
    rows.resize(info.width);
    xs.resize(info.width);
    ys.resize(info.width);
    zs.resize(info.width);
  }

  // Selects `axis` (CoordinateA, B or C) where the camera has the
  // coordinate selector; false when it has one but not this axis.
  bool selectAxis(const char* axis) {
    if (!available(camera, "Scan3dCoordinateSelector")) return true;
    GError* error = nullptr;
    arv_camera_set_string(camera, "Scan3dCoordinateSelector", axis, &error);
    if (error == nullptr) return true;
    g_error_free(error);
    return false;
  }

  // Scan3dCoordinateScale/Offset of each axis, and the invalid value of C,
  // each read with its axis selected where the camera has the coordinate
  // selector; without one the features are the C axis's.
  void readScan3d(Scan3dSettings& s) {
    const bool selector = available(camera, "Scan3dCoordinateSelector");
    const std::pair<const char*, Scan3dAxis*> axes[] = {
        {"CoordinateA", &s.a}, {"CoordinateB", &s.b}, {"CoordinateC", &s.c}};
    for (const auto& [name, axis] : axes) {
      if (!selector && axis != &s.c) continue;
      if (!selectAxis(name)) continue;
      axis->scale = floatFeature(camera, "Scan3dCoordinateScale", axis->scale);
      axis->offset =
          floatFeature(camera, "Scan3dCoordinateOffset", axis->offset);
    }
    if (!available(camera, "Scan3dInvalidDataFlag") ||
        !selectAxis("CoordinateC"))
      return;
    GError* error = nullptr;
    s.invalidDataFlag =
        arv_camera_get_boolean(camera, "Scan3dInvalidDataFlag", &error);
    if (error != nullptr) {
      g_error_free(error);
      s.invalidDataFlag = false;
    }
    s.invalidDataValue =
        floatFeature(camera, "Scan3dInvalidDataValue", s.invalidDataValue);
  }

  // The packet size asked for, or negotiated with the camera, read back
  // and kept within the interface's MTU. Set before the stream exists:
  // the stream sizes its packet buffers from it.
  void setPacketSize(std::uint32_t mtu) {
    GError* error = nullptr;
    if (settings.packetSize != 0) {
      if (settings.packetSize > mtu) {
        throw EAcquireBadSettings(
            "packet size " + std::to_string(settings.packetSize) +
            " is larger than the MTU " + std::to_string(mtu) +
            " of the camera's interface");
      }
      arv_camera_gv_set_packet_size(camera,
                                    static_cast<gint>(settings.packetSize),
                                    &error);
      check<EAcquireBadSettings>(error, "packet size " +
                                            std::to_string(settings.packetSize));
    } else {
      arv_camera_gv_auto_packet_size(camera, &error);
      if (error != nullptr) {
        info.warnings.push_back("packet size not negotiated: " +
                                messageOf(error));
        error = nullptr;
      }
    }
    std::uint32_t packet = arv_camera_gv_get_packet_size(camera, &error);
    check<EAcquireDevice>(error, "the packet size");
    if (packet > mtu) {
      arv_camera_gv_set_packet_size(camera, static_cast<gint>(mtu), &error);
      check<EAcquireDevice>(error, "packet size " + std::to_string(mtu));
      packet = arv_camera_gv_get_packet_size(camera, &error);
      check<EAcquireDevice>(error, "the packet size");
    }
    info.packetSize = packet;
  }

  // The socket buffer the kernel grants, with the setting that raises it
  // when it granted less than asked for.
  void checkSocketBuffer() {
    info.socketBuffer = grantedSocketBuffer(settings.socketBuffer);
    if (info.socketBuffer < settings.socketBuffer) {
      info.warnings.push_back(
          "the kernel granted a stream socket buffer of " +
          std::to_string(info.socketBuffer) + " bytes, not the " +
          std::to_string(settings.socketBuffer) +
          " asked for: raise it with sysctl -w net.core.rmem_max=" +
          std::to_string(settings.socketBuffer));
    }
  }

  // The stream's buffers, each large enough for the camera's payload.
  void pushBuffers() {
    GError* error = nullptr;
    const guint payload = arv_camera_get_payload(camera, &error);
    check<EAcquireDevice>(error, "the payload size");
    const std::size_t need = std::size_t(info.width) * info.height *
                             bytesPerPixel(format);
    if (payload < need) {
      throw EAcquireDevice("the camera's payload of " + std::to_string(payload) +
                           " bytes cannot hold " + std::to_string(info.width) +
                           " x " + std::to_string(info.height) + " " +
                           info.pixelFormat + " pixels");
    }
    const std::uint32_t buffers = std::max<std::uint32_t>(settings.buffers, 2);
    for (std::uint32_t i = 0; i < buffers; ++i)
      arv_stream_push_buffer(stream, arv_buffer_new(payload, nullptr));
    const std::size_t bytesPerBuffer = std::size_t(info.profilesPerBuffer) *
                                       info.width *
                                       (sizeof(ScanPoint) + sizeof(ScanPoint*));
    keep.emplace(buffers * bytesPerBuffer);
    // The first profiles land on memory made ready now, not on fresh pages
    // that the system clears while the camera already sends: their lag
    // would be the run's worst. A few buffers' worth, until the consumer's
    // first frees come back, but not gigabytes for a camera of large ones.
    ScanPointPool::prepareKept(std::min(
        std::min<std::uint32_t>(buffers, kReadyBuffers) * bytesPerBuffer,
        kReadyBytesMost));
  }

  void setUpStream() {
    GError* error = nullptr;
    const bool gv = arv_camera_is_gv_device(camera);
    if (gv) {
      // As root Aravis would read through a packet socket, which sees
      // nothing on loopback; the ordinary socket works everywhere.
      arv_camera_gv_set_stream_options(
          camera, ARV_GV_STREAM_OPTION_PACKET_SOCKET_DISABLED);
      ArvGvDevice* device = ARV_GV_DEVICE(arv_camera_get_device(camera));
      info.interfaceMtu = mtuOf(arv_gv_device_get_interface_address(device));
      setPacketSize(info.interfaceMtu != 0 ? info.interfaceMtu : kDefaultMtu);
      checkSocketBuffer();
    }
    stream = arv_camera_create_stream(camera, nullptr, nullptr, &error);
    if (stream == nullptr) {
      throw EAcquireDevice("the stream of camera " + info.cameraId +
                           " cannot be opened: " + messageOf(error));
    }
    if (gv) {
      g_object_set(stream, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_FIXED,
                   "socket-buffer-size",
                   static_cast<gint>(settings.socketBuffer), "packet-resend",
                   ARV_GV_STREAM_PACKET_RESEND_ALWAYS, "packet-request-ratio",
                   settings.packetRequestRatio, "frame-retention",
                   static_cast<guint>(settings.frameRetentionMs) * 1000u,
                   nullptr);
      // Sized now, not when the first frame's leader arrives, and read back
      // from the stream's own socket.
      const std::uint32_t granted = setStreamSocketBuffer(
          arv_gv_stream_get_port(ARV_GV_STREAM(stream)), settings.socketBuffer);
      if (granted != 0) info.socketBuffer = granted;
    }
    pushBuffers();
  }

  void startAcquisition() {
    GError* error = nullptr;
    arv_camera_set_acquisition_mode(camera, ARV_ACQUISITION_MODE_CONTINUOUS,
                                    &error);
    if (error != nullptr) g_error_free(error);  // not every camera has it
    error = nullptr;
    arv_camera_start_acquisition(camera, &error);
    check<EAcquireDevice>(error, "starting acquisition");
    running = true;
    startedAt = Clock::now();
  }

  void count(std::uint64_t AcquisitionRecord::*field, std::uint64_t n) {
    std::lock_guard<std::mutex> lock(recordMutex);
    record.*field += n;
  }

  void recycle(ArvBuffer* buffer) { arv_stream_push_buffer(stream, buffer); }

  // Profiles lost between the last buffer and this one, from frame ids.
  void countGap(std::uint64_t id) {
    if (id == 0) return;
    if (haveId && id != lastId) {
      std::uint64_t gap = 0;
      if (id > lastId) {
        gap = id - lastId - 1;
      } else if (lastId <= 0xffff) {
        // 16-bit ids wrap; some cameras skip 0, some do not: a wrap costs
        // at most one profile buffer of undercount, never a false loss.
        gap = (0xffff - lastId) + (id > 0 ? id - 1 : 0);
      }
      if (gap != 0) count(&AcquisitionRecord::lost, gap * info.profilesPerBuffer);
    }
    haveId = true;
    lastId = id;
  }

  // Takes a buffer from the stream: a damaged one, or one that is not what
  // was set up, is counted and given back (never handed on with holes);
  // otherwise it becomes the buffer whose profiles are decoded next.
  void begin(ArvBuffer* buffer) {
    const ArvBufferStatus status = arv_buffer_get_status(buffer);
    // A buffer that never got its leader carries no id of its own.
    if (status == ARV_BUFFER_STATUS_SUCCESS ||
        status == ARV_BUFFER_STATUS_MISSING_PACKETS)
      countGap(arv_buffer_get_frame_id(buffer));
    if (status != ARV_BUFFER_STATUS_SUCCESS ||
        std::uint32_t(arv_buffer_get_image_width(buffer)) != info.width ||
        std::uint32_t(arv_buffer_get_image_height(buffer)) != info.height ||
        arv_buffer_get_image_pixel_format(buffer) !=
            static_cast<ArvPixelFormat>(format)) {
      count(&AcquisitionRecord::incomplete, info.profilesPerBuffer);
      recycle(buffer);
      return;
    }
    current = buffer;
    nextProfile = 0;
  }

  // Up to `most` profiles of the current buffer as frames; the buffer goes
  // back to the stream after its last profile.
  void decodeSome(std::vector<std::unique_ptr<ScanFrame>>& out,
                  std::size_t most) {
    std::size_t size = 0;
    const void* data = arv_buffer_get_data(current, &size);
    const std::uint32_t w = info.width, h = info.height;
    const ImageView view = ImageView::of(data, size, format, w, h);
    const SensorCalibration& cal = settings.calibration;
    const bool hasB = format == PixelFormat::kCoord3D_ABC32f;
    const std::uint32_t region = h / info.profilesPerBuffer;
    for (; nextProfile < info.profilesPerBuffer && most > 0;
         ++nextProfile, --most) {
      const double* along = nullptr;
      if (finder) {
        finder->findProfile(view, nextProfile * region, region, rows.data());
        cal.apply(0.0, rows.data(), w, xs.data(), zs.data());
      } else {
        decoder->decode(view, nextProfile, xs.data(), ys.data(), zs.data());
        if (hasB) along = ys.data();
      }
      auto frame = std::make_unique<ScanFrame>(
          makeProfileLine(xs.data(), zs.data(), w, cal.y(profileIndex++), along,
                          &points));
      frame->getSyncObject()->setDataState(1);
      out.push_back(std::move(frame));
    }
    if (nextProfile == info.profilesPerBuffer) {
      recycle(current);
      current = nullptr;
    }
  }

  // A consumer that fell behind: drop the oldest filled buffers so that the
  // camera keeps buffers to fill.
  void dropBacklog() {
    gint waiting = 0, filled = 0;
    arv_stream_get_n_buffers(stream, &waiting, &filled);
    const auto pool = static_cast<double>(waiting + filled);
    while (filled > 0 &&
           static_cast<double>(filled) > settings.backlogShare * pool) {
      ArvBuffer* old = arv_stream_try_pop_buffer(stream);
      if (old == nullptr) break;
      if (arv_buffer_get_status(old) == ARV_BUFFER_STATUS_SUCCESS)
        countGap(arv_buffer_get_frame_id(old));
      count(&AcquisitionRecord::lost, info.profilesPerBuffer);
      recycle(old);
      --filled;
    }
  }

  void updateStatistics() {
    if (stream == nullptr || !ARV_IS_GV_STREAM(stream)) return;
    guint64 resent = 0, missing = 0;
    arv_gv_stream_get_statistics(ARV_GV_STREAM(stream), &resent, &missing);
    std::lock_guard<std::mutex> lock(recordMutex);
    record.resentPackets = resent;
    record.missingPackets = missing;
    record.seconds =
        std::chrono::duration<double>(Clock::now() - startedAt).count();
  }

  // Frames of at most kProfilesPerCall profiles: a buffer of many profiles
  // is handed on in parts, so that the first of them reach the surface
  // before the last are decoded; buffers of few profiles are gathered up
  // to that count from what has arrived, without waiting again.
  bool next(std::vector<std::unique_ptr<ScanFrame>>& out,
            std::chrono::milliseconds timeout) {
    if (!running) return false;
    const std::size_t before = out.size();
    bool waited = current != nullptr;
    while (out.size() - before < kProfilesPerCall) {
      if (current != nullptr) {
        decodeSome(out, kProfilesPerCall - (out.size() - before));
        continue;
      }
      dropBacklog();
      ArvBuffer* buffer = nullptr;
      if (!waited) {
        waited = true;
        const auto us = static_cast<guint64>(std::max<std::int64_t>(
            0, std::chrono::duration_cast<std::chrono::microseconds>(timeout)
                   .count()));
        buffer = arv_stream_timeout_pop_buffer(stream, us);
        if (buffer == nullptr) count(&AcquisitionRecord::timeouts, 1);
      } else {
        buffer = arv_stream_try_pop_buffer(stream);
      }
      if (buffer == nullptr) break;
      begin(buffer);
    }
    count(&AcquisitionRecord::received, out.size() - before);
    updateStatistics();
    if (controlLost.load()) {
      std::lock_guard<std::mutex> lock(recordMutex);
      record.failure = "camera " + info.cameraId +
                       " stopped answering (control lost) after " +
                       std::to_string(record.received) + " profiles";
      return false;
    }
    return true;
  }
};

bool genicamAvailable() noexcept { return true; }

GenICamSource::GenICamSource(GenICamSettings settings)
    : _impl(std::make_unique<Impl>()) {
  _impl->settings = std::move(settings);
}

GenICamSource::~GenICamSource() = default;

void GenICamSource::start() {
  Impl& m = *_impl;
  m.release();
  m.info = StreamInfo{};
  {
    std::lock_guard<std::mutex> lock(m.recordMutex);
    m.record = AcquisitionRecord{};
  }
  m.haveId = false;
  m.profileIndex = 0;
  m.controlLost.store(false);
  try {
    m.open();
    m.choosePixelFormat();
    m.setRegion();
    m.setFeatures();
    m.prepareDecoding();
    m.setUpStream();
    m.startAcquisition();
  } catch (...) {
    m.release();
    throw;
  }
}

bool GenICamSource::next(std::vector<std::unique_ptr<ScanFrame>>& frames,
                         std::chrono::milliseconds timeout) {
  return _impl->next(frames, timeout);
}

void GenICamSource::stop() {
  _impl->updateStatistics();
  _impl->release();
}

AcquisitionRecord GenICamSource::record() const {
  std::lock_guard<std::mutex> lock(_impl->recordMutex);
  return _impl->record;
}

const StreamInfo& GenICamSource::info() const noexcept { return _impl->info; }

}  // namespace QUAX
