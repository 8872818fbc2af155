// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "scan/io/ScanFile.h"
#include "scan/io/ScanFileFilter.h"
#include "scan/io/ScanFrameStream.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace {

namespace fs = std::filesystem;
using ScanFileError = EScanFileError;

// A set as a scanner gives it: surfaces of frames of lines with holes (of
// fewer than `longest` points), points with full-precision coordinates,
// gray sums and pixels when `items`.
std::unique_ptr<ScanSet> randomSet(bool items, std::uint32_t seed = 11,
                                   std::size_t longest = 120) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> coordinate(-200.0, 200.0);
  auto set = std::make_unique<ScanSet>();
  for (int s = 0; s < 2; ++s) {
    auto surface = std::make_unique<ScanSurface>();
    for (int f = 0; f < 30; ++f) {
      auto line = std::make_unique<ScanLine>();
      const std::size_t points = random() % longest;
      for (std::size_t i = 0; i < points; ++i) {
        line->appendPoint(_GeoPoint<double>(coordinate(random),
                                            coordinate(random),
                                            coordinate(random)));
        if (!items) continue;
        ScanPoint* point = line->getPoint(i);
        point->createExtensionList();
        auto* graysum = new ScanPointGraysumData();
        graysum->setGraysum(std::uint32_t(random()));
        point->addItem(graysum);
        auto* pixels = new ScanPointTPData();
        pixels->setLowPixel(std::uint32_t(random()));
        pixels->setHighPixel(std::uint32_t(random()));
        point->addItem(pixels);
      }
      surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
    }
    surface->setComplete();
    set->addSurface(std::move(surface));
  }
  return set;
}

// The written bytes: binary PLY holds every position exactly, with gray
// sums and pixels, so equal bytes mean equal sets.
std::string written(const ScanSet& set,
                    ScanFileFormat format = ScanFileFormat::kPlyBinary) {
  std::ostringstream out(std::ios::binary);
  writeScanSet(set, format, out);
  return out.str();
}

// The text layout without its heading comment line.
std::string textOf(const ScanSet& set) {
  const std::string text = written(set, ScanFileFormat::kText);
  return text.substr(text.find('\n') + 1);
}


// A scratch folder of the test's own, removed at the end.
struct Scratch {
  Scratch()
      : folder(fs::path(::testing::TempDir()) /
               ("quax-io-" + std::to_string(std::random_device()()))) {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  ~Scratch() { fs::remove_all(folder); }
  std::size_t temporaries() const {
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
      n += entry.path().extension() == ".tmp";
    }
    return n;
  }
  fs::path folder;
};

// The set a frame reader hands out, put together again. In one pass, a file
// found out of scan order is read again with the check first, as
// filterScanFile does.
std::unique_ptr<ScanSet> readByFrames(
    const fs::path& path,
    ScanFrameReader::Mode mode = ScanFrameReader::Mode::kCheckFirst) {
  ScanFrameReader reader(path, mode);
  auto set = std::make_unique<ScanSet>();
  for (std::size_t frames : reader.framesPerSurface()) {
    set->addSurface(std::make_unique<ScanSurface>());
    (void)frames;
  }
  std::size_t s = 0, f = 0;
  try {
    while (auto frame = reader.next(s, f)) {
      EXPECT_EQ(set->getSurface(s)->getFrameCount(), f);
      set->getSurface(s)->appendFrame(std::move(frame));
    }
  } catch (const EScanFileError&) {
    if (!reader.isOutOfOrder()) throw;
    return readByFrames(path);
  }
  for (std::size_t i = 0; i < set->getSurfaceCount(); ++i) {
    EXPECT_EQ(set->getSurface(i)->getFrameCount(),
              reader.framesPerSurface()[i]);
  }
  return set;
}

