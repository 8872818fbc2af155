// SPDX-License-Identifier: MIT
#include "util/ExtensionItemFactory.h"

#include "util/VXException.h"

namespace QUAX {

ExtensionItemFactory::ExtensionItemFactory() = default;
ExtensionItemFactory::~ExtensionItemFactory() = default;

ExtensionItemFactory& ExtensionItemFactory::getInstance() {
  static ExtensionItemFactory instance;
  return instance;
}

void ExtensionItemFactory::registerExtension(const _GUID& key, Creator create) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& entry : _creators) {
    if (guidEquals(entry.first, key)) {
      entry.second = create;
      return;
    }
  }
  _creators.emplace_back(key, create);
}

bool ExtensionItemFactory::isRegistered(const _GUID& key) const {
  std::lock_guard<std::mutex> lock(_mutex);
  for (const auto& entry : _creators) {
    if (guidEquals(entry.first, key)) return true;
  }
  return false;
}

ExtensionItem* ExtensionItemFactory::createExtension(const _GUID& key) const {
  Creator create;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    for (const auto& entry : _creators) {
      if (guidEquals(entry.first, key)) create = entry.second;
    }
  }
  // The creator runs outside the lock: it may itself use the factory.
  if (!create) throw EExtensionNotPresent();
  return create();
}

}  // namespace QUAX
