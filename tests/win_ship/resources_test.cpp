// Reads the built varnlet.exe the way Explorer and installers do: the version resource through
// the version library, the manifest and the icon as resources of a data file.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "about/resource_ids.h"
#include "build_config.h"

namespace {

// The exe the build made, or the one VARNLET_SHIP_EXE names (so this 64-bit test can also read
// the 32-bit build's exe, which cannot run here). Paths come with forward slashes; under Wine a
// Unix path is reached through Z:.
std::wstring ExePath() {
  const char* chosen = std::getenv("VARNLET_SHIP_EXE");
  const std::string_view built = chosen != nullptr && *chosen != '\0' ? chosen : VARNLET_EXE_PATH;
  std::wstring path = built.starts_with('/') ? L"Z:" : L"";
  for (const char c : built) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return path;
}

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(ExePath().c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource, error " << ::GetLastError();
    block_.assign(size, 0);
    ASSERT_TRUE(::GetFileVersionInfoW(ExePath().c_str(), 0, size, block_.data()));
  }

  // The string NAME of the block's only translation; fails the test when it is missing.
  std::wstring String(const wchar_t* name) {
    const std::wstring sub = std::wstring(L"\\StringFileInfo\\0c0a04b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block_.data(), sub.c_str(), &value, &length) || value == nullptr) {
      ADD_FAILURE() << "no string " << testing::PrintToString(std::wstring(name));
      return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value));
  }

  std::vector<BYTE> block_;
};

// The four numbers of a version, "1.0.0.0", from its two double words.
std::wstring Dotted(DWORD high, DWORD low) {
  return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." + std::to_wstring(HIWORD(low)) +
         L"." + std::to_wstring(LOWORD(low));
}

TEST_F(VersionResource, FixedPartSaysTheBuildsVersionOfAnApplication) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block_.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), varnlet::config::kFileVersion);
  EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), varnlet::config::kFileVersion);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "neither debug nor pre-release";
}

TEST_F(VersionResource, OneSpanishUnicodeTranslation) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  const auto* pair = static_cast<const WORD*>(value);
  EXPECT_EQ(pair[0], 0x0C0A);
  EXPECT_EQ(pair[1], 1200);
}

TEST_F(VersionResource, Strings) {
  const std::wstring maker(varnlet::config::kMaker);
  EXPECT_EQ(String(L"ProductName"), varnlet::config::kTitle);
  EXPECT_EQ(String(L"ProductVersion"), varnlet::config::kFileVersion);
  EXPECT_EQ(String(L"FileVersion"), varnlet::config::kFileVersion);
  EXPECT_EQ(String(L"CompanyName"), maker);
  EXPECT_EQ(String(L"OriginalFilename"), L"varnlet.exe");
  EXPECT_EQ(String(L"InternalName"), L"varnlet");
  EXPECT_TRUE(String(L"FileDescription").starts_with(varnlet::config::kTitle));
  const std::wstring copyright = String(L"LegalCopyright");
  EXPECT_TRUE(copyright.starts_with(L"Copyright (C) ")) << testing::PrintToString(copyright);
  EXPECT_TRUE(copyright.ends_with(L" " + maker)) << testing::PrintToString(copyright);
}

class FileResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = ::LoadLibraryExW(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "error " << ::GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  std::string Manifest() const {
    const HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (found == nullptr) return {};
    const HGLOBAL loaded = ::LoadResource(module_, found);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    return bytes != nullptr ? std::string(static_cast<const char*>(bytes), ::SizeofResource(module_, found)) : "";
  }

  HMODULE module_ = nullptr;
};

TEST_F(FileResources, ManifestAsksForWhatTheProgramNeeds) {
  const std::string manifest = Manifest();
  ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
  const auto has = [&](std::string_view text) { return manifest.find(text) != std::string::npos; };
  EXPECT_TRUE(has(R"(level="asInvoker")"));
  EXPECT_TRUE(has(R"(uiAccess="false")"));
  EXPECT_TRUE(has("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>"));
  EXPECT_TRUE(has("PerMonitorV2"));
  EXPECT_TRUE(has(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"));
  // 7, 8, 8.1 and 10/11, what the program is built for (_WIN32_WINNT 0x0601); not Vista.
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_TRUE(has(os)) << os;
  }
  EXPECT_FALSE(has("e2011457-1546-43c5-a5fe-008deee3d3f0")) << "Vista";
}

BOOL CALLBACK CountIconGroup(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

TEST_F(FileResources, CarriesTheProgramIconFirst) {
  int groups = 0;
  ::EnumResourceNamesW(module_, MAKEINTRESOURCEW(14), &CountIconGroup, reinterpret_cast<LONG_PTR>(&groups));
  ASSERT_GE(groups, 1) << "no icon group: Explorer would show a blank program";
  // Explorer takes the first group as the file's icon: the program's own.
  const HANDLE icon = ::LoadImageW(module_, MAKEINTRESOURCEW(IDI_VARNLET), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR);
  EXPECT_NE(icon, nullptr);
  if (icon != nullptr) ::DestroyIcon(static_cast<HICON>(icon));
}

// The icon group's directory as resources store it (GRPICONDIR and its entries, packed).
#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colourCount, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

// Every image of the program's icon, loaded on its own as the shell loads the one it picks: each
// size the notification area asks for between 100 % and 200 %, and the 32 x 32 image in 256
// colours besides.
TEST_F(FileResources, IconHoldsEverySize) {
  const HRSRC group = ::FindResourceW(module_, MAKEINTRESOURCEW(IDI_VARNLET), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(module_, group)));
  ASSERT_NE(dir, nullptr);
  WORD count = 0;
  std::memcpy(&count, dir + 4, sizeof count);
  ASSERT_EQ(::SizeofResource(module_, group), 6u + count * sizeof(IconGroupEntry));
  std::multiset<std::pair<int, int>> images;  // (size, bits per pixel)
  for (WORD i = 0; i < count; ++i) {
    IconGroupEntry entry;
    std::memcpy(&entry, dir + 6 + i * sizeof entry, sizeof entry);
    const int size = entry.width == 0 ? 256 : entry.width;
    images.emplace(size, entry.bitCount);
    const HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3));
    ASSERT_NE(found, nullptr) << size;
    ASSERT_EQ(::SizeofResource(module_, found), entry.bytes) << size;
    auto* bits = static_cast<BYTE*>(::LockResource(::LoadResource(module_, found)));
    const HICON icon = ::CreateIconFromResourceEx(bits, entry.bytes, TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr) << size << " pixels, error " << ::GetLastError();
    ICONINFO info{};
    BITMAP colour{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    ::GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
  const std::multiset<std::pair<int, int>> expected = {{16, 32}, {20, 32}, {24, 32}, {32, 8}, {32, 32}};
  EXPECT_EQ(images, expected);
}

}  // namespace
