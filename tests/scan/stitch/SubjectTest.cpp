// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/stitch/Subject.h"

namespace QUAX {
namespace {

using IntSubject = Subject<int, unsigned>;

// Records every call as "<name>:<value>:<event>".
struct Recorder {
  std::vector<std::string>* log;
  std::string name;
  IntSubject* lastSubject = nullptr;
  void onNotify(IntSubject* subject, int value, unsigned event) {
    lastSubject = subject;
    log->push_back(name + ":" + std::to_string(value) + ":" +
                   std::to_string(event));
  }
  void onOther(IntSubject*, int value, unsigned) {
    log->push_back(name + "-other:" + std::to_string(value));
  }
  IntSubject::Callback callback() {
    return IntSubject::Callback(*this, &Recorder::onNotify);
  }
};

std::vector<std::string>* gFreeLog = nullptr;
void freeObserver(IntSubject*, int value, unsigned) {
  gFreeLog->push_back("free:" + std::to_string(value));
}

using Log = std::vector<std::string>;

class SubjectObservers : public ::testing::Test {
 protected:
  Log log;
  Recorder a{&log, "a"};
  Recorder b{&log, "b"};
  Recorder c{&log, "c"};
  IntSubject subject;
};

TEST_F(SubjectObservers, NotifyPassesSubjectValueAndEvent) {
  subject.notify(50, 0xFFFFFFFFu);  // no observers yet: nothing happens
  subject.attach(a.callback(), 0xFFFFFFFFu);
  subject.notify(42, 8u);
  EXPECT_EQ(log, (Log{"a:42:8"}));
  EXPECT_EQ(a.lastSubject, &subject);
}

TEST_F(SubjectObservers, AttachingTheSameCallbackTwiceMergesTheMasks) {
  subject.attach(a.callback(), 1u);
  subject.attach(a.callback(), 4u);
  subject.notify(7, 4u);
  subject.notify(8, 1u);
  subject.notify(9, 5u);
  subject.notify(10, 2u);
  EXPECT_EQ(log, (Log{"a:7:4", "a:8:1", "a:9:5"}));
}

TEST_F(SubjectObservers, DetachClearsBitsAndRemovesTheEntryWhenNoneRemain) {
  subject.attach(a.callback(), 1u);
  subject.attach(a.callback(), 4u);
  subject.detach(a.callback(), 1u);
  subject.notify(1, 1u);
  subject.notify(2, 4u);
  EXPECT_EQ(log, (Log{"a:2:4"}));

  subject.detach(a.callback(), 4u);
  subject.notify(3, 0xFFFFFFFFu);
  EXPECT_EQ(log.size(), 1u);

  // Removed, not just silenced: a new attachment goes to the back.
  subject.attach(b.callback(), 1u);
  subject.attach(a.callback(), 1u);
  subject.notify(4, 1u);
  EXPECT_EQ(log, (Log{"a:2:4", "b:4:1", "a:4:1"}));
}

TEST_F(SubjectObservers, DetachOfAnUnknownCallbackOrMissingBitsChangesNothing) {
  subject.attach(a.callback(), 3u);
  subject.detach(b.callback(), 3u);
  subject.detach(IntSubject::Callback(a, &Recorder::onOther), 3u);
  subject.notify(5, 2u);
  EXPECT_EQ(log, (Log{"a:5:2"}));

  subject.detach(a.callback(), 1u);
  subject.detach(a.callback(), 4u);  // bits the entry does not have
  subject.notify(6, 2u);
  EXPECT_EQ(log, (Log{"a:5:2", "a:6:2"}));
}

TEST_F(SubjectObservers, ObserversAreCalledInTheOrderOfFirstAttachment) {
  subject.attach(a.callback(), 1u);
  subject.attach(b.callback(), 1u);
  subject.attach(c.callback(), 1u);
  subject.attach(a.callback(), 2u);  // re-attaching does not move a
  subject.notify(1, 1u);
  EXPECT_EQ(log, (Log{"a:1:1", "b:1:1", "c:1:1"}));
}

TEST_F(SubjectObservers, ObserversWhoseMaskMissesTheEventArePassedOver) {
  subject.attach(a.callback(), 1u);
  subject.attach(b.callback(), 2u);
  subject.notify(1, 2u);
  subject.notify(2, 0u);  // event 0 reaches no one
  EXPECT_EQ(log, (Log{"b:1:2"}));
}

TEST_F(SubjectObservers, AnEntryAttachedWithMaskZeroKeepsItsPlace) {
  subject.attach(a.callback(), 0u);
  subject.attach(b.callback(), 1u);
  subject.notify(1, 0xFFFFFFFFu);
  EXPECT_EQ(log, (Log{"b:1:4294967295"}));

  // The mask-0 entry exists: bits ORed in later make it the first observer.
  subject.attach(a.callback(), 1u);
  subject.notify(2, 1u);
  EXPECT_EQ(log, (Log{"b:1:4294967295", "a:2:1", "b:2:1"}));
}

TEST_F(SubjectObservers, SameObjectWithAnotherFunctionIsAnotherObserver) {
  subject.attach(a.callback(), 1u);
  subject.attach(IntSubject::Callback(a, &Recorder::onOther), 1u);
  subject.notify(3, 1u);
  EXPECT_EQ(log, (Log{"a:3:1", "a-other:3"}));
}

TEST_F(SubjectObservers, FreeFunctionsCanObserve) {
  gFreeLog = &log;
  subject.attach(IntSubject::Callback(&freeObserver), 1u);
  subject.attach(IntSubject::Callback(&freeObserver), 2u);
  subject.notify(11, 2u);
  subject.detach(IntSubject::Callback(&freeObserver), 3u);
  subject.notify(12, 3u);
  EXPECT_EQ(log, (Log{"free:11"}));
  gFreeLog = nullptr;
}

TEST_F(SubjectObservers, CopiesHaveIndependentObserverLists) {
  subject.attach(a.callback(), 1u);
  IntSubject copy(subject);
  copy.attach(b.callback(), 1u);
  subject.notify(1, 1u);
  copy.notify(2, 1u);
  EXPECT_EQ(log, (Log{"a:1:1", "a:2:1", "b:2:1"}));
  EXPECT_EQ(a.lastSubject, &copy);

  subject = copy;
  log.clear();
  subject.notify(3, 1u);
  EXPECT_EQ(log, (Log{"a:3:1", "b:3:1"}));
}

}  // namespace
}  // namespace QUAX