// Reads `bytes` as a file of `name` in five ways, from memory, the file
// whole, the file frame by frame (checked first, or in one pass) and through
// filterScanFile without filters: all agree, on the set (as binary PLY) or on
// the error, and a failed filterScanFile leaves no output. Returns that
// error, or the set's bytes.
std::string readsAlike(const std::string& bytes, const std::string& name) {
  Scratch scratch;
  const fs::path path = scratch.folder / name;
  std::ofstream(path, std::ios::binary) << bytes;
  const fs::path out = scratch.folder / "out.ply";
  std::string results[5];
  int i = 0;
  for (const auto& read : std::initializer_list<
           std::function<std::unique_ptr<ScanSet>()>>{
           [&] { return readScanSet(bytes, path.string()); },
           [&] { return readScanSetFile(path); },
           [&] { return readByFrames(path); },
           [&] { return readByFrames(path, ScanFrameReader::Mode::kOnePass); },
           [&] {
             filterScanFile(path, out, ScanFileFormat::kPlyBinary, {}, 1);
             return readScanSet(readFileBytes(out), out.string());
           }}) {
    try {
      std::ostringstream written(std::ios::binary);
      writeScanSet(*read(), ScanFileFormat::kPlyBinary, written);
      results[i++] = written.str();
    } catch (const ScanFileError& e) {
      results[i++] = e.message();
    }
  }
  EXPECT_EQ(results[1], results[0]) << "read whole from the file";
  EXPECT_EQ(results[2], results[0]) << "read frame by frame";
  EXPECT_EQ(results[3], results[0]) << "read frame by frame in one pass";
  EXPECT_EQ(results[4], results[0]) << "filtered";
  EXPECT_EQ(fs::exists(out), results[0].compare(0, 3, "ply") == 0);
  EXPECT_EQ(scratch.temporaries(), 0u);
  const std::string prefix = path.string();
  return results[0].compare(0, prefix.size(), prefix) == 0
             ? name + results[0].substr(prefix.size())
             : results[0];
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

TEST(ScanFile, EveryFormatReadsBackIdenticalAndWritesTheSameBytesAgain) {
  ScanSet sparse;  // frames without points, a surface without frames
  auto surface = std::make_unique<ScanSurface>();
  surface->appendFrame(std::make_unique<ScanFrame>());
  auto line = std::make_unique<ScanLine>();
  line->appendPoint(_GeoPoint<double>(1.5, -2.0, 1e-300));
  surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
  surface->appendFrame(
      std::make_unique<ScanFrame>(std::make_unique<ScanLine>()));
  sparse.addSurface(std::move(surface));
  sparse.addSurface(std::make_unique<ScanSurface>());
  // The long lines make a set larger than the blocks the streams read and
  // write and than a batch of filterScanFile on one thread.
  const struct {
    ScanFileFormat format;
    bool items;
    std::size_t longest;
  } cases[] = {{ScanFileFormat::kPlyBinary, true, 120},
               {ScanFileFormat::kPlyAscii, true, 120},
               {ScanFileFormat::kText, false, 120},
               {ScanFileFormat::kPlyBinary, true, 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(scanFileFormatName(c.format));
    const auto set = randomSet(c.items, 11, c.longest);
    const std::string bytes = written(*set, c.format);
    const auto back = readScanSet(
        bytes, c.format == ScanFileFormat::kText ? "a.txt" : "a.ply");
    EXPECT_EQ(written(*back), written(*set));
    EXPECT_EQ(written(*back, c.format), bytes);
    EXPECT_EQ(readsAlike(bytes, "a.ply"), written(*back));
    // Frame by frame into every format: the bytes of the whole set's writer,
    // with no count expected, the right one, one of other digits, or one
    // point too many (as when a filter drops points).
    Scratch scratch;
    fs::path in = scratch.folder / "in.ply";
    std::ofstream(in, std::ios::binary) << bytes;
    for (ScanFileFormat to : {ScanFileFormat::kPlyBinary,
                              ScanFileFormat::kPlyAscii,
                              ScanFileFormat::kText})
    for (int expect = 0; expect < 4; ++expect) {
      ScanFrameReader reader(in);
      EXPECT_TRUE(reader.isStreaming());
      EXPECT_EQ(reader.hasGraysums(), c.items);
      const fs::path out = scratch.folder / "out";
      ScanFrameWriter writer(out, to, reader.framesPerSurface(),
                             reader.hasGraysums(), reader.hasPixels());
      const std::uint64_t expected[] = {0, reader.pointCount(),
                                        reader.pointCount() * 1000,
                                        reader.pointCount() + 1};
      if (expect > 0) writer.expectPoints(expected[expect]);
      std::size_t s = 0, f = 0;
      while (auto frame = reader.next(s, f)) writer.write(s, f, *frame);
      EXPECT_EQ(scratch.temporaries(), 1u);
      writer.finish();
      EXPECT_EQ(writer.pointCount(), reader.pointCount());
      EXPECT_EQ(readFileBytes(out), written(*back, to));
      EXPECT_EQ(scratch.temporaries(), 0u);
    }
    // A writer given a frame out of order, or left unfinished, leaves the
    // output as it was and no file behind.
    const std::string before = readFileBytes(scratch.folder / "out");
    {
      ScanFrameWriter writer(scratch.folder / "out", c.format, {2, 1}, false,
                             false);
      writer.write(0, 1, ScanFrame());
      EXPECT_THROW(writer.write(0, 0, ScanFrame()), ScanFileError);
      EXPECT_THROW(writer.write(1, 1, ScanFrame()), ScanFileError);
    }
    EXPECT_EQ(scratch.temporaries(), 0u);
    EXPECT_EQ(readFileBytes(scratch.folder / "out"), before);
    if (c.format != ScanFileFormat::kText) {
      EXPECT_EQ(readsAlike(written(sparse, c.format), "a.ply"),
                written(sparse));
    }
  }
  const std::string header = written(*randomSet(true));
  for (const char* part :
       {"ply\nformat binary_little_endian 1.0\n",
        "comment surface 0 frames 30\n", "comment surface 1 frames 30\n",
        "property double x\nproperty double y\nproperty double z\n"
        "property int surface\nproperty int frame\nproperty uint graysum\n"
        "property uint low_pixel\nproperty uint high_pixel\nend_header\n"}) {
    EXPECT_NE(header.find(part), std::string::npos) << part;
  }
}

// A stream that cannot go back.
struct OneWay : std::streambuf {
  std::string bytes;
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) bytes += char(c);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    bytes.append(s, std::size_t(n));
    return n;
  }
};

