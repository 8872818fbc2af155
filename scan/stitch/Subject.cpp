// SPDX-License-Identifier: MIT
#include "scan/stitch/Subject.h"

#include <iterator>

namespace QUAX {

// Counts a notification under way; the last one to end sweeps the entries
// detached meanwhile, also when a callback throws.
template <class Value, class Event>
class Subject<Value, Event>::Walk {
 public:
  explicit Walk(Subject& subject) noexcept : _subject(subject) {
    ++_subject._walks;
  }
  ~Walk() {
    if (--_subject._walks == 0) _subject.sweep();
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

 private:
  Subject& _subject;
};

template <class Value, class Event>
Subject<Value, Event>::Subject() = default;

// A copy holds the attached entries only, and no walk of its own.
template <class Value, class Event>
Subject<Value, Event>::Subject(const Subject& other) {
  for (const Observer& observer : other._observers) {
    if (!observer.removed) _observers.push_back(observer);
  }
}

template <class Value, class Event>
Subject<Value, Event>& Subject<Value, Event>::operator=(const Subject& other) {
  if (this == &other) return *this;
  std::list<Observer> copied;
  for (const Observer& observer : other._observers) {
    if (!observer.removed) copied.push_back(observer);
  }
  if (_walks == 0) {
    _observers.swap(copied);
    return *this;
  }
  // Assigned from inside a callback: the walk under way keeps its place in
  // the old entries, which are marked and swept when it ends; the new ones
  // come after them, as entries attached during a walk do.
  for (Observer& observer : _observers) observer.removed = true;
  _marked = true;
  _observers.splice(_observers.end(), copied);
  return *this;
}

template <class Value, class Event>
Subject<Value, Event>::~Subject() = default;

template <class Value, class Event>
typename std::list<typename Subject<Value, Event>::Observer>::iterator
Subject<Value, Event>::find(const Callback& callback) {
  for (auto it = _observers.begin(); it != _observers.end(); ++it) {
    if (!it->removed && it->callback == callback) return it;
  }
  return _observers.end();
}

template <class Value, class Event>
void Subject<Value, Event>::attach(const Callback& callback, Event mask) {
  const auto it = find(callback);
  if (it != _observers.end()) {
    it->mask |= mask;
    return;
  }
  _observers.push_back(Observer{callback, mask});
}

template <class Value, class Event>
void Subject<Value, Event>::detach(const Callback& callback, Event mask) {
  const auto it = find(callback);
  if (it == _observers.end()) return;
  it->mask &= ~mask;
  if (it->mask != 0) return;
  // attach never makes two equal entries, but a list that somehow holds
  // them loses all of them together. A copy: `callback` may be the entry's.
  remove(Callback(it->callback));
}

template <class Value, class Event>
void Subject<Value, Event>::remove(const Callback& callback) {
  if (_walks == 0) {
    _observers.remove_if(
        [&callback](const Observer& o) { return o.callback == callback; });
    return;
  }
  for (Observer& observer : _observers) {
    if (observer.callback == callback) {
      observer.removed = true;
      _marked = true;
    }
  }
}

template <class Value, class Event>
void Subject<Value, Event>::sweep() noexcept {
  if (!_marked) return;
  _observers.remove_if([](const Observer& o) { return o.removed; });
  _marked = false;
}

template <class Value, class Event>
void Subject<Value, Event>::notify(Value value, Event event) {
  if (_observers.empty()) return;
  Walk walk(*this);
  // The walk ends with the entry that was last when it began: entries
  // appended by callbacks come after it. Entries are only marked, never
  // erased, while a walk runs, so both iterators stay valid.
  const auto last = std::prev(_observers.end());
  for (auto it = _observers.begin();; ++it) {
    if (!it->removed && (it->mask & event) != 0) {
      it->callback(this, value, event);
    }
    if (it == last) break;
  }
}

template class Subject<int, unsigned>;

}  // namespace QUAX
