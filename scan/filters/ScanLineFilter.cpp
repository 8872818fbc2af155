// SPDX-License-Identifier: MIT
#include "scan/filters/ScanLineFilter.h"

namespace QUAX {

ScanLineFilter::ScanLineFilter(const std::wstring& key) : _key(key) {}
ScanLineFilter::ScanLineFilter(const ScanLineFilter& other) = default;
ScanLineFilter& ScanLineFilter::operator=(const ScanLineFilter& other) =
    default;
ScanLineFilter::~ScanLineFilter() = default;

const std::wstring& ScanLineFilter::getKey() const noexcept { return _key; }

}  // namespace QUAX
