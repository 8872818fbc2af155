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
// overlap, and a callback must not attach or detach on the subject that is
// notifying it. Callbacks run synchronously on the notifying thread.
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
  // with (this, value, event).
  virtual void notify(Value value, Event event);

 private:
  struct Observer {
    Callback callback;
    Event mask;
  };

  std::list<Observer> _observers;
};

QUAX_SCAN_EXTERN_TEMPLATE(class Subject<int, unsigned>)

}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_SUBJECT_H_
