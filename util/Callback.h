// SPDX-License-Identifier: MIT
// Callback objects: a copyable binding of an object and a member function (or
// of a free function) that can be called later and compared for identity.
//
//   CBFunctor1<Visit&> onPoint(tool, &Tool::visitPoint);
//   onPoint(visit);                  // calls tool.visitPoint(visit)
//   onPoint == CBFunctor1<Visit&>(tool, &Tool::visitPoint)   // true
//
// The binding is kept by value (object address, function bytes, a typed
// trampoline and the name of its call shape), so calling costs one indirect
// call and no allocation.
//
// Equality holds across modules: two callbacks made in different shared
// libraries or DLLs for the same object and the same function compare equal,
// although each module has its own trampoline. It compares the object, the
// function and the call shape (the functor's arguments, the object's class
// and the function's type, by their run-time type name), never the
// trampoline's address. The function must itself have one address in the
// process: a virtual member function, or a function defined once and
// exported; an inline function that each module keeps a hidden copy of has
// one address per module, and its callbacks compare equal only within one.
#ifndef QUAX_UTIL_CALLBACK_H_
#define QUAX_UTIL_CALLBACK_H_

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <typeinfo>

#include "util/QUAXUtilExport.h"

namespace QUAX {

class QUAX_UTIL_API CBFunctorBase {
 public:
  // Large enough for a member-function pointer of any class on the supported
  // compilers (two words under the Itanium and MinGW ABIs).
  static constexpr std::size_t kMaxFunctionSize = 4 * sizeof(void*);

  CBFunctorBase() noexcept = default;

  // True when the functor is bound to something.
  explicit operator bool() const noexcept { return _thunk != nullptr; }

  // Same binding: same object, same function, same call shape; the same
  // answer in every module of the process.
  friend QUAX_UTIL_API bool operator==(const CBFunctorBase& a,
                                       const CBFunctorBase& b) noexcept;
  friend bool operator!=(const CBFunctorBase& a,
                         const CBFunctorBase& b) noexcept {
    return !(a == b);
  }

 protected:
  using GenericThunk = void (*)();

  // Tags whose run-time type names spell a binding's call shape. Unlike a
  // trampoline's address, a type name is the same text in every module.
  template <class Functor>
  struct FreeShape {};
  template <class Functor, class Callee, class Method>
  struct MemberShape {};

  template <class Shape, class Function>
  void bind(void* callee, const Function& function,
            GenericThunk thunk) noexcept {
    static_assert(sizeof(Function) <= kMaxFunctionSize,
                  "function pointer too large for a callback");
    static_assert(std::is_trivially_copyable<Function>::value,
                  "callbacks bind plain function or member pointers");
    _callee = callee;
    std::memcpy(_function, &function, sizeof(Function));
    _thunk = thunk;
    _shape = typeid(Shape).name();
  }

  template <class Function>
  Function boundFunction() const noexcept {
    Function f;
    std::memcpy(&f, _function, sizeof(Function));
    return f;
  }

  void* _callee = nullptr;
  alignas(std::max_align_t) unsigned char _function[kMaxFunctionSize] = {};
  // Called by this module's operator(); not compared.
  GenericThunk _thunk = nullptr;
  // The name of the call shape's tag; null while unbound.
  const char* _shape = nullptr;
};

// Callback with no argument that returns R. An unbound one returns R().
template <class R>
class CBFunctor0wRet : public CBFunctorBase {
  using Self = CBFunctor0wRet;

 public:
  CBFunctor0wRet() noexcept = default;

  explicit CBFunctor0wRet(R (*freeFunction)()) noexcept {
    bind<FreeShape<Self>>(nullptr, freeFunction,
                          reinterpret_cast<GenericThunk>(&freeThunk));
  }
  template <class Callee, class Method>
  CBFunctor0wRet(Callee& callee, Method method) noexcept {
    bind<MemberShape<Self, Callee, Method>>(
        const_cast<void*>(static_cast<const void*>(&callee)), method,
        reinterpret_cast<GenericThunk>(&memberThunk<Callee, Method>));
  }

  R operator()() const {
    if (!_thunk) return R();
    return reinterpret_cast<Thunk>(_thunk)(*this);
  }

 private:
  using Thunk = R (*)(const CBFunctor0wRet&);
  static R freeThunk(const CBFunctor0wRet& self) {
    return self.template boundFunction<R (*)()>()();
  }
  template <class Callee, class Method>
  static R memberThunk(const CBFunctor0wRet& self) {
    return (static_cast<Callee*>(self._callee)
                ->*self.template boundFunction<Method>())();
  }
};

// Callback with one argument and no result. An unbound one does nothing.
template <class P1>
class CBFunctor1 : public CBFunctorBase {
  using Self = CBFunctor1;

 public:
  CBFunctor1() noexcept = default;

  explicit CBFunctor1(void (*freeFunction)(P1)) noexcept {
    bind<FreeShape<Self>>(nullptr, freeFunction,
                          reinterpret_cast<GenericThunk>(&freeThunk));
  }
  template <class Callee, class Method>
  CBFunctor1(Callee& callee, Method method) noexcept {
    bind<MemberShape<Self, Callee, Method>>(
        const_cast<void*>(static_cast<const void*>(&callee)), method,
        reinterpret_cast<GenericThunk>(&memberThunk<Callee, Method>));
  }

  void operator()(P1 p1) const {
    if (_thunk) reinterpret_cast<Thunk>(_thunk)(*this, p1);
  }

 private:
  using Thunk = void (*)(const CBFunctor1&, P1);
  static void freeThunk(const CBFunctor1& self, P1 p1) {
    self.template boundFunction<void (*)(P1)>()(p1);
  }
  template <class Callee, class Method>
  static void memberThunk(const CBFunctor1& self, P1 p1) {
    (static_cast<Callee*>(self._callee)
         ->*self.template boundFunction<Method>())(p1);
  }
};

// Callback with three arguments and no result. An unbound one does nothing.
template <class P1, class P2, class P3>
class CBFunctor3 : public CBFunctorBase {
  using Self = CBFunctor3;

 public:
  CBFunctor3() noexcept = default;

  explicit CBFunctor3(void (*freeFunction)(P1, P2, P3)) noexcept {
    bind<FreeShape<Self>>(nullptr, freeFunction,
                          reinterpret_cast<GenericThunk>(&freeThunk));
  }
  template <class Callee, class Method>
  CBFunctor3(Callee& callee, Method method) noexcept {
    bind<MemberShape<Self, Callee, Method>>(
        const_cast<void*>(static_cast<const void*>(&callee)), method,
        reinterpret_cast<GenericThunk>(&memberThunk<Callee, Method>));
  }

  void operator()(P1 p1, P2 p2, P3 p3) const {
    if (_thunk) reinterpret_cast<Thunk>(_thunk)(*this, p1, p2, p3);
  }

 private:
  using Thunk = void (*)(const CBFunctor3&, P1, P2, P3);
  static void freeThunk(const CBFunctor3& self, P1 p1, P2 p2, P3 p3) {
    self.template boundFunction<void (*)(P1, P2, P3)>()(p1, p2, p3);
  }
  template <class Callee, class Method>
  static void memberThunk(const CBFunctor3& self, P1 p1, P2 p2, P3 p3) {
    (static_cast<Callee*>(self._callee)
         ->*self.template boundFunction<Method>())(p1, p2, p3);
  }
};

}  // namespace QUAX

#endif  // QUAX_UTIL_CALLBACK_H_
