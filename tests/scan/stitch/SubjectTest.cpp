// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scan/stitch/Subject.h"

namespace QUAX {
namespace {

using IntSubject = Subject<int, unsigned>;
using Log = std::vector<std::string>;
Log gLog;

// Records every call as "<name>:<value>:<event>".
struct Recorder {
  std::string name;
  IntSubject* lastSubject = nullptr;
  void onNotify(IntSubject* subject, int value, unsigned event) {
    lastSubject = subject;
    gLog.push_back(name + ":" + std::to_string(value) + ":" +
                   std::to_string(event));
  }
  void onOther(IntSubject*, int value, unsigned) {
    gLog.push_back(name + "-other:" + std::to_string(value));
  }
  IntSubject::Callback cb() { return {*this, &Recorder::onNotify}; }
};

void freeObserver(IntSubject*, int value, unsigned) {
  gLog.push_back("free:" + std::to_string(value));
}

TEST(Subject, MasksMergeDetachClearsBitsAndOrderIsFirstAttachment) {
  gLog.clear();
  Recorder a{"a"}, b{"b"}, c{"c"};
  IntSubject subject;
  subject.notify(50, ~0u);  // no observers yet
  subject.attach(a.cb(), 1u);
  subject.attach(a.cb(), 4u);
  subject.notify(9, 5u);
  subject.notify(10, 2u);  // no bit in common
  subject.detach(a.cb(), 1u);
  subject.notify(1, 1u);
  // Unknown callbacks and bits the entry lacks change nothing.
  subject.detach(b.cb(), 4u);
  subject.detach(IntSubject::Callback(a, &Recorder::onOther), 4u);
  subject.detach(a.cb(), 2u);
  subject.notify(3, 4u);
  subject.detach(a.cb(), 4u);  // no bits left: removed
  subject.notify(4, ~0u);
  EXPECT_EQ(a.lastSubject, &subject);
  EXPECT_EQ(gLog, (Log{"a:9:5", "a:3:4"}));

  gLog.clear();
  subject.attach(b.cb(), 0u);  // kept in place with no bits
  subject.attach(c.cb(), 2u);
  subject.attach(a.cb(), 2u);
  subject.notify(1, ~0u);
  subject.notify(2, 0u);       // event 0 reaches no one
  subject.attach(b.cb(), 1u);  // ORed in: b is first
  subject.attach(c.cb(), 1u);  // re-attaching does not move c
  subject.attach(IntSubject::Callback(a, &Recorder::onOther), 1u);
  subject.attach(IntSubject::Callback(&freeObserver), 1u);
  subject.notify(3, 1u);
  subject.detach(c.cb(), 3u);
  subject.attach(c.cb(), 1u);  // removed before: goes to the back
  subject.detach(IntSubject::Callback(&freeObserver), 1u);
  subject.notify(4, 1u);
  EXPECT_EQ(gLog, (Log{"c:1:4294967295", "a:1:4294967295", "b:3:1", "c:3:1",
                       "a-other:3", "free:3", "b:4:1", "a-other:4", "c:4:1"}));

  // Copies have observer lists of their own.
  gLog.clear();
  IntSubject copy(subject);
  copy.detach(c.cb(), 1u);
  subject.notify(5, 1u);
  copy.notify(6, 1u);
  EXPECT_EQ(b.lastSubject, &copy);
  subject = copy;
  subject.notify(7, 1u);
  EXPECT_EQ(gLog, (Log{"b:5:1", "a-other:5", "c:5:1", "b:6:1", "a-other:6",
                       "b:7:1", "a-other:7"}));
}

// Observers that change the subject's list from inside their callbacks.
// Logs its name, then runs its action, if any.
struct Meddler {
  std::string* log;
  char name;
  std::function<void()> action;
  void onNotify(IntSubject*, int, unsigned) {
    *log += name;
    if (action) action();
  }
  IntSubject::Callback callback() { return {*this, &Meddler::onNotify}; }
};

TEST(SubjectReentry, CallbacksMayAttachAndDetachDuringANotification) {
  IntSubject subject;
  std::string log;
  Meddler a{&log, 'a', {}}, b{&log, 'b', {}}, c{&log, 'c', {}},
      d{&log, 'd', {}}, e{&log, 'e', {}};
  // a detaches itself; b detaches c (not reached yet) and attaches d; d,
  // attached during the walk, is not called by it.
  a.action = [&] { subject.detach(a.callback(), ~0u); };
  b.action = [&] {
    subject.detach(c.callback(), ~0u);
    subject.attach(d.callback(), ~0u);
  };
  for (Meddler* m : {&a, &b, &c, &e}) subject.attach(m->callback(), ~0u);
  subject.notify(1, 1u);
  EXPECT_EQ(log, "abe");
  // Later notifications see the list as the callbacks left it. e detaches
  // b, which the walk has passed, and b re-attaches c, which comes last.
  b.action = [&] { subject.attach(c.callback(), ~0u); };
  e.action = [&] { subject.detach(b.callback(), ~0u); };
  subject.notify(2, 1u);
  EXPECT_EQ(log, "abebed");
  // c notifies again from inside (a nested walk).
  log.clear();
  e.action = nullptr;
  c.action = [&] {
    if (log.size() < 4) subject.notify(3, 1u);
  };
  subject.notify(3, 1u);
  EXPECT_EQ(log, "edcedc");
}

}  // namespace
}  // namespace QUAX
