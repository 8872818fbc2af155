// SPDX-License-Identifier: MIT
// QUAX utility library: the root of every coded exception of the QUAX family.
#ifndef QUAX_UTIL_VXEXCEPTION_H_
#define QUAX_UTIL_VXEXCEPTION_H_

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "util/QUAXUtilExport.h"

namespace QUAX {

// Root of all coded exceptions. A concrete exception class builds its state
// level by level: each group level calls _insertClass, each level with a code
// calls _processException, so the class chain lists the hierarchy from the
// root down and the code is the one of the most derived coded level.
//
// Exceptions are thrown by value and caught by reference; copies carry the
// same code, chain and description.
class QUAX_UTIL_API EVXException : public std::exception {
 public:
  EVXException();
  EVXException(const EVXException&);
  EVXException& operator=(const EVXException&);
  ~EVXException() override;

  // Code of the most derived level that has one; 0 for a bare group.
  std::int32_t getCode() const noexcept { return _code; }
  // Class names, root first, as the levels registered themselves.
  const std::vector<std::string>& getClassChain() const noexcept {
    return _classChain;
  }
  // Wide text added by the thrower (empty when none was added).
  const std::wstring& getDescription() const noexcept { return _description; }

  // "<most derived class> [<code>]: <description>", in UTF-8.
  const char* what() const noexcept override;

 protected:
  // Records the dynamic class of `self` (the level under construction).
  void _insertClass(EVXException& self);
  // Records the level's class and makes `code` the exception's code.
  void _processException(EVXException& self, int code);
  // Appends caller text to the description.
  void _addDescriptionSpecific(std::wstring text);

 private:
  void rebuildWhat();

  std::int32_t _code = 0;
  std::vector<std::string> _classChain;
  std::wstring _description;
  std::string _what;
};

// Base of the I/O family: malformed input read from a stream.
class QUAX_UTIL_API EVXIOException : public EVXException {
 public:
  EVXIOException();
};

// A closing element that is not where it must be.
class QUAX_UTIL_API EVXIOBadFooter : public EVXIOException {
 public:
  EVXIOBadFooter();
};

// An attribute that could not be read as written.
class QUAX_UTIL_API EVXIOAttributeNotRead : public EVXIOException {
 public:
  EVXIOAttributeNotRead();
};

// Group of the library-version errors.
class QUAX_UTIL_API EVXDLLException : public EVXException {
 protected:
  EVXDLLException();
};

// A library whose build differs from the one the caller was made against.
// Carries the library's file name and the build number it expects.
class QUAX_UTIL_API EVXDLLWrongVersion : public EVXDLLException {
 public:
  EVXDLLWrongVersion(const wchar_t* fileName, int build);

  const std::wstring& getFileName() const noexcept { return _fileName; }
  int getBuildNumber() const noexcept { return _build; }

 private:
  std::wstring _fileName;
  int _build;
};

// Group of the extension-item lookup errors.
class QUAX_UTIL_API EExtensionException : public EVXException {
 protected:
  EExtensionException();
};

// No item is filed under the key (or index) that was asked for.
class QUAX_UTIL_API EExtensionNotPresent : public EExtensionException {
 public:
  EExtensionNotPresent();
};

// The extension interface has no item store behind it.
class QUAX_UTIL_API EExtensionNoImplementation : public EExtensionException {
 public:
  EExtensionNoImplementation();
};

// Codes of the utility library's own exceptions.
enum UtilErrorCode : std::int32_t {
  kUtilIOBadFooter = 10201,
  kUtilIOAttributeNotRead = 10202,
  kUtilDLLWrongVersion = 10301,
  kUtilExtensionNotPresent = 10401,
  kUtilExtensionNoImplementation = 10402,
};

}  // namespace QUAX

#endif  // QUAX_UTIL_VXEXCEPTION_H_