// Points whose items differ (none, an empty list, a gray sum, pixels, both,
// an item of another kind): a PLY file has the columns of all of them,
// written the same into a stream that can go back and one that cannot.
TEST(ScanFile, ItemColumnsAreThoseOfAllPoints) {
  // Per point: bit 0 gray sum, bit 1 pixels, bit 2 another item, 8 no list.
  const std::vector<int> cases[] = {
      {1, 1, 3}, {8, 0, 4, 5, 2}, {2, 8, 1}, {5, 5, 5}, {4, 0, 8}, {3}};
  for (const auto& items : cases) {
    ScanSet set;
    auto surface = std::make_unique<ScanSurface>();
    for (std::size_t i = 0; i < items.size(); ++i) {
      auto line = std::make_unique<ScanLine>();
      line->appendPoint(_GeoPoint<double>(double(i), 2.0, 3.0));
      ScanPoint* point = line->getPoint(0);
      if (items[i] != 8) point->createExtensionList();
      if (items[i] & 4) point->addItem(new ScanPointExtData<double>());
      if (items[i] & 1) point->emplaceItem<ScanPointGraysumData>();
      if (items[i] & 2) point->emplaceItem<ScanPointTPData>();
      surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
    }
    set.addSurface(std::move(surface));
    int all = 0;
    for (int i : items) all |= i == 8 ? 0 : i;
    for (ScanFileFormat format :
         {ScanFileFormat::kPlyBinary, ScanFileFormat::kPlyAscii}) {
      const std::string bytes = written(set, format);
      OneWay oneWay;
      std::ostream out(&oneWay);
      writeScanSet(set, format, out);
      EXPECT_EQ(oneWay.bytes, bytes);
      EXPECT_EQ(bytes.find("graysum\n") != std::string::npos, (all & 1) != 0);
      EXPECT_EQ(bytes.find("high_pixel\n") != std::string::npos,
                (all & 2) != 0);
      EXPECT_EQ(written(*readScanSet(bytes, "a.ply"), format), bytes);
    }
  }
}

