// SPDX-License-Identifier: MIT
// The GenICam source against Aravis's fake GigE Vision camera on 127.0.0.1,
// in process. The fake draws a known laser line (image mode) or known
// profiles (profile mode, from a camera description with Coord3D_C16) into
// every buffer; what arrives in the surfaces must match them. Each case
// makes its own fake with a serial of its own; the cases run one at a time
// (one fake per address).
#include <gtest/gtest.h>

#include <arv.h>
#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "acquire/AcquireErrors.h"
#include "acquire/ScanAcquisition.h"
#include "acquire/genicam/GenICamSource.h"

namespace QUAX {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kBound{30000};
constexpr std::uint32_t kWidth = 512, kRows = 48;

// The line's row in column c of the drawn images.
double lineRow(std::uint32_t c) { return 11.0 + 5.0 * std::sin(c / 40.0) + 0.3; }
// The raw range value of column c in profile row r; 0 (invalid) in every
// seventh column.
std::uint16_t rangeValue(std::uint32_t r, std::uint32_t c) {
  return c % 7 == 3 ? 0 : static_cast<std::uint16_t>(1 + (r * 131 + c * 17) % 60000);
}

void fill(ArvBuffer* buffer, void*, guint32, guint32, ArvPixelFormat format) {
  // The buffer holds the fake's payload, width x height pixels; it does not
  // know its size yet while it is being filled.
  auto* data = static_cast<unsigned char*>(
      const_cast<void*>(arv_buffer_get_data(buffer, nullptr)));
  const auto w = static_cast<std::uint32_t>(arv_buffer_get_image_width(buffer));
  const auto h = static_cast<std::uint32_t>(arv_buffer_get_image_height(buffer));
  const bool mono8 = format == ARV_PIXEL_FORMAT_MONO_8;
  // The fake reuses its buffers: clear everything first.
  std::memset(data, 0, std::size_t(w) * h * (mono8 ? 1 : 2));
  for (std::uint32_t r = 0; r < h; ++r) {
    for (std::uint32_t c = 0; c < w; ++c) {
      std::uint32_t v = 0;
      if (format == static_cast<ArvPixelFormat>(PixelFormat::kCoord3D_C16)) {
        v = rangeValue(r, c);
      } else {
        const double d = (r - lineRow(c)) / 1.5;
        v = static_cast<std::uint32_t>(
            std::lround((mono8 ? 240.0 : 62000.0) * std::exp(-0.5 * d * d)));
      }
      if (mono8) {
        data[std::size_t(r) * w + c] = static_cast<unsigned char>(v);
      } else {
        const auto v16 = static_cast<std::uint16_t>(v);
        std::memcpy(data + (std::size_t(r) * w + c) * 2, &v16, 2);
      }
    }
  }
}

class FakeCamera {
 public:
  explicit FakeCamera(const std::string& serial, const char* genicam = nullptr)
      : _fake(arv_gv_fake_camera_new_full("127.0.0.1", serial.c_str(), genicam)),
        _id("Aravis-Fake-" + serial) {
    if (_fake != nullptr)
      arv_fake_camera_set_fill_pattern(arv_gv_fake_camera_get_fake_camera(_fake),
                                       fill, nullptr);
  }
  ~FakeCamera() { unplug(); }
  bool running() const {
    return _fake != nullptr && arv_gv_fake_camera_is_running(_fake);
  }
  void unplug() {
    if (_fake != nullptr) g_object_unref(_fake);
    _fake = nullptr;
  }
  const std::string& id() const { return _id; }

