// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/stitch/Subject.h"

namespace QUAX {
namespace {

using IntSubject = Subject<int, unsigned>;
using Log = std::vector<std::string>;

Log* gLog = nullptr;

// Records every call as "<name>:<value>:<event>".
struct Recorder {
  std::string name;
  IntSubject* lastSubject = nullptr;
  void onNotify(IntSubject* subject, int value, unsigned event) {
    lastSubject = subject;
    gLog->push_back(name + ":" + std::to_string(value) + ":" +
                    std::to_string(event));
  }
  void onOther(IntSubject*, int value, unsigned) {
    gLog->push_back(name + "-other:" + std::to_string(value));
  }
};

void freeObserver(IntSubject*, int value, unsigned) {
  gLog->push_back("free:" + std::to_string(value));
}

class SubjectObservers : public ::testing::Test {
 protected:
  void SetUp() override { gLog = &log; }
  void TearDown() override { gLog = nullptr; }
  IntSubject::Callback cb(Recorder& r) {
    return IntSubject::Callback(r, &Recorder::onNotify);
  }
  Log log;
  Recorder a{"a"}, b{"b"}, c{"c"};
  IntSubject subject;
};

TEST_F(SubjectObservers, MasksMergeOnAttachAndDetachClearsBits) {
  subject.notify(50, ~0u);  // no observers yet: nothing happens
  subject.attach(cb(a), 1u);
  subject.attach(cb(a), 4u);
  subject.notify(7, 4u);
  subject.notify(8, 1u);
  subject.notify(9, 5u);
  subject.notify(10, 2u);
  EXPECT_EQ(a.lastSubject, &subject);
  subject.detach(cb(a), 1u);
  subject.notify(1, 1u);
  subject.notify(2, 4u);
  // Unknown callbacks and bits the entry lacks change nothing.
  subject.detach(cb(b), 4u);
  subject.detach(IntSubject::Callback(a, &Recorder::onOther), 4u);
  subject.detach(cb(a), 2u);
  subject.notify(3, 4u);
  subject.detach(cb(a), 4u);  // no bits left: removed
  subject.notify(4, ~0u);
  subject.notify(5, 0u);  // event 0 reaches no one
  EXPECT_EQ(log, (Log{"a:7:4", "a:8:1", "a:9:5", "a:2:4", "a:3:4"}));
}

TEST_F(SubjectObservers, ObserversAreCalledInTheOrderOfFirstAttachment) {
  subject.attach(cb(a), 0u);  // kept in place with no bits
  subject.attach(cb(b), 1u);
  subject.attach(cb(c), 2u);
  subject.notify(1, ~0u);
  subject.attach(cb(a), 1u);  // ORed in: a is now the first observer
  subject.attach(cb(b), 2u);  // re-attaching does not move b
  subject.attach(IntSubject::Callback(a, &Recorder::onOther), 1u);
  subject.attach(IntSubject::Callback(&freeObserver), 1u);
  subject.notify(2, 1u);
  subject.detach(cb(b), 3u);
  subject.attach(cb(b), 1u);  // removed before: goes to the back
  subject.detach(IntSubject::Callback(&freeObserver), 1u);
  subject.notify(3, 1u);
  EXPECT_EQ(log, (Log{"b:1:4294967295", "c:1:4294967295", "a:2:1", "b:2:1",
                      "a-other:2", "free:2", "a:3:1", "a-other:3", "b:3:1"}));
}

TEST_F(SubjectObservers, CopiesHaveIndependentObserverLists) {
  subject.attach(cb(a), 1u);
  IntSubject copy(subject);
  copy.attach(cb(b), 1u);
  subject.notify(1, 1u);
  copy.notify(2, 1u);
  EXPECT_EQ(a.lastSubject, &copy);
  subject = copy;
  subject.notify(3, 1u);
  EXPECT_EQ(log, (Log{"a:1:1", "a:2:1", "b:2:1", "a:3:1", "b:3:1"}));
}

}  // namespace
}  // namespace QUAX