// Binary and ASCII files of random field types, in scan order or not, with
// now and then a value out of range, an index beyond what the file may hold,
// many declared frames or an element after the vertices: the readers agree
// on every one (readsAlike), the set or the error.
TEST(ScanFile, BinaryRowsOfAnyTypeOrderAndValueReadAlike) {
  std::mt19937 random(5);
  const struct {
    const char* name;
    int bytes;
  } types[] = {{"int", 4}, {"uint", 4}, {"float", 4}, {"double", 8},
               {"ushort", 2}, {"char", 1}};
  const char* fields[] = {"surface", "frame", "graysum", "low_pixel"};
  int sets = 0;
  for (int round = 0; round < 150; ++round) {
    // Every other round of 32-bit whole fields only, as this library writes.
    const unsigned kinds = round % 2 ? 2 : 6;
    const int type[4] = {int(random() % kinds), int(random() % kinds),
                         int(random() % kinds), int(random() % kinds)};
    const bool inOrder = random() % 3 != 0, odd = random() % 4 == 0;
    const std::size_t n = random() % 40;
    std::string head = "ply\nformat binary_little_endian 1.0\n";
    if (random() % 3 == 0) {
      head += "comment surface 1 frames " +
              std::to_string(random() % 2 ? 3 : 70000) + "\n";
    }
    head += "element vertex " + std::to_string(n) +
            "\nproperty double x\nproperty double y\nproperty double z\n";
    for (int f = 0; f < 4; ++f) {
      head += std::string("property ") + types[type[f]].name + " " +
              fields[f] + "\n";
    }
    // The same rows as text, in an ASCII file.
    std::string rows, text;
    const auto put = [&rows, &text](const auto& v) {
      rows.append(reinterpret_cast<const char*>(&v), sizeof v);
      std::ostringstream shown;
      shown.precision(17);
      shown << +v;
      text += shown.str() + " ";
    };
    std::uint32_t place[2] = {0, 0};
    for (std::size_t i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) {
        put(odd && random() % 50 == 0 ? HUGE_VAL : double(random() % 1000) / 7);
      }
      if (!inOrder || random() % 8 == 0) place[random() % 2] = random() % 4;
      for (int f = 0; f < 4; ++f) {
        double v = f < 2 ? place[f] : double(random() % 200);
        if (odd && random() % 30 == 0) v = random() % 2 ? -1.0 : 2.5e9;
        if (odd && random() % 60 == 0) v = 0.5;
        switch (type[f]) {
          case 0: put(std::int32_t(v)); break;
          case 1: put(std::uint32_t(v)); break;
          case 2: put(float(v)); break;
          case 3: put(v); break;
          case 4: put(std::uint16_t(v)); break;
          default: put(std::int8_t(v)); break;
        }
      }
      text += "\n";
    }
    if (random() % 4 == 0) {
      head += "element face 2\nproperty uchar a\n";
      const bool whole = random() % 2;
      rows += whole ? "ab" : "a";
      text += whole ? "97\n98\n" : "97\n";
    }
    const std::string result = readsAlike(head + "end_header\n" + rows, "r.ply");
    sets += result.compare(0, 3, "ply") == 0;
    head.replace(head.find("binary_little_endian"), 20, "ascii");
    sets += readsAlike(head + "end_header\n" + text, "r.ply").compare(0, 3,
                                                                      "ply") == 0;
  }
  EXPECT_GT(sets, 60);  // the agreement is not only on errors
}

