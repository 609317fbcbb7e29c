#pragma once
// The kernel's file and directory calls the registry class makes (the key dump's private folder,
// the Windows and system directories), one virtual per system call, ANSI forms; and what the
// autostart switch asks of a path before Windows is told to run it at every logon.
#include <cstdint>
#include <string>
#include <vector>

namespace varnlet::platform {

// Who may use a new directory: whoever its parent folder lets in, or its creator alone (a
// protected DACL that grants the creating user full control, inherited by all made inside it).
enum class DirectoryAccess { Inherited, OwnerOnly };

// One entry of a discretionary access control list, as the system keeps it: its kind (allowing,
// denying, or anything else), its flags (inheritance), its access mask and its trustee's SID in
// text form ("S-1-5-32-544"; empty where the entry's layout names none the adapter can read).
enum class AceKind : std::uint8_t { Allowed, Denied, Other };
struct AccessEntry {
  AceKind kind = AceKind::Other;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  std::wstring sid;
};
// The owner and DACL of a file or folder. Without a DACL everyone has every right.
struct FileSecurity {
  std::wstring owner;
  bool hasDacl = false;
  std::vector<AccessEntry> dacl;
};
inline constexpr std::uint8_t kInheritOnlyAce = 0x08;
// GetDriveTypeW's answer for a hard disk.
inline constexpr std::uint32_t kDriveFixed = 3;

class FileApi {
 public:
  virtual ~FileApi() = default;

  // Return the characters stored without the NUL, or the size needed when uSize is too small,
  // 0 on failure.
  virtual std::uint32_t GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) = 0;
  virtual std::uint32_t GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) = 0;
  virtual std::uint32_t GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) = 0;
  // With uUnique 0 the system picks a unique name and creates the empty file; lpTempFileName
  // must hold MAX_PATH characters.
  virtual std::uint32_t GetTempFileNameA(const char* lpPathName, const char* lpPrefixString, std::uint32_t uUnique,
                                         char* lpTempFileName) = 0;
  virtual bool SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) = 0;
  virtual bool DeleteFileA(const char* lpFileName) = 0;
  virtual bool CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) = 0;
  // Fails, with the last error 183 (ERROR_ALREADY_EXISTS), when a file or directory has the name.
  virtual bool CreateDirectoryA(const char* lpPathName, DirectoryAccess access) = 0;
  // Fails when the directory is not empty.
  virtual bool RemoveDirectoryA(const char* lpPathName) = 0;
  // The reason the last call above failed.
  virtual std::uint32_t GetLastError() = 0;

  // The kind of drive a root folder ("C:\\") is on: 3 a fixed disk, 2 removable, 4 a network drive,
  // 5 an optical disc, 6 a RAM disk, 0 unknown, 1 no such root.
  virtual std::uint32_t GetDriveTypeW(const wchar_t* lpRootPathName) = 0;
  // The owner and DACL of a file or folder (GetNamedSecurityInfoW); the system's error, 0 on
  // success.
  virtual std::uint32_t GetNamedSecurityInfoW(const wchar_t* pObjectName, FileSecurity& security) = 0;
};

// MAX_PATH: the room GetTempFileNameA writes into.
inline constexpr std::uint32_t kMaxPath = 260;
// FILE_ATTRIBUTE_NORMAL: no attribute set.
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;

}  // namespace varnlet::platform