 private:
  ArvGvFakeCamera* _fake;
  std::string _id;
};

GenICamSettings settingsFor(const FakeCamera& fake) {
  GenICamSettings s;
  s.camera = fake.id();
  s.width = kWidth;
  s.height = kRows;
  s.frameRate = 100.0;
  s.buffers = 8;
  s.line.threshold = 20;
  return s;
}

TEST(GenICamSource, ImageModeFindsTheDrawnLineInEveryColumn) {
  for (const char* format : {"Mono8", "Mono16"}) {
    const bool mono8 = std::string(format) == "Mono8";
    FakeCamera fake(mono8 ? "QXI8" : "QXI16");
    ASSERT_TRUE(fake.running());
    GenICamSettings s = settingsFor(fake);
    s.pixelFormat = format;
    s.mode = CameraMode::kImage;
    s.line.threshold = mono8 ? 20 : 5000;
    // Two profiles per image: the line lies in the first one's rows only.
    s.rowsPerProfile = kRows / 2;
    GenICamSource source(s);
    AcquisitionSettings run;
    run.profiles = 12;
    ScanAcquisition acquisition(source, run);
    ASSERT_TRUE(acquisition.wait(kBound));
    const AcquisitionRecord record = acquisition.record();
    EXPECT_EQ(source.info().profilesPerBuffer, 2u);
    EXPECT_LE(source.info().packetSize, source.info().interfaceMtu);
    EXPECT_EQ(record.received, 12u) << record.failure;
    const auto set = acquisition.takeSet();
    ASSERT_EQ(set->getSurfaceCount(), 1u);
    const ScanSurface* surface = set->getSurface(0);
    ASSERT_EQ(surface->getFrameCount(), 12u);
    const double tolerance = mono8 ? 0.02 : 0.002;
    for (std::size_t f = 0; f < 12; ++f) {
      const ScanLine* line = surface->getFrame(f)->getScanLine();
      // Only the profile whose region holds the line has points.
      if (f % 2 == 1) {
        EXPECT_EQ(line->getPointCount(), 0u);
        continue;
      }
      ASSERT_EQ(line->getPointCount(), kWidth) << format << f;
      for (std::uint32_t c = 0; c < kWidth; ++c) {
        const auto& p = line->getPoint(c)->position();
        ASSERT_EQ(p.x(), c);
        ASSERT_NEAR(p.z(), lineRow(c), tolerance) << format << " column " << c;
        ASSERT_EQ(p.y(), double(f));
      }
    }
  }
}

// The profile camera's description with Scan3dCoordinateSelector: A scales
// by 0.05 from -10, C as without it; the invalid flag and value hold only
// while C is selected (with A selected no value would be invalid).
std::string selectorCamera() {
  std::ifstream in(QUAX_FAKE_PROFILE_CAMERA);
  std::string xml((std::istreambuf_iterator<char>(in)), {});
  const std::size_t from = xml.find("<Category Name=\"Scan3dControl\"");
  const std::size_t to = xml.find("<!-- Transport layer control -->");
  if (from == std::string::npos || to == std::string::npos) return {};
  // A float feature that reads `a` with A (or B) selected and `c` with C.
  auto byAxis = [](const char* name, const char* a, const char* c) {
    return std::string("<Converter Name=\"") + name +
           "\" NameSpace=\"Standard\"><FormulaTo>FROM</FormulaTo>"
           "<FormulaFrom>(TO = 2) ? " + c + " : " + a +
           "</FormulaFrom><pValue>Sel</pValue></Converter>\n";
  };
  xml.replace(from, to - from,
              "<Category Name=\"Scan3dControl\" NameSpace=\"Standard\">"
              "<pFeature>Scan3dCoordinateSelector</pFeature></Category>\n"
              "<Enumeration Name=\"Scan3dCoordinateSelector\" "
              "NameSpace=\"Standard\">"
              "<EnumEntry Name=\"CoordinateA\"><Value>0</Value></EnumEntry>"
              "<EnumEntry Name=\"CoordinateB\"><Value>1</Value></EnumEntry>"
              "<EnumEntry Name=\"CoordinateC\"><Value>2</Value></EnumEntry>"
              "<pValue>Sel</pValue></Enumeration>\n"
              "<Integer Name=\"Sel\" NameSpace=\"Custom\"><Value>0</Value>"
              "</Integer>\n" +
                  byAxis("Scan3dCoordinateScale", "0.05", "0.001") +
                  byAxis("Scan3dCoordinateOffset", "0 - 10", "5") +
                  "<Boolean Name=\"Scan3dInvalidDataFlag\" "
                  "NameSpace=\"Standard\"><pValue>FlagIs</pValue><OnValue>1"
                  "</OnValue><OffValue>0</OffValue></Boolean>\n"
                  "<IntSwissKnife Name=\"FlagIs\" NameSpace=\"Custom\">"
                  "<pVariable Name=\"S\">Sel</pVariable>"
                  "<Formula>S = 2</Formula></IntSwissKnife>\n" +
                  byAxis("Scan3dInvalidDataValue", "65535", "0"));
  const std::string path = ::testing::TempDir() + "quax-selector-camera.xml";
  std::ofstream(path) << xml;
  return path;
}

TEST(GenICamSource, ProfileModeDecodesEveryRowExactlyToTheScale) {
  // Without the coordinate selector x is the column; with it, A's scale.
  const std::string selector = selectorCamera();
  ASSERT_FALSE(selector.empty());
  for (const bool selected : {false, true}) {
    FakeCamera fake(selected ? "QXP2" : "QXP1",
                    selected ? selector.c_str() : QUAX_FAKE_PROFILE_CAMERA);
    ASSERT_TRUE(fake.running());
    GenICamSettings s = settingsFor(fake);
    s.mode = CameraMode::kProfile;
    s.calibration.advance = 0.25;
    GenICamSource source(s);
    AcquisitionSettings run;
    run.profiles = 3 * kRows;
    run.framesPerSurface = kRows;
    ScanAcquisition acquisition(source, run);
    ASSERT_TRUE(acquisition.wait(kBound));
    EXPECT_EQ(source.info().pixelFormat, "Coord3D_C16");
    const auto set = acquisition.takeSet();
    ASSERT_EQ(set->getSurfaceCount(), 3u);
    for (std::size_t k = 0; k < 3 * kRows; ++k) {
      const ScanLine* line =
          set->getSurface(k / kRows)->getFrame(k % kRows)->getScanLine();
      std::size_t j = 0;
      for (std::uint32_t c = 0; c < kWidth; ++c) {
        const std::uint16_t raw = rangeValue(k % kRows, c);
        if (raw == 0) continue;
        ASSERT_LT(j, line->getPointCount());
        const auto& p = line->getPoint(j++)->position();
        ASSERT_EQ(p.x(), selected ? 0.05 * c + -10.0 : c);
        ASSERT_EQ(p.y(), 0.25 * k);
        ASSERT_EQ(p.z(), 0.001 * raw + 5.0);
      }
      ASSERT_EQ(j, line->getPointCount()) << "selector " << selected;
    }
  }
}

TEST(GenICamSource, RefusesBadSettingsBeforeAcquiring) {
  FakeCamera fake("QXB1");
  ASSERT_TRUE(fake.running());
  auto refused = [](GenICamSettings s) {
    GenICamSource source(std::move(s));
    try {
      source.start();
    } catch (const EAcquireException& e) {
      return std::string(e.what());
    }
    source.stop();
    return std::string();
  };
  GenICamSettings s = settingsFor(fake);
  s.mode = CameraMode::kProfile;  // the plain fake has no 3D format
  EXPECT_NE(refused(s).find("offers no pixel format for profile mode"),
            std::string::npos);
  s = settingsFor(fake);
  s.pixelFormat = "RGB8";
  EXPECT_NE(refused(s).find("cannot be read"), std::string::npos);
  s.pixelFormat = "Coord3D_ABC32f";
  EXPECT_NE(refused(s).find("not offered"), std::string::npos);
  s = settingsFor(fake);
  s.offsetX = 2000;
  EXPECT_NE(refused(s).find("off the sensor"), std::string::npos);
  s = settingsFor(fake);
  s.line.threshold = 300;
  EXPECT_NE(refused(s).find("threshold"), std::string::npos);
  s = settingsFor(fake);
  s.features = {{"NoSuchFeature", "1"}};
  EXPECT_NE(refused(s).find("no feature NoSuchFeature"), std::string::npos);
  s = settingsFor(fake);
  s.camera = "Aravis-Fake-NOSUCH";
  EXPECT_NE(refused(s).find("cannot be opened"), std::string::npos);
}

// The stream's socket has its buffer before the first frame arrives (Aravis
// sizes it only when a frame's leader comes, and a first frame sent at once
// would meet the system's smaller default): with the camera waiting for a
// trigger no frame comes, yet a datagram socket of the process holds the
// buffer asked for, which the source reports as granted.
TEST(GenICamSource, SizesTheStreamSocketBeforeTheFirstFrame) {
  FakeCamera fake("QXSB");
  ASSERT_TRUE(fake.running());
  GenICamSettings s = settingsFor(fake);
  s.features = {{"TriggerMode", "On"}, {"TriggerSource", "Software"}};
  s.socketBuffer = 100000;  // no other socket has it
  GenICamSource source(s);
  source.start();
  EXPECT_EQ(source.info().socketBuffer, s.socketBuffer);
  bool held = false;
  for (int fd = 0; fd < 1024 && !held; ++fd) {
    int value = 0;
    socklen_t size = sizeof value;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &value, &size) != 0 ||
        value != SOCK_DGRAM) {
      continue;
    }
    held = getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &value, &size) == 0 &&
           static_cast<std::uint32_t>(value / 2) == s.socketBuffer;
  }
  EXPECT_TRUE(held);
  source.stop();
}

