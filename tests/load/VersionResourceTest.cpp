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

TEST(QUAXScanDll, VersionRecordGivesFileNameFileAndProductVersion) {
  // Linked, so already loaded by the time the test runs.
  HMODULE scan = GetModuleHandleW(L"QUAXScan.dll");
  ASSERT_NE(scan, nullptr);
  wchar_t path[MAX_PATH] = {};
  const std::wstring full(path, GetModuleFileNameW(scan, path, MAX_PATH));
  EXPECT_EQ(full.substr(full.find_last_of(L"\\/") + 1), L"QUAXScan.dll");
  DWORD ignored = 0;
  std::vector<unsigned char> record(GetFileVersionInfoSizeW(path, &ignored));
  ASSERT_FALSE(record.empty());
  ASSERT_TRUE(
      GetFileVersionInfoW(path, 0, DWORD(record.size()), record.data()));
  const auto value = [&](const std::wstring& query, UINT& length) {
    void* found = nullptr;
    length = 0;
    return VerQueryValueW(record.data(), query.c_str(), &found, &length)
               ? found
               : nullptr;
  };
  UINT length = 0;
  for (const auto& [name, expected] :
       {std::pair<const wchar_t*, const wchar_t*>{L"FileVersion",
                                                  L"4.0.1(Build 3)"},
        {L"ProductVersion", L"4.0.1"},
        {L"OriginalFilename", L"QUAXScan.dll"}}) {
    const void* text =
        value(std::wstring(L"\\StringFileInfo\\040904b0\\") + name, length);
    ASSERT_NE(text, nullptr) << name;
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(text)), expected);
  }
  const auto* fixed =
      static_cast<const VS_FIXEDFILEINFO*>(value(L"\\", length));
  ASSERT_NE(fixed, nullptr);
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 4u << 16);
  EXPECT_EQ(fixed->dwFileVersionLS, (1u << 16) | getScanDllBuildNumber());
  EXPECT_EQ(fixed->dwProductVersionMS, 4u << 16);
  EXPECT_EQ(fixed->dwProductVersionLS, 1u << 16);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
}  // namespace QUAX
