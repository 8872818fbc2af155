// SPDX-License-Identifier: MIT
#include "scan/stitch/Subject.h"

namespace QUAX {

template <class Value, class Event>
Subject<Value, Event>::Subject() = default;

template <class Value, class Event>
Subject<Value, Event>::Subject(const Subject& other) = default;

template <class Value, class Event>
Subject<Value, Event>& Subject<Value, Event>::operator=(const Subject& other) =
    default;

template <class Value, class Event>
Subject<Value, Event>::~Subject() = default;

template <class Value, class Event>
void Subject<Value, Event>::attach(const Callback& callback, Event mask) {
  for (Observer& observer : _observers) {
    if (observer.callback == callback) {
      observer.mask |= mask;
      return;
    }
  }
  _observers.push_back(Observer{callback, mask});
}

template <class Value, class Event>
void Subject<Value, Event>::detach(const Callback& callback, Event mask) {
  for (auto it = _observers.begin(); it != _observers.end(); ++it) {
    if (!(it->callback == callback)) continue;
    it->mask &= ~mask;
    if (it->mask != 0) return;
    // attach never makes two equal entries, but a list that somehow holds
    // them loses all of them together.
    const Callback removed = it->callback;
    _observers.remove_if(
        [&removed](const Observer& o) { return o.callback == removed; });
    return;
  }
}

template <class Value, class Event>
void Subject<Value, Event>::notify(Value value, Event event) {
  for (const Observer& observer : _observers) {
    if ((observer.mask & event) != 0) observer.callback(this, value, event);
  }
}

template class Subject<int, unsigned>;

}  // namespace QUAX