TEST(GenICamSource, ASlowConsumerLosesTheOldestBuffersCountedNeverStalls) {
  FakeCamera fake("QXS1");
  ASSERT_TRUE(fake.running());
  GenICamSettings s = settingsFor(fake);
  s.buffers = 4;
  s.frameRate = 200.0;
  GenICamSource source(s);
  source.start();
  std::vector<std::unique_ptr<ScanFrame>> frames;
  // The consumer sleeps while the camera fills the whole pool, then reads.
  AcquisitionRecord record;
  for (int k = 0; k < 50 && (record.lost == 0 || record.received == 0); ++k) {
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_TRUE(source.next(frames, milliseconds(500)));
    record = source.record();
  }
  source.stop();
  EXPECT_GT(record.lost, 0u);
  EXPECT_GT(record.received, 0u);
  EXPECT_EQ(frames.size(), record.received);
}

TEST(GenICamSource, ACameraLostMidRunIsReportedAndItsDataKept) {
  auto fake = std::make_unique<FakeCamera>("QXL1");
  ASSERT_TRUE(fake->running());
  GenICamSource source(settingsFor(*fake));
  ScanAcquisition acquisition(source, AcquisitionSettings{});
  ScanSurface* surface = acquisition.surface(0, kBound);
  ASSERT_NE(surface, nullptr);
  ASSERT_NE(surface->getFrame(3, kBound), nullptr);
  fake->unplug();
  ASSERT_TRUE(acquisition.wait(std::chrono::minutes(2)));
  const AcquisitionRecord record = acquisition.record();
  EXPECT_NE(record.failure.find("stopped answering"), std::string::npos)
      << record.failure;
  EXPECT_GE(record.received, 4u);
  EXPECT_TRUE(surface->isComplete());
  EXPECT_EQ(surface->getFrameCount(), record.received);
}

