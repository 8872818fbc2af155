// SPDX-License-Identifier: MIT
#include "util/VXException.h"

#include <typeinfo>
#include <utility>

#include "util/TypeName.h"
#include "util/WideText.h"

namespace QUAX {

EVXException::EVXException() = default;
EVXException::EVXException(const EVXException&) = default;
EVXException& EVXException::operator=(const EVXException&) = default;
EVXException::~EVXException() = default;

const char* EVXException::what() const noexcept {
  return _what.empty() ? "QUAX::EVXException" : _what.c_str();
}

void EVXException::_insertClass(EVXException& self) {
  // During construction the dynamic type is the level being built, so the
  // chain grows root first.
  _classChain.push_back(demangledTypeName(typeid(self)));
  rebuildWhat();
}

void EVXException::_processException(EVXException& self, int code) {
  _classChain.push_back(demangledTypeName(typeid(self)));
  _code = code;
  rebuildWhat();
}

void EVXException::_addDescriptionSpecific(std::wstring text) {
  _description += text;
  rebuildWhat();
}

void EVXException::rebuildWhat() {
  _what = _classChain.empty() ? std::string("QUAX::EVXException")
                              : _classChain.back();
  if (_code != 0) _what += " [" + std::to_string(_code) + "]";
  if (!_description.empty()) _what += ": " + toUtf8(_description);
}

EVXIOException::EVXIOException() { _insertClass(*this); }

EVXIOBadFooter::EVXIOBadFooter() { _processException(*this, kUtilIOBadFooter); }

EVXIOAttributeNotRead::EVXIOAttributeNotRead() {
  _processException(*this, kUtilIOAttributeNotRead);
}

EVXDLLException::EVXDLLException() { _insertClass(*this); }

EVXDLLWrongVersion::EVXDLLWrongVersion(const wchar_t* fileName, int build)
    : _fileName(fileName ? fileName : L""), _build(build) {
  _addDescriptionSpecific(_fileName + L" expects build " +
                          std::to_wstring(build));
  _processException(*this, kUtilDLLWrongVersion);
}

EExtensionException::EExtensionException() { _insertClass(*this); }

EExtensionNotPresent::EExtensionNotPresent() {
  _processException(*this, kUtilExtensionNotPresent);
}

EExtensionNoImplementation::EExtensionNoImplementation() {
  _processException(*this, kUtilExtensionNoImplementation);
}

}  // namespace QUAX
