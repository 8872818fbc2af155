// SPDX-License-Identifier: MIT
// Observers that change the subject's list from inside their callbacks.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scan/stitch/Subject.h"

namespace QUAX {
namespace {

using IntSubject = Subject<int, unsigned>;
using Log = std::vector<std::string>;

// Logs its name, then runs its action, if any.
struct Meddler {
  Log* log;
  std::string name;
  std::function<void()> action;
  void onNotify(IntSubject*, int, unsigned) {
    log->push_back(name);
    if (action) action();
  }
  IntSubject::Callback callback() {
    return IntSubject::Callback(*this, &Meddler::onNotify);
  }
};

TEST(SubjectReentry, CallbacksMayAttachAndDetachDuringANotification) {
  IntSubject subject;
  Log log;
  Meddler a{&log, "a", {}}, b{&log, "b", {}}, c{&log, "c", {}},
      d{&log, "d", {}}, e{&log, "e", {}};
  // a detaches itself; b detaches c (not reached yet) and attaches d; d,
  // attached during the walk, is not called by it. c notifies again from
  // inside (nested walk) once it is back.
  a.action = [&] { subject.detach(a.callback(), ~0u); };
  b.action = [&] {
    subject.detach(c.callback(), ~0u);
    subject.attach(d.callback(), ~0u);
  };
  for (Meddler* m : {&a, &b, &c, &e}) subject.attach(m->callback(), ~0u);
  subject.notify(1, 1u);
  EXPECT_EQ(log, (Log{"a", "b", "e"}));

  // Later notifications see the list as the callbacks left it. e detaches
  // b, which the walk has passed, and b re-attaches c, which comes last.
  log.clear();
  b.action = [&] { subject.attach(c.callback(), ~0u); };
  e.action = [&] { subject.detach(b.callback(), ~0u); };
  subject.notify(2, 1u);
  EXPECT_EQ(log, (Log{"b", "e", "d"}));
  log.clear();
  e.action = nullptr;
  c.action = [&] {
    if (log.size() < 4) subject.notify(3, 1u);
  };
  subject.notify(3, 1u);
  EXPECT_EQ(log, (Log{"e", "d", "c", "e", "d", "c"}));
}

}  // namespace
}  // namespace QUAX
