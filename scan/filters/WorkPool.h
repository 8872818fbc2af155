// SPDX-License-Identifier: MIT
// The work buffers of a filter, leased per call so that threads sharing a
// const filter never share a buffer. Installed because the thinning filters
// hold one as a member; hosts have no need to use it themselves.
#ifndef QUAX_SCAN_FILTERS_WORKPOOL_H_
#define QUAX_SCAN_FILTERS_WORKPOOL_H_

#include <atomic>
#include <cstddef>

namespace QUAX {

// Keeps up to kSlots buffers of finished calls for the next ones, so that
// filtering allocates nothing once they have grown. A call takes one with an
// atomic exchange and puts it back when it ends: no lock, and no
// thread_local (whose clean-up would hang the unloading of the Windows DLL).
// More calls at once than slots make the extra buffers, and drop them after.
// Copies start empty: buffers are no part of a filter's settings.
template <class Buffers, int kSlots = 8>
class WorkPool {
 public:
  WorkPool() = default;
  WorkPool(const WorkPool&) : WorkPool() {}
  WorkPool& operator=(const WorkPool&) { return *this; }
  ~WorkPool() {
    for (std::atomic<Buffers*>& slot : _slots) delete slot.load();
  }

  // The buffers of one call, given back when the lease ends.
  class Lease {
   public:
    explicit Lease(const WorkPool& pool) : _pool(pool), _buffers(pool.take()) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { _pool.give(_buffers); }
    Buffers& operator*() const noexcept { return *_buffers; }
    Buffers* operator->() const noexcept { return _buffers; }

   private:
    const WorkPool& _pool;
    Buffers* _buffers;
  };

  // Puts a buffer in the pool ahead of use (a constructor's reserve).
  void keep(Buffers* buffers) const { give(buffers); }

 private:
  Buffers* take() const {
    for (std::atomic<Buffers*>& slot : _slots) {
      if (Buffers* kept = slot.exchange(nullptr)) return kept;
    }
    return new Buffers();
  }

  void give(Buffers* buffers) const noexcept {
    for (std::atomic<Buffers*>& slot : _slots) {
      Buffers* empty = nullptr;
      if (slot.compare_exchange_strong(empty, buffers)) return;
    }
    delete buffers;
  }

  mutable std::atomic<Buffers*> _slots[kSlots] = {};
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_WORKPOOL_H_
