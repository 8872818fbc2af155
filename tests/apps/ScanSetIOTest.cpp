// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ScanSetCompare.h"
#include "apps/quaxscan/ScanSetIO.h"
#include "apps/quaxscan/SimulatedScanner.h"
#include "scan/model/ScanPointItems.h"

namespace quaxscan {
namespace {

namespace fs = std::filesystem;
using test::sameScanSet;

SimulationSettings smallSimulation(bool items) {
  SimulationSettings s;
  s.surfaces = 2;
  s.framesPerSurface = 30;
  s.scanner.pointsPerLine = 120;
  s.scanner.dropoutRate = 0.2;
  s.scanner.graysum = items;
  s.scanner.pixels = items;
  s.scanner.seed = 11;
  return s;
}

std::string written(const QUAX::ScanSet& set, ScanFileFormat format) {
  std::ostringstream out(std::ios::binary);
  writeScanSet(set, format, out);
  return out.str();
}

// The message of the ScanFileError that `read` throws, or a note that it
// threw none.
template <class Read>
std::string errorOf(Read read) {
  try {
    read();
  } catch (const ScanFileError& e) {
    return e.message();
  }
  return "(no error)";
}

std::string plyError(const std::string& bytes) {
  return errorOf([&] { readScanSet(bytes, "scan.ply"); });
}

const char kAsciiHeader[] =
    "ply\nformat ascii 1.0\nelement vertex 2\nproperty double x\n"
    "property double y\nproperty double z\nproperty int surface\n"
    "property int frame\nend_header\n";

const QUAX::_GeoPoint<double>& firstPointOf(const QUAX::ScanSet& set,
                                            std::size_t surface) {
  return set.getSurface(surface)
      ->getFrame(0)
      ->getScanLine()
      ->getPoint(0)
      ->position();
}

// ---- round trips
// --------------------------------------------------------------

TEST(ScanSetIO, EveryFormatReadsBackIdenticalAndWritesTheSameBytesAgain) {
  // Text holds positions only; numbers are written exactly, so the set read
  // back writes the same bytes again.
  const struct {
    ScanFileFormat format;
    bool items;
    const char* name;
  } cases[] = {{ScanFileFormat::kPlyBinary, true, "a.ply"},
               {ScanFileFormat::kPlyAscii, true, "a.ply"},
               {ScanFileFormat::kText, false, "a.txt"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(formatName(c.format));
    const auto set = simulateScanSet(smallSimulation(c.items));
    const std::string bytes = written(*set, c.format);
    const auto back = readScanSet(bytes, c.name);
    EXPECT_TRUE(sameScanSet(*set, *back));
    EXPECT_EQ(written(*back, c.format), bytes);
  }
}

TEST(ScanSetIO, PlyHeaderNamesItsLayout) {
  const auto set = simulateScanSet(smallSimulation(true));
  const std::string bytes = written(*set, ScanFileFormat::kPlyBinary);
  const std::string header = bytes.substr(0, bytes.find("end_header"));
  EXPECT_EQ(header.rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);
  for (const char* line :
       {"comment surface 0 frames 30\n", "comment surface 1 frames 30\n",
        "property double x\nproperty double y\nproperty double z\n"
        "property int surface\nproperty int frame\nproperty uint graysum\n"
        "property uint low_pixel\nproperty uint high_pixel\n"}) {
    EXPECT_NE(header.find(line), std::string::npos) << line;
  }
}

TEST(ScanSetIO, PlyKeepsFramesWithoutPointsAndSurfacesWithoutFrames) {
  QUAX::ScanSet set;
  auto surface = std::make_unique<QUAX::ScanSurface>();
  surface->appendFrame(std::make_unique<QUAX::ScanFrame>());  // no line
  auto line = std::make_unique<QUAX::ScanLine>();
  line->appendPoint(QUAX::_GeoPoint<double>(1.5, -2.0, 1e-300));
  surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  surface->appendFrame(
      std::make_unique<QUAX::ScanFrame>(std::make_unique<QUAX::ScanLine>()));
  surface->setComplete();
  set.addSurface(std::move(surface));
  set.addSurface(std::make_unique<QUAX::ScanSurface>());

  for (ScanFileFormat format :
       {ScanFileFormat::kPlyBinary, ScanFileFormat::kPlyAscii}) {
    const auto back = readScanSet(written(set, format), "a.ply");
    EXPECT_TRUE(sameScanSet(set, *back)) << formatName(format);
  }
}

TEST(ScanSetIO, TextStartsSurfacesAtTwoBlankLinesAndFramesAtOne) {
  const auto set = readScanSet(
      "# two surfaces\n1 2 3\n4 5 6\n\n7 8 9\n\n\n\n# after a comment\n"
      "10 11 12\r\n\n",
      "a.txt");
  ASSERT_EQ(set->getSurfaceCount(), 2u);
  EXPECT_EQ(set->getSurface(0)->getFrameCount(), 2u);
  EXPECT_EQ(set->getSurface(0)->getFrame(0)->getScanLine()->getPointCount(),
            2u);
  EXPECT_EQ(set->getSurface(1)->getFrameCount(), 1u);
  EXPECT_EQ(firstPointOf(*set, 1).z(), 12.0);
}

TEST(ScanSetIO, ForeignPlyWithFloatsExtraPropertiesAndFacesIsRead) {
  const std::string ply =
      "ply\r\nformat ascii 1.0\r\ncomment from elsewhere\r\n"
      "element vertex 3\r\nproperty float x\r\nproperty float y\r\n"
      "property float z\r\nproperty uchar red\r\n"
      "element face 1\r\nproperty list uchar int vertex_indices\r\n"
      "end_header\r\n0.5 1 2 255\r\n1.5 1 2 0\r\n2.5 1 2 7\r\n3 0 1 2\r\n";
  const auto set = readScanSet(ply, "foreign.ply");
  ASSERT_EQ(set->getSurfaceCount(), 1u);
  ASSERT_EQ(set->getSurface(0)->getFrameCount(), 1u);
  const QUAX::ScanLine& line = *set->getSurface(0)->getFrame(0)->getScanLine();
  ASSERT_EQ(line.getPointCount(), 3u);
  EXPECT_EQ(line.getPoint(2)->position().x(), 2.5);
}

TEST(ScanSetIO, BinaryPlySkipsOtherElementsWithLists) {
  std::string ply =
      "ply\nformat binary_little_endian 1.0\nelement face 2\n"
      "property list uchar int vertex_indices\nelement vertex 1\n"
      "property float x\nproperty float y\nproperty float z\nend_header\n";
  ply += std::string("\x01\x07\x00\x00\x00", 5);  // face 1: one index
  ply += std::string("\x02\x01\x00\x00\x00\x02\x00\x00\x00", 9);  // face 2
  const float xyz[3] = {1.0f, 2.0f, -3.5f};
  ply += std::string(reinterpret_cast<const char*>(xyz), sizeof xyz);
  const auto set = readScanSet(ply, "faces.ply");
  EXPECT_EQ(firstPointOf(*set, 0).z(), -3.5);
}

// ---- headers that are refused
// ------------------------------------------------

TEST(ScanSetIO, HugeVertexCountIsRefusedBeforeAnythingIsAllocated) {
  const std::string binary =
      "ply\nformat binary_little_endian 1.0\nelement vertex 4000000000000\n"
      "property double x\nproperty double y\nproperty double z\nend_header\n" +
      std::string(48, '\0');
  EXPECT_EQ(plyError(binary),
            "scan.ply: header line 3: element 'vertex' declares 4000000000000 "
            "rows of at least 24 bytes, but only 48 bytes follow");
  const std::string ascii =
      "ply\nformat ascii 1.0\nelement vertex 18446744073709551615\n"
      "property double x\nproperty double y\nproperty double z\nend_header\n"
      "1 2 3\n";
  EXPECT_NE(plyError(ascii).find("scan.ply: header line 3: element 'vertex' "
                                 "declares 18446744073709551615 rows"),
            std::string::npos);
  EXPECT_EQ(plyError("ply\nformat ascii 1.0\nelement vertex "
                     "99999999999999999999999\nend_header\n"),
            "scan.ply: header line 3: expected 'element <name> <count>' with a "
            "count of 0 or more");
}

TEST(ScanSetIO, TruncatedOrMalformedPlyHeadersAreRefusedNamingTheLine) {
  const struct {
    const char* header;
    const char* message;
  } cases[] = {
      {"ply\nformat ascii 1.0\nelement vertex 3\nproperty dou",
       "scan.ply: the file ends inside the PLY header (no 'end_header' "
       "line)"},
      {"ply\n",
       "scan.ply: the file ends inside the PLY header (no 'end_header' "
       "line)"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float128 x\n"
       "end_header\n",
       "scan.ply: header line 4: unknown property type 'float128'"},
      {"ply\nelement vertex 1\nend_header\n",
       "scan.ply: header line 2: 'element' before the 'format' line"},
      {"ply\nformat ascii 1.0\nproperty float x\nend_header\n",
       "scan.ply: header line 3: 'property' before any 'element' line"},
      {"ply\nformat binary_big_endian 1.0\nend_header\n",
       "scan.ply: header line 2: big-endian PLY is not supported; use ASCII "
       "or binary_little_endian"},
      {"ply\nformat ascii 2.0\nend_header\n",
       "scan.ply: header line 2: PLY version '2.0' (only 1.0 is read)"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
       "property float x\nend_header\n",
       "scan.ply: header line 5: a second property 'x'"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
       "property float y\nend_header\n",
       "scan.ply: the PLY vertex element has no property 'z'"},
      {"ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\n"
       "property float y\nproperty list uchar int z\nend_header\n",
       "scan.ply: header line 3: vertex property 'z' is a list"},
      {"ply\nformat ascii 1.0\nelement face 0\nend_header\n",
       "scan.ply: the PLY header has no 'vertex' element"},
      {"ply\nformat ascii 1.0\nwhatever\nend_header\n",
       "scan.ply: header line 3: unknown PLY header keyword 'whatever'"},
      {"plyx\n", "scan.ply: not a PLY file (the first line is not 'ply')"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plyError(c.header), c.message) << c.header;
  }
}

// ---- data that is refused
// ----------------------------------------------------

TEST(ScanSetIO, TruncatedBinaryDataIsRefused) {
  const auto set = simulateScanSet(smallSimulation(false));
  const std::string bytes = written(*set, ScanFileFormat::kPlyBinary);
  const std::string message = plyError(bytes.substr(0, bytes.size() - 1));
  EXPECT_EQ(message.rfind("scan.ply: header line ", 0), 0u) << message;
  EXPECT_NE(message.find("bytes follow"), std::string::npos) << message;
  EXPECT_EQ(plyError(bytes + "x"),
            "scan.ply: 1 bytes after the last element (a wrong count in the "
            "header?)");
}

TEST(ScanSetIO, RowErrorsNameTheLine) {
  const std::string h = kAsciiHeader;
  const struct {
    std::string bytes;
    const char* file;
    const char* message;
  } cases[] = {
      {h + "1 2 3 0 0\n1 2 3 0\n", "scan.ply",
       "scan.ply:11: expected 5 values for a vertex, found 4"},
      {h + "1 2 3 0 0\n1 2 nan 0 0\n", "scan.ply",
       "scan.ply:11: coordinate z is not a finite number"},
      {h + "1 2 3 0 -1\n1 2 3 0 0\n", "scan.ply",
       "scan.ply:10: frame -1 is not a whole number from 0 to 2147483647"},
      {h + "1 2 3 0 0\n", "scan.ply",
       "scan.ply:11: the file ends after 1 of 2 'vertex' rows"},
      {h + "1 2 3 0 0\n1 2 3 0 0\n4\n", "scan.ply",
       "scan.ply:12: text after the last element (a wrong count in the "
       "header?)"},
      {"1 2 3\n\n4 5\n", "scan.txt",
       "scan.txt:3: expected three numbers 'x y z', found 2 words"},
      {"1 2 3\n1 2 x\n", "scan.txt", "scan.txt:2: 'x' is not a finite number"},
      {"# nothing\n\n", "scan.txt", "scan.txt: no points"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(errorOf([&] { readScanSet(c.bytes, c.file); }), c.message)
        << c.bytes;
  }
}

TEST(ScanSetIO, IndicesThatWouldAllocateWithoutLimitAreRefused) {
  EXPECT_NE(
      plyError(std::string(kAsciiHeader) + "1 2 3 0 0\n1 2 3 0 2000000000\n")
          .find("more surfaces or frames than a file of 2 points may "
                "hold"),
      std::string::npos);
  EXPECT_NE(plyError("ply\nformat ascii 1.0\ncomment surface 3 frames "
                     "900000\nelement vertex 1\nproperty double x\n"
                     "property double y\nproperty double z\nend_header\n"
                     "1 2 3\n")
                .find("more than a file of 1 points may hold"),
            std::string::npos);
}

// ---- files
// -------------------------------------------------------------------

class ScanFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    _folder =
        fs::path(::testing::TempDir()) /
        ("quaxscan-io-" +
         std::string(
             ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(_folder);
    fs::create_directories(_folder);
  }
  void TearDown() override { fs::remove_all(_folder); }

  static std::string contents(const fs::path& path) {
    return readFileBytes(path);
  }
  std::size_t filesInFolder() const {
    return std::size_t(std::distance(fs::directory_iterator(_folder),
                                     fs::directory_iterator()));
  }

  fs::path _folder;
};

TEST_F(ScanFiles, ReplaceFileReplacesTheTargetWholeOrLeavesIt) {
  const fs::path target = _folder / "scan.ply";
  std::ofstream(target) << "a much longer old text";
  EXPECT_THROW(replaceFile(target,
                           [](std::ostream& out) {
                             out << "half";
                             throw std::runtime_error("stopped");
                           }),
               std::runtime_error);
  EXPECT_EQ(contents(target), "a much longer old text");
  EXPECT_EQ(filesInFolder(), 1u);  // no temporary file left behind
  replaceFile(target, [](std::ostream& out) { out << "new"; });
  EXPECT_EQ(contents(target), "new");
  EXPECT_EQ(filesInFolder(), 1u);
}

TEST_F(ScanFiles, MissingFolderOrFileIsNamed) {
  const fs::path missing = _folder / "no" / "scan.ply";
  EXPECT_EQ(errorOf([&] { replaceFile(missing, [](std::ostream&) {}); }),
            missing.string() + ": cannot be written: the folder " +
                (_folder / "no").string() + " does not exist");
  EXPECT_EQ(errorOf([&] { readScanSetFile(_folder / "none.ply"); }),
            (_folder / "none.ply").string() + ": no such file");
}

TEST_F(ScanFiles, WrittenFileReadsBackIdentical) {
  const auto set = simulateScanSet(smallSimulation(true));
  const fs::path path = _folder / "scan.ply";
  writeScanSetFile(*set, ScanFileFormat::kPlyBinary, path);
  EXPECT_TRUE(sameScanSet(*set, *readScanSetFile(path)));
}

TEST(ScanSetIO, FormatFollowsTheFileName) {
  EXPECT_EQ(formatForPath("a.PLY", false), ScanFileFormat::kPlyBinary);
  EXPECT_EQ(formatForPath("a.ply", true), ScanFileFormat::kPlyAscii);
  EXPECT_EQ(formatForPath("dir/a.xyz", false), ScanFileFormat::kText);
  EXPECT_EQ(errorOf([] { formatForPath("a.obj", false); }),
            "a.obj: unknown scan file type '.obj' (use .ply, .txt or .xyz)");
}

// ---- the simulated scanner -------------------------------------------------

TEST(SimulatedScanner, SameSeedGivesTheSameSet) {
  const auto a = simulateScanSet(smallSimulation(true));
  const auto b = simulateScanSet(smallSimulation(true));
  EXPECT_TRUE(sameScanSet(*a, *b));
  SimulationSettings other = smallSimulation(true);
  other.scanner.seed = 12;
  EXPECT_FALSE(sameScanSet(*a, *simulateScanSet(other)));
}

TEST(SimulatedScanner, HoleLeavesAGapAndPointsLieOnThePart) {
  ScannerSettings settings;
  settings.noise = 0.0;
  SimulatedScanner scanner(settings);
  const auto line = scanner.profileAt(45.0);  // through the hole's middle
  ASSERT_LT(line->getPointCount(), settings.pointsPerLine);
  for (std::size_t i = 0; i < line->getPointCount(); ++i) {
    const auto& p = line->getPoint(i)->position();
    EXPECT_FALSE(SimulatedScanner::inHole(p.x(), p.y()));
    EXPECT_DOUBLE_EQ(p.z(), SimulatedScanner::partHeight(p.x(), p.y()));
  }
}

TEST(SimulatedScanner, LaterSweepsOverlapAndAreRegisteredOff) {
  SimulationSettings settings = smallSimulation(false);
  settings.scanner.noise = 0.0;
  settings.scanner.dropoutRate = 0.0;
  settings.surfaces = 3;
  settings.overlap = 0.5;
  const auto set = simulateScanSet(settings);
  ASSERT_EQ(set->getSurfaceCount(), 3u);
  // 30 frames of 0.5: each sweep starts 7.5 after the one before.
  const auto& first = firstPointOf(*set, 2);
  EXPECT_DOUBLE_EQ(first.y(), 15.0 + 2 * -0.10);
  EXPECT_DOUBLE_EQ(first.z(), SimulatedScanner::partHeight(-40.0, 15.0) + 0.8);
}

TEST(SimulatedScanner, ItemsOnlyWhenAskedAndThePointsStayWhereTheyAre) {
  const auto plain = simulateScanSet(smallSimulation(false));
  const auto rich = simulateScanSet(smallSimulation(true));
  EXPECT_TRUE(sameScanSet(*plain, *rich, /*withItems=*/false));
  EXPECT_FALSE(plain->getSurface(0)
                   ->getFrame(0)
                   ->getScanLine()
                   ->getPoint(0)
                   ->hasExtensionList());
  const auto values = test::itemValues(
      *rich->getSurface(0)->getFrame(0)->getScanLine()->getPoint(0));
  EXPECT_GT(values.graysum, 0);
  EXPECT_LT(values.low, values.high);
}

}  // namespace
}  // namespace quaxscan
