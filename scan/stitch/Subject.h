// SPDX-License-Identifier: MIT
// Observer registry that reports progress values to host callbacks.
//
// Observers register a three-argument callback (the subject, the value, the
// event) with an event mask; notify(value, event) calls, in the order of their
// first attachment, every observer whose mask shares a bit with the event.
//
//   struct Bar { void onProgress(Subject<int, unsigned>*, int percent,
//   unsigned); }; tool.attach(Subject<int, unsigned>::Callback(bar,
//   &Bar::onProgress), 0xFFFFFFFFu);
//
// Thread safety: none. attach, detach and notify on one subject must not
// overlap in time on different threads. Callbacks run synchronously on the
// notifying thread.
//
// Changing the observers from inside a callback is safe: a callback may
// attach, detach (itself or any other observer), assign the subject or
// notify again. A notification walks the observers that were attached when
// it began, each with the mask it has when the walk reaches it:
// - an observer attached during the notification is not called by it (the
//   next notification calls it);
// - an observer detached during it (its mask cleared to nothing) is not
//   called by it if the walk has not reached it yet; clearing only some of
//   its bits keeps it, and it is called when its remaining bits match;
// - a mask ORed into an observer not yet reached takes effect at once.
// The subject itself must outlive the notification: a callback must not
// destroy the subject that is notifying it.
#ifndef QUAX_SCAN_STITCH_SUBJECT_H_
#define QUAX_SCAN_STITCH_SUBJECT_H_

#include <list>

#include "scan/QUAXScanExport.h"
#include "scan/ScanTemplates.h"
#include "util/Callback.h"

namespace QUAX {

// Built for Subject<int, unsigned> only.
template <class Value, class Event>
class QUAX_SCAN_API Subject {
 public:
  using Callback = CBFunctor3<Subject*, Value, Event>;

  Subject();
  Subject(const Subject& other);
  Subject& operator=(const Subject& other);
  // Releases the observer entries; never touches the observers' objects.
  virtual ~Subject();

  // ORs `mask` into the entry of an equal callback (see CBFunctorBase's
  // operator==), or appends a copy of `callback` with `mask` at the end. An
  // entry attached with mask 0 is kept but never called.
  virtual void attach(const Callback& callback, Event mask);
  // Clears `mask` from the first entry of an equal callback; an entry left
  // without bits is removed. Unknown callbacks are ignored.
  virtual void detach(const Callback& callback, Event mask);
  // Calls, front to back, every entry whose mask shares a bit with `event`
  // with (this, value, event). Allocates nothing.
  virtual void notify(Value value, Event event);

 private:
  struct Observer {
    Callback callback;
    Event mask;
    // Detached while a notification walked the list: kept in place, so that
    // the walk's position stays valid, until the outermost walk ends.
    bool removed = false;
  };
  class Walk;

  // The entry of an equal callback that is still attached, or end().
  typename std::list<Observer>::iterator find(const Callback& callback);
  // Removes every entry of `callback`, or marks them while a walk runs.
  void remove(const Callback& callback);
  // Erases the marked entries once no walk runs.
  void sweep() noexcept;

  std::list<Observer> _observers;
  // Notifications under way on this subject (more than one when a callback
  // notifies again).
  unsigned _walks = 0;
  // Some entries are marked and wait for the sweep.
  bool _marked = false;
};

QUAX_SCAN_EXTERN_TEMPLATE(class Subject<int, unsigned>)

}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_SUBJECT_H_
