// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "util/Callback.h"

namespace QUAX {
namespace {

struct Counter {
  int total = 0;
  void add(int n) { total += n; }
  void addTwice(int n) { total += 2 * n; }
  int value() { return total; }
};

int gFreeCalls = 0;
void freeAdd(int n) { gFreeCalls += n; }
int answer() { return 42; }

TEST(Callback, CallsTheBoundFunctionAndComparesObjectAndFunction) {
  Counter a, b;
  const CBFunctor1<int> add(a, &Counter::add);
  add(3);
  add(4);
  EXPECT_EQ(CBFunctor0wRet<int>(a, &Counter::value)(), 7);
  const CBFunctor1<int> addFree(&freeAdd);
  addFree(5);
  EXPECT_EQ(gFreeCalls, 5);
  EXPECT_EQ(CBFunctor0wRet<int>(&answer)(), 42);

  const CBFunctor1<int> copy = add;
  EXPECT_TRUE(copy == add);
  EXPECT_FALSE(add == CBFunctor1<int>(b, &Counter::add));
  EXPECT_FALSE(add == CBFunctor1<int>(a, &Counter::addTwice));
  EXPECT_FALSE(add == CBFunctor1<int>(&freeAdd));

  const CBFunctor1<int> none;  // unbound: does nothing
  EXPECT_FALSE(static_cast<bool>(none));
  none(1);
  EXPECT_EQ(CBFunctor0wRet<int>()(), 0);
  EXPECT_TRUE(none == CBFunctor1<int>());
}

}  // namespace
}  // namespace QUAX