#ifdef QUAXSCAN_PROGRAM
// quaxscan lists the fake by the name acquire takes, and acquires from it
// into a scan file with its progress line; bad settings leave no file.
TEST(GenICamSource, QuaxscanListsAndAcquiresFromTheCamera) {
  FakeCamera fake("QXC1", QUAX_FAKE_PROFILE_CAMERA);
  ASSERT_TRUE(fake.running());
  const std::string dir = testing::TempDir();
  const std::string out = dir + "quax_camera_scan.txt";
  const std::string log = dir + "quax_camera_log.txt";
  std::remove(out.c_str());
  auto run = [&](const std::string& args) {
    return std::system((std::string(QUAXSCAN_PROGRAM) + " " + args + " >" +
                        log + " 2>&1")
                           .c_str());
  };
  auto logText = [&] {
    std::ifstream in(log);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  ASSERT_EQ(run("cameras"), 0);
  EXPECT_NE(logText().find(fake.id()), std::string::npos) << logText();
  ASSERT_EQ(run("acquire --camera " + fake.id() +
                " --mode profile --profiles 100 -o " + out),
            0)
      << logText();
  EXPECT_NE(logText().find("acquire: 100 profiles"), std::string::npos)
      << logText();
  std::ifstream scan(out);
  std::size_t lines = 0;
  for (std::string l; std::getline(scan, l);) lines += l.empty() ? 0 : 1;
  EXPECT_GT(lines, 100u * (kWidth - kWidth / 7 - 1));
  // With live filters: a chordal limit no profile reaches keeps each line's
  // two ends only.
  const std::string filters = dir + "quax_camera_filters.txt";
  std::ofstream(filters) << "<ScanChordalDeviationFilter>\n"
                            "<DeviationLimit value=\"1e9\"/>\n"
                            "<MaxSpan value=\"1e9\"/>\n"
                            "</ScanChordalDeviationFilter>\n";
  ASSERT_EQ(run("acquire --camera " + fake.id() +
                " --mode profile --profiles 100 --filters " + filters +
                " -o " + out),
            0)
      << logText();
  EXPECT_NE(logText().find("filtered 100"), std::string::npos) << logText();
  std::ifstream thinned(out);
  lines = 0;
  for (std::string l; std::getline(thinned, l);) lines += l.empty() ? 0 : 1;
  EXPECT_LT(lines, 100u * 4);
  std::remove(out.c_str());
  EXPECT_NE(run("acquire --camera " + fake.id() +
                " --mode image --profiles 5 -o " + out + " --calibration " +
                dir + "no_such.cal"),
            0);
  EXPECT_NE(logText().find("no_such.cal: cannot be opened"), std::string::npos);
  EXPECT_FALSE(std::ifstream(out).good());
}
#endif

}  // namespace
}  // namespace QUAX
