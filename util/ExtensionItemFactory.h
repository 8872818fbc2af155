// SPDX-License-Identifier: MIT
// The process-wide factory that recreates extension items from their keys.
#ifndef QUAX_UTIL_EXTENSIONITEMFACTORY_H_
#define QUAX_UTIL_EXTENSIONITEMFACTORY_H_

#include <mutex>
#include <utility>
#include <vector>

#include "util/Callback.h"
#include "util/Extension.h"
#include "util/Guid.h"
#include "util/QUAXUtilExport.h"

namespace QUAX {

// Thread safety: registration and creation may be called from any thread.
class QUAX_UTIL_API ExtensionItemFactory {
 public:
  using Creator = CBFunctor0wRet<ExtensionItem*>;

  static ExtensionItemFactory& getInstance();

  // Files `create` under `key`. Registering a key again replaces its creator.
  void registerExtension(const _GUID& key, Creator create);
  bool isRegistered(const _GUID& key) const;
  // A new default item for `key`, owned by the caller. Throws
  // EExtensionNotPresent when nothing is registered under `key`.
  ExtensionItem* createExtension(const _GUID& key) const;

  ExtensionItemFactory(const ExtensionItemFactory&) = delete;
  ExtensionItemFactory& operator=(const ExtensionItemFactory&) = delete;

 private:
  ExtensionItemFactory();
  ~ExtensionItemFactory();

  mutable std::mutex _mutex;
  std::vector<std::pair<_GUID, Creator>> _creators;
};

}  // namespace QUAX

#endif  // QUAX_UTIL_EXTENSIONITEMFACTORY_H_
