// SPDX-License-Identifier: MIT
// Observers that change the subject's list from inside their callbacks.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "scan/stitch/Subject.h"

namespace QUAX {
namespace {

using IntSubject = Subject<int, unsigned>;

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
