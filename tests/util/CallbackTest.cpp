// SPDX-License-Identifier: MIT
#include "util/Callback.h"

#include <gtest/gtest.h>

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

TEST(Callback, CallsTheBoundMemberOrFreeFunction) {
  Counter c;
  CBFunctor1<int> add(c, &Counter::add);
  add(3);
  add(4);
  EXPECT_EQ(c.total, 7);
  EXPECT_EQ(CBFunctor0wRet<int>(c, &Counter::value)(), 7);
  gFreeCalls = 0;
  const CBFunctor1<int> addFree(&freeAdd);
  addFree(5);
  EXPECT_EQ(gFreeCalls, 5);
  EXPECT_EQ(CBFunctor0wRet<int>(&answer)(), 42);
}

TEST(Callback, EqualityComparesObjectAndFunction) {
  Counter a, b;
  const CBFunctor1<int> aAdd(a, &Counter::add);
  EXPECT_TRUE(aAdd == CBFunctor1<int>(a, &Counter::add));
  EXPECT_FALSE(aAdd == CBFunctor1<int>(b, &Counter::add));
  EXPECT_FALSE(aAdd == CBFunctor1<int>(a, &Counter::addTwice));
  EXPECT_FALSE(aAdd == CBFunctor1<int>(&freeAdd));
  const CBFunctor1<int> copy = aAdd;
  EXPECT_TRUE(copy == aAdd);
}

TEST(Callback, UnboundDoesNothing) {
  const CBFunctor1<int> none;
  EXPECT_FALSE(static_cast<bool>(none));
  none(1);
  EXPECT_EQ(CBFunctor0wRet<int>()(), 0);
  EXPECT_TRUE(none == CBFunctor1<int>());
}

}  // namespace
}  // namespace QUAX
