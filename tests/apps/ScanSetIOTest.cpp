// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "apps/quaxscan/ScanSetIO.h"
#include "apps/quaxscan/SimulatedScanner.h"
#include "scan/model/ScanPointItems.h"

namespace quaxscan {
namespace {

namespace fs = std::filesystem;

SimulationSettings smallSimulation(bool items, std::uint32_t seed = 11) {
  SimulationSettings s;
  s.surfaces = 2;
  s.framesPerSurface = 30;
  s.scanner.pointsPerLine = 120;
  s.scanner.dropoutRate = 0.2;
  s.scanner.graysum = items;
  s.scanner.pixels = items;
  s.scanner.seed = seed;
  return s;
}

// The written bytes: binary PLY holds every position exactly, with gray
// sums and pixels, so equal bytes mean equal sets.
std::string written(const QUAX::ScanSet& set,
                    ScanFileFormat format = ScanFileFormat::kPlyBinary) {
  std::ostringstream out(std::ios::binary);
  writeScanSet(set, format, out);
  return out.str();
}

// The text layout without its heading comment line.
std::string textOf(const QUAX::ScanSet& set) {
  const std::string text = written(set, ScanFileFormat::kText);
  return text.substr(text.find('\n') + 1);
}

// The message of the ScanFileError that `read` throws.
template <class Read>
std::string errorOf(Read read) {
  try {
    read();
  } catch (const ScanFileError& e) {
    return e.message();
  }
  return "(no error)";
}

TEST(ScanSetIO, EveryFormatReadsBackIdenticalAndWritesTheSameBytesAgain) {
  QUAX::ScanSet sparse;  // frames without points, a surface without frames
  auto surface = std::make_unique<QUAX::ScanSurface>();
  surface->appendFrame(std::make_unique<QUAX::ScanFrame>());
  auto line = std::make_unique<QUAX::ScanLine>();
  line->appendPoint(QUAX::_GeoPoint<double>(1.5, -2.0, 1e-300));
  surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  surface->appendFrame(
      std::make_unique<QUAX::ScanFrame>(std::make_unique<QUAX::ScanLine>()));
  sparse.addSurface(std::move(surface));
  sparse.addSurface(std::make_unique<QUAX::ScanSurface>());
  const struct {
    ScanFileFormat format;
    bool items;
  } cases[] = {{ScanFileFormat::kPlyBinary, true},
               {ScanFileFormat::kPlyAscii, true},
               {ScanFileFormat::kText, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(formatName(c.format));
    const auto set = simulateScanSet(smallSimulation(c.items));
    const std::string bytes = written(*set, c.format);
    const auto back = readScanSet(
        bytes, c.format == ScanFileFormat::kText ? "a.txt" : "a.ply");
    EXPECT_EQ(written(*back), written(*set));
    EXPECT_EQ(written(*back, c.format), bytes);
    if (c.format != ScanFileFormat::kText) {
      EXPECT_EQ(written(*readScanSet(written(sparse, c.format), "a.ply")),
                written(sparse));
    }
  }
  const std::string header = written(*simulateScanSet(smallSimulation(true)));
  for (const char* part :
       {"ply\nformat binary_little_endian 1.0\n",
        "comment surface 0 frames 30\n", "comment surface 1 frames 30\n",
        "property double x\nproperty double y\nproperty double z\n"
        "property int surface\nproperty int frame\nproperty uint graysum\n"
        "property uint low_pixel\nproperty uint high_pixel\nend_header\n"}) {
    EXPECT_NE(header.find(part), std::string::npos) << part;
  }
}

TEST(ScanSetIO, ReadsTextLayoutsAndForeignPlyFiles) {
  // Two blank lines start a surface, one a frame; comments and CR LF.
  auto set = readScanSet(
      "# two surfaces\n1 2 3\n4 5 6\n\n7 8 9\n\n\n\n# after a comment\n"
      "10 11 12\r\n\n",
      "a.txt");
  ASSERT_EQ(set->getSurfaceCount(), 2u);
  EXPECT_EQ(set->getSurface(0)->getFrameCount(), 2u);
  EXPECT_EQ(set->getSurface(0)->getFrame(0)->getScanLine()->getPointCount(),
            2u);
  EXPECT_EQ(set->getSurface(1)->getFrameCount(), 1u);
  EXPECT_EQ(textOf(*set), "1 2 3\n4 5 6\n\n7 8 9\n\n\n10 11 12\n\n");
  // Floats, other properties, other elements with lists, CR LF, no surface
  // or frame: surface 0, frame 0, in file order.
  set = readScanSet(
      "ply\r\nformat ascii 1.0\r\ncomment from elsewhere\r\n"
      "element vertex 3\r\nproperty float x\r\nproperty float y\r\n"
      "property float z\r\nproperty uchar red\r\n"
      "element face 1\r\nproperty list uchar int vertex_indices\r\n"
      "end_header\r\n0.5 1 2 255\r\n1.5 1 2 0\r\n2.5 1 2 7\r\n3 0 1 2\r\n",
      "foreign.ply");
  EXPECT_EQ(textOf(*set), "0.5 1 2\n1.5 1 2\n2.5 1 2\n\n");
  std::string ply =
      "ply\nformat binary_little_endian 1.0\nelement face 2\n"
      "property list uchar int vertex_indices\nelement vertex 1\n"
      "property float x\nproperty float y\nproperty float z\nend_header\n";
  ply += std::string("\x01\x07\x00\x00\x00\x02\x01\x00\x00\x00\x02\x00\x00\x00",
                     14);
  const float xyz[3] = {1.0f, 2.0f, -3.5f};
  ply += std::string(reinterpret_cast<const char*>(xyz), sizeof xyz);
  EXPECT_EQ(textOf(*readScanSet(ply, "faces.ply")), "1 2 -3.5\n\n");
}

TEST(ScanSetIO, RefusedFilesAreNamedWithTheLine) {
  const std::string h =
      "ply\nformat ascii 1.0\nelement vertex 2\nproperty double x\n"
      "property double y\nproperty double z\nproperty int surface\n"
      "property int frame\nend_header\n";
  const std::string xyz =
      "property double x\nproperty double y\nproperty double z\nend_header\n";
  const std::string binary = written(*simulateScanSet(smallSimulation(false)));
  const struct {
    std::string bytes, message;
  } cases[] = {
      {"ply\nformat ascii 1.0\nelement vertex 3\nproperty dou",
       "scan.ply: the file ends inside the PLY header (no 'end_header' line)"},
      {"plyx\n", "scan.ply: not a PLY file (the first line is not 'ply')"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float128 x\n"
       "end_header\n",
       "scan.ply: header line 4: unknown property type 'float128'"},
      {"ply\nformat ascii 1.0\nproperty float x\nend_header\n",
       "scan.ply: header line 3: 'property' before any 'element' line"},
      {"ply\nformat binary_big_endian 1.0\nend_header\n",
       "scan.ply: header line 2: big-endian PLY is not supported; use ASCII "
       "or binary_little_endian"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
       "property float x\nend_header\n",
       "scan.ply: header line 5: a second property 'x'"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
       "property float y\nend_header\n",
       "scan.ply: the PLY vertex element has no property 'z'"},
      {"ply\nformat ascii 1.0\nelement face 0\nend_header\n",
       "scan.ply: the PLY header has no 'vertex' element"},
      {"ply\nformat ascii 1.0\nwhatever\nend_header\n",
       "scan.ply: header line 3: unknown PLY header keyword 'whatever'"},
      // Counts larger than the bytes that follow could hold.
      {"ply\nformat binary_little_endian 1.0\nelement vertex 4000000000000\n" +
           xyz + std::string(48, '\0'),
       "scan.ply: header line 3: element 'vertex' declares 4000000000000 "
       "rows of at least 24 bytes, but only 48 bytes follow"},
      {"ply\nformat ascii 1.0\nelement vertex 99999999999999999999999\n"
       "end_header\n",
       "scan.ply: header line 3: expected 'element <name> <count>' with a "
       "count of 0 or more"},
      {binary + "x",
       "scan.ply: 1 bytes after the last element (a wrong count in the "
       "header?)"},
      {h + "1 2 3 0 0\n1 2 3 0\n",
       "scan.ply:11: expected 5 values for a vertex, found 4"},
      {h + "1 2 3 0 0\n1 2 nan 0 0\n",
       "scan.ply:11: coordinate z is not a finite number"},
      {h + "1 2 3 0 -1\n1 2 3 0 0\n",
       "scan.ply:10: frame -1 is not a whole number from 0 to 2147483647"},
      {h + "1 2 3 0 0\n",
       "scan.ply:11: the file ends after 1 of 2 'vertex' rows"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(errorOf([&] { readScanSet(c.bytes, "scan.ply"); }), c.message)
        << c.bytes.substr(0, 200);
  }
  const struct {
    std::string bytes, file, part;
  } parts[] = {
      {binary.substr(0, binary.size() - 1), "scan.ply", "bytes follow"},
      {"ply\nformat ascii 1.0\nelement vertex 18446744073709551615\n" + xyz +
           "1 2 3\n",
       "scan.ply", "declares 18446744073709551615 rows"},
      {h + "1 2 3 0 0\n1 2 3 0 2000000000\n", "scan.ply",
       "more surfaces or frames than a file of 2 points may hold"},
      {"ply\nformat ascii 1.0\ncomment surface 3 frames 900000\n"
       "element vertex 1\n" +
           xyz + "1 2 3\n",
       "scan.ply", "more than a file of 1 points may hold"},
      {"1 2 3\n\n4 5\n", "scan.txt",
       "scan.txt:3: expected three numbers 'x y z', found 2 words"},
      {"# nothing\n\n", "scan.txt", "scan.txt: no points"},
  };
  for (const auto& c : parts) {
    EXPECT_NE(errorOf([&] { readScanSet(c.bytes, c.file); }).find(c.part),
              std::string::npos)
        << c.part;
  }
}

TEST(ScanSetIO, FilesAreReplacedWholeOrLeftAsTheyWere) {
  const fs::path folder =
      fs::path(::testing::TempDir()) /
      ("quaxscan-io-" + std::to_string(std::random_device()()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path target = folder / "scan.ply";
  std::ofstream(target) << "a much longer old text";
  EXPECT_THROW(replaceFile(target,
                           [](std::ostream& out) {
                             out << "half";
                             throw std::runtime_error("stopped");
                           }),
               std::runtime_error);
  EXPECT_EQ(readFileBytes(target), "a much longer old text");
  const auto set = simulateScanSet(smallSimulation(true));
  writeScanSetFile(*set, ScanFileFormat::kPlyBinary, target);
  EXPECT_EQ(written(*readScanSetFile(target)), written(*set));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  const fs::path missing = folder / "no" / "scan.ply";
  EXPECT_EQ(errorOf([&] { replaceFile(missing, [](std::ostream&) {}); }),
            missing.string() + ": cannot be written: the folder " +
                (folder / "no").string() + " does not exist");
  EXPECT_EQ(errorOf([&] { readScanSetFile(folder / "none.ply"); }),
            (folder / "none.ply").string() + ": no such file");
  fs::remove_all(folder);

  EXPECT_EQ(formatForPath("a.PLY", false), ScanFileFormat::kPlyBinary);
  EXPECT_EQ(formatForPath("a.ply", true), ScanFileFormat::kPlyAscii);
  EXPECT_EQ(formatForPath("dir/a.xyz", false), ScanFileFormat::kText);
  EXPECT_EQ(errorOf([] { formatForPath("a.obj", false); }),
            "a.obj: unknown scan file type '.obj' (use .ply, .txt or .xyz)");
}

TEST(SimulatedScanner, SeedsSweepsHolesAndItems) {
  const auto rich = simulateScanSet(smallSimulation(true));
  EXPECT_EQ(written(*simulateScanSet(smallSimulation(true))), written(*rich));
  EXPECT_NE(written(*simulateScanSet(smallSimulation(true, 12))),
            written(*rich));
  // Items only when asked, and the points stay where they are.
  const auto plain = simulateScanSet(smallSimulation(false));
  EXPECT_EQ(written(*plain, ScanFileFormat::kText),
            written(*rich, ScanFileFormat::kText));
  EXPECT_EQ(written(*plain).find("graysum"), std::string::npos);

  ScannerSettings settings;
  settings.noise = 0.0;
  const auto line = SimulatedScanner(settings).profileAt(45.0);  // the hole
  ASSERT_LT(line->getPointCount(), settings.pointsPerLine);
  for (std::size_t i = 0; i < line->getPointCount(); ++i) {
    const auto& p = line->getPoint(i)->position();
    EXPECT_FALSE(SimulatedScanner::inHole(p.x(), p.y()));
    EXPECT_DOUBLE_EQ(p.z(), SimulatedScanner::partHeight(p.x(), p.y()));
  }
  // 30 frames of 0.5: each sweep starts 7.5 after the one before and is
  // registered off by its number times the misregistration.
  SimulationSettings sweeps = smallSimulation(false);
  sweeps.scanner.noise = 0.0;
  sweeps.scanner.dropoutRate = 0.0;
  sweeps.surfaces = 3;
  sweeps.overlap = 0.5;
  const auto set = simulateScanSet(sweeps);
  const auto& first =
      set->getSurface(2)->getFrame(0)->getScanLine()->getPoint(0)->position();
  EXPECT_DOUBLE_EQ(first.y(), 15.0 + 2 * -0.10);
  EXPECT_DOUBLE_EQ(first.z(), SimulatedScanner::partHeight(-40.0, 15.0) + 0.8);
}

}  // namespace
}  // namespace quaxscan
