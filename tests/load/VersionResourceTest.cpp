// SPDX-License-Identifier: MIT
// The version record of QUAXScan.dll as Windows reads it from the loaded
// file (File Explorer's "Details" page shows the same strings).
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "scan/ScanVersion.h"

namespace QUAX {
namespace {

std::vector<unsigned char> versionRecordOfLoadedScanDll() {
  // Linked, so already loaded by the time the test runs.
  HMODULE scan = GetModuleHandleW(L"QUAXScan.dll");
  if (scan == nullptr) return {};
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(scan, path, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<unsigned char> record(size);
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, record.data())) {
    return {};
  }
  return record;
}

std::wstring stringValue(std::vector<unsigned char>& record,
                         const wchar_t* name) {
  const std::wstring query =
      std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(record.data(), query.c_str(), &value, &length) ||
      length == 0) {
    return L"<missing>";
  }
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(QUAXScanDll, VersionRecordGivesFileAndProductVersion) {
  auto record = versionRecordOfLoadedScanDll();
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(stringValue(record, L"FileVersion"), L"4.0.1(Build 3)");
  EXPECT_EQ(stringValue(record, L"ProductVersion"), L"4.0.1");
  EXPECT_EQ(stringValue(record, L"OriginalFilename"), L"QUAXScan.dll");
}

TEST(QUAXScanDll, FixedVersionCarriesTheBuildNumber) {
  auto record = versionRecordOfLoadedScanDll();
  ASSERT_FALSE(record.empty());
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", &value, &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, (4u << 16) | 0u);
  EXPECT_EQ(fixed->dwFileVersionLS, (1u << 16) | getScanDllBuildNumber());
  EXPECT_EQ(fixed->dwProductVersionMS, (4u << 16) | 0u);
  EXPECT_EQ(fixed->dwProductVersionLS, 1u << 16);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST(QUAXScanDll, FileNameIsExactlyQUAXScanDll) {
  HMODULE scan = GetModuleHandleW(L"QUAXScan.dll");
  ASSERT_NE(scan, nullptr);
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(scan, path, MAX_PATH);
  const std::wstring full(path, n);
  EXPECT_EQ(full.substr(full.find_last_of(L"\\/") + 1), L"QUAXScan.dll");
}

}  // namespace
}  // namespace QUAX
