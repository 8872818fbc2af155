// SPDX-License-Identifier: MIT
// Profiles from Coord3D buffers: each raw value scaled and offset per axis,
// the invalid value and NaN as "no point", and the scan lines made of them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "acquire/AcquireErrors.h"
#include "acquire/profile/ProfileDecoder.h"

namespace QUAX {
namespace {

TEST(ProfileDecoder, ScalesEveryAxisAndDropsInvalidValues) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> raw(0, 65535);
  for (int trial = 0; trial < 40; ++trial) {
    Scan3dSettings s;
    s.a = {0.01 * (1 + trial % 7), -10.0 + trial};
    s.b = {0.5, 3.0};
    s.c = {trial % 2 ? 0.002 : -0.004, 100.0 - trial};
    s.invalidDataFlag = trial % 3 != 0;
    s.invalidDataValue = trial % 4 == 0 ? 0 : 65535;
    const std::uint32_t width = 1 + trial * 5, rows = 1 + trial % 9;

    std::vector<std::uint16_t> c16(width * rows);
    for (auto& v : c16)
      v = static_cast<std::uint16_t>(raw(rng) % 5 == 0 ? s.invalidDataValue
                                                        : raw(rng));
    std::vector<float> abc(3 * width * rows);
    for (std::size_t i = 0; i < abc.size(); ++i)
      abc[i] = i % 11 == 0 ? std::numeric_limits<float>::quiet_NaN()
                           : static_cast<float>(raw(rng)) / 7.0f;

    std::vector<double> x(width), y(width), z(width);
    for (const PixelFormat f :
         {PixelFormat::kCoord3D_C16, PixelFormat::kCoord3D_ABC32f}) {
      s.format = f;
      const ProfileDecoder decoder(s);
      const bool c = f == PixelFormat::kCoord3D_C16;
      const ImageView view =
          c ? ImageView::of(c16.data(), c16.size() * 2, f, width, rows)
            : ImageView::of(abc.data(), abc.size() * 4, f, width, rows);
      for (std::uint32_t r = 0; r < rows; ++r) {
        decoder.decode(view, r, x.data(), y.data(), z.data());
        for (std::uint32_t i = 0; i < width; ++i) {
          const std::size_t k = std::size_t(r) * width + i;
          double va = i, vb = std::nan(""), vc = c16[k];
          if (!c) va = abc[3 * k], vb = abc[3 * k + 1], vc = abc[3 * k + 2];
          const bool none = (s.invalidDataFlag && vc == s.invalidDataValue) ||
                            std::isnan(va) || (!c && std::isnan(vb)) ||
                            std::isnan(vc);
          if (none) {
            ASSERT_TRUE(std::isnan(z[i]) && std::isnan(x[i])) << trial;
            continue;
          }
          ASSERT_EQ(x[i], s.a.scale * va + s.a.offset);
          ASSERT_EQ(z[i], s.c.scale * vc + s.c.offset);
          if (c) {
            ASSERT_TRUE(std::isnan(y[i]));
          } else {
            ASSERT_EQ(y[i], s.b.scale * vb + s.b.offset);
          }
        }
        // The line keeps the points in column order, y from the profile
        // where the format has none.
        const auto line = makeProfileLine(x.data(), z.data(), width, 7.5,
                                          c ? nullptr : y.data());
        std::size_t j = 0;
        for (std::uint32_t i = 0; i < width; ++i) {
          if (std::isnan(z[i])) continue;
          const auto& p = line->getPoint(j++)->position();
          ASSERT_EQ(p.x(), x[i]);
          ASSERT_EQ(p.y(), c ? 7.5 : y[i]);
          ASSERT_EQ(p.z(), z[i]);
        }
        ASSERT_EQ(j, line->getPointCount());
      }
    }
  }
}

TEST(ProfileDecoder, RefusesFormatsScalesAndRowsItCannotUse) {
  Scan3dSettings s;
  s.format = PixelFormat::kMono16;
  EXPECT_THROW(ProfileDecoder{s}, EAcquireBadSettings);
  s.format = PixelFormat::kCoord3D_C16;
  s.c.scale = 0.0;
  EXPECT_THROW(ProfileDecoder{s}, EAcquireBadSettings);
  s.c.scale = std::numeric_limits<double>::infinity();
  EXPECT_THROW(ProfileDecoder{s}, EAcquireBadSettings);
  s.c.scale = 1.0;
  const ProfileDecoder decoder(s);
  std::vector<std::uint16_t> c16(8);
  std::vector<double> x(4), y(4), z(4);
  const auto view =
      ImageView::of(c16.data(), 16, PixelFormat::kCoord3D_C16, 4, 2);
  EXPECT_THROW(decoder.decode(view, 2, x.data(), y.data(), z.data()),
               EAcquireBadSettings);
  const auto mono =
      ImageView::of(c16.data(), 16, PixelFormat::kMono16, 4, 2);
  EXPECT_THROW(decoder.decode(mono, 0, x.data(), y.data(), z.data()),
               EAcquireBadSettings);
}

}  // namespace
}  // namespace QUAX