TEST(ScanFile, ReadsTextLayoutsAndForeignPlyFiles) {
  // Two blank lines start a surface, one a frame (not before the first
  // point); comments and CR LF.
  const std::string text =
      "\n\n# two surfaces\n1 2 3\n4 5 6\n\n7 8 9\n\n\n\n# after a comment\n"
      "10 11 12\r\n\n";
  auto set = readScanSet(text, "a.txt");
  EXPECT_EQ(readsAlike(text, "a.txt"), written(*set));
  ASSERT_EQ(set->getSurfaceCount(), 2u);
  EXPECT_EQ(set->getSurface(0)->getFrameCount(), 2u);
  EXPECT_EQ(set->getSurface(0)->getFrame(0)->getScanLine()->getPointCount(),
            2u);
  EXPECT_EQ(set->getSurface(1)->getFrameCount(), 1u);
  EXPECT_EQ(textOf(*set), "1 2 3\n4 5 6\n\n7 8 9\n\n\n10 11 12\n\n");
  // Floats, other properties, other elements with lists, CR LF, no surface
  // or frame: surface 0, frame 0, in file order.
  const std::string foreign =
      "ply\r\nformat ascii 1.0\r\ncomment from elsewhere\r\n"
      "element vertex 3\r\nproperty float x\r\nproperty float y\r\n"
      "property float z\r\nproperty uchar red\r\n"
      "element face 1\r\nproperty list uchar int vertex_indices\r\n"
      "end_header\r\n0.5 1 2 255\r\n1.5 1 2 0\r\n2.5 1 2 7\r\n3 0 1 2\r\n";
  set = readScanSet(foreign, "foreign.ply");
  EXPECT_EQ(readsAlike(foreign, "foreign.ply"), written(*set));
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
  // A list that ends the file exactly.
  ply =
      "ply\nformat binary_little_endian 1.0\nelement vertex 1\n"
      "property float x\nproperty float y\nproperty float z\nelement face 1\n"
      "property list uchar int vertex_indices\nend_header\n";
  ply += std::string(reinterpret_cast<const char*>(xyz), sizeof xyz);
  ply += std::string("\x02\x00\x00\x00\x00\x00\x00\x00\x00", 9);
  EXPECT_EQ(readsAlike(ply, "last.ply"), written(*readScanSet(ply, "last.ply")));
  // Points out of scan order (surface 1 before surface 0) are sorted into
  // their frames, also when the file is read frame by frame.
  ply =
      "ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
      "property float x\nproperty float y\nproperty float z\n"
      "property uchar surface\nend_header\n";
  for (const float x : {1.0f, 2.0f, 3.0f}) {
    const float row[3] = {x, 0.0f, 0.0f};
    ply.append(reinterpret_cast<const char*>(row), sizeof row);
    ply += char(x == 2.0f ? 0 : 1);
  }
  EXPECT_EQ(readsAlike(ply, "order.ply"),
            written(*readScanSet(ply, "order.ply")));
  EXPECT_EQ(textOf(*readScanSet(ply, "order.ply")), "2 0 0\n\n\n1 0 0\n3 0 0\n\n");
}

TEST(ScanFile, RefusedFilesAreNamedWithTheLine) {
  const std::string h =
      "ply\nformat ascii 1.0\nelement vertex 2\nproperty double x\n"
      "property double y\nproperty double z\nproperty int surface\n"
      "property int frame\nend_header\n";
  const std::string xyz =
      "property double x\nproperty double y\nproperty double z\nend_header\n";
  const std::string binary = written(*randomSet(false));
  std::string nanBinary =
      "ply\nformat binary_little_endian 1.0\nelement vertex 2\n" + xyz;
  const double rows[6] = {1, 2, 3, 4, std::nan(""), 6};
  nanBinary.append(reinterpret_cast<const char*>(rows), sizeof rows);
  // The same frame index out of reach, in a binary file (read in one pass).
  std::string farBinary = h;
  farBinary.replace(farBinary.find("ascii"), 5, "binary_little_endian");
  for (const std::int32_t frame : {0, 2000000000}) {
    const double at[3] = {1, 2, 3};
    const std::int32_t place[2] = {0, frame};
    farBinary.append(reinterpret_cast<const char*>(at), sizeof at);
    farBinary.append(reinterpret_cast<const char*>(place), sizeof place);
  }
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
      {"ply\nformat ascii 1.0\nelement vertex nan\n" + xyz,
       "scan.ply: header line 3: expected 'element <name> <count>' with a "
       "count of 0 or more"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty list uchar float x"
       "\nproperty float y\nproperty float z\nend_header\n1 1 2 3\n",
       "scan.ply: header line 3: vertex property 'x' is a list"},
      {"ply\nformat ascii 1.0\nelement vertex 0\n"
       "property list float int idx\n" + xyz,
       "scan.ply: header line 4: expected 'property list <integer type> "
       "<type> <name>'"},
      {nanBinary, "scan.ply: vertex 1 (byte offset " +
                      std::to_string(nanBinary.size() - 24) +
                      "): coordinate y is not a finite number"},
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
    EXPECT_EQ(readsAlike(c.bytes, "scan.ply"), c.message)
        << c.bytes.substr(0, 200);
  }
  const struct {
    std::string bytes, file, part;
  } parts[] = {
      {binary.substr(0, binary.size() - 1), "scan.ply", "bytes follow"},
      {"ply\nformat ascii 1.0\nelement vertex 18446744073709551615\n" + xyz +
           "1 2 3\n",
       "scan.ply", "declares 18446744073709551615 rows"},
      {h + "1 2 3 0 0\n1 2 3 0 7x\n", "scan.ply",
       "is not a whole number in the range of property 'frame'"},
      {h + "1 2 3 0 0\n1 2 3 0 2000000000\n", "scan.ply",
       "more surfaces or frames than a file of 2 points may hold"},
      {farBinary, "scan.ply",
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
    EXPECT_NE(readsAlike(c.bytes, c.file).find(c.part), std::string::npos)
        << c.part;
  }
}

