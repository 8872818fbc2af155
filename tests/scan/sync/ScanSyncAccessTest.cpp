// SPDX-License-Identifier: MIT
// What callers can do with the guards and a frame's data state.
#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

#include "scan/model/ScanFrame.h"
#include "scan/sync/ScanSync.h"

namespace QUAX {
namespace {

template <class Guard>
constexpr bool isCopiedOrMoved() {
  return std::is_copy_constructible<Guard>::value ||
         std::is_copy_assignable<Guard>::value ||
         std::is_move_constructible<Guard>::value ||
         std::is_move_assignable<Guard>::value;
}

// True when `Frame` hands out its data state's storage to anybody.
template <class Frame, class = void>
struct HandsOutDataState : std::false_type {};
template <class Frame>
struct HandsOutDataState<
    Frame, std::void_t<decltype(std::declval<Frame&>().dataStateStorage())>>
    : std::true_type {};

TEST(ScanSyncAccess, GuardsAndTheFrameDataStateCannotBeMisused) {
  // A guard gives up the one lock it took: no copy, move or assignment can
  // make two guards unlock one sync object.
  EXPECT_FALSE(isCopiedOrMoved<ScanSurfaceReadSyncGuard>());
  EXPECT_FALSE(isCopiedOrMoved<ScanSurfaceWriteSyncGuard>());
  // The data state is reached through the frame's sync object only.
  EXPECT_FALSE(HandsOutDataState<ScanFrame>::value);
}

}  // namespace
}  // namespace QUAX