TEST(ScanFile, FilesAreReplacedWholeOrLeftAsTheyWere) {
  const fs::path folder =
      fs::path(::testing::TempDir()) /
      ("quax-io-" + std::to_string(std::random_device()()));
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
  const auto set = randomSet(true);
  writeScanSetFile(*set, ScanFileFormat::kPlyBinary, target);
  EXPECT_EQ(written(*readScanSetFile(target)), written(*set));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  const fs::path missing = folder / "no" / "scan.ply";
  EXPECT_EQ(errorOf([&] { replaceFile(missing, [](std::ostream&) {}); }),
            missing.string() + ": cannot be written: the folder " +
                (folder / "no").string() + " does not exist");
  EXPECT_EQ(errorOf([&] { readScanSetFile(folder / "none.ply"); }),
            (folder / "none.ply").string() + ": no such file");
  // As many surfaces and frames as points, the most a file may hold: every
  // point comes back.
  auto frames = std::make_unique<ScanSurface>();
  for (int f = 0; f < 65535; ++f) {
    auto line = std::make_unique<ScanLine>();
    line->appendPoint(_GeoPoint<double>(f, 0, 0));
    if (f == 0) line->appendPoint(_GeoPoint<double>(0, 1, 0));
    frames->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
  }
  frames->setComplete();
  ScanSet full;
  full.addSurface(std::move(frames));
  writeScanSetFile(full, ScanFileFormat::kPlyBinary, target);
  EXPECT_EQ(written(*readScanSetFile(target)), written(full));
  // In text, more than a block of lines, read frame by frame (long lines:
  // a frame costs the Windows build kernel objects, slow under Wine).
  const auto lines = randomSet(false, 11, 1000);
  for (ScanFileFormat format :
       {ScanFileFormat::kPlyAscii, ScanFileFormat::kText}) {
    writeScanSetFile(*lines, format, target);
    EXPECT_GT(fs::file_size(target), std::uintmax_t(1) << 20);
    EXPECT_EQ(written(*readByFrames(target, ScanFrameReader::Mode::kOnePass)),
              written(*lines));
  }
  fs::remove_all(folder);

  EXPECT_EQ(scanFileFormatFor("a.PLY", false), ScanFileFormat::kPlyBinary);
  EXPECT_EQ(scanFileFormatFor("a.ply", true), ScanFileFormat::kPlyAscii);
  EXPECT_EQ(scanFileFormatFor("dir/a.xyz", false), ScanFileFormat::kText);
  EXPECT_EQ(errorOf([] { scanFileFormatFor("a.obj", false); }),
            "a.obj: unknown scan file type '.obj' (use .ply, .txt or .xyz)");
}

}  // namespace
}  // namespace QUAX
