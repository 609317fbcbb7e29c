#pragma once
// The kernel's file and directory calls the registry class makes (the key dump's private folder,
// the Windows and system directories), one virtual per system call, ANSI forms.
#include <cstdint>

namespace varnlet::platform {

// Who may use a new directory: whoever its parent folder lets in, or its creator alone (a
// protected DACL that grants the creating user full control, inherited by all made inside it).
enum class DirectoryAccess { Inherited, OwnerOnly };

class FileApi {
 public:
  virtual ~FileApi() = default;

  // Return the characters stored without the NUL, or the size needed when uSize is too small,
  // 0 on failure.
  virtual std::uint32_t GetWindowsDirectoryA(char* lpBuffer, std::uint32_t uSize) = 0;
  virtual std::uint32_t GetSystemDirectoryA(char* lpBuffer, std::uint32_t uSize) = 0;
  virtual std::uint32_t GetTempPathA(std::uint32_t nBufferLength, char* lpBuffer) = 0;
  virtual bool SetFileAttributesA(const char* lpFileName, std::uint32_t dwFileAttributes) = 0;
  virtual bool DeleteFileA(const char* lpFileName) = 0;
  virtual bool CopyFileA(const char* lpExistingFileName, const char* lpNewFileName, bool bFailIfExists) = 0;
  // Fails, with the last error 183 (ERROR_ALREADY_EXISTS), when a file or directory has the name.
  virtual bool CreateDirectoryA(const char* lpPathName, DirectoryAccess access) = 0;
  // Fails when the directory is not empty.
  virtual bool RemoveDirectoryA(const char* lpPathName) = 0;
  // The reason the last call above failed.
  virtual std::uint32_t GetLastError() = 0;
};

// MAX_PATH: the longest path the classic file calls take, NUL included.
inline constexpr std::uint32_t kMaxPath = 260;
// FILE_ATTRIBUTE_NORMAL: no attribute set.
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;

}  // namespace varnlet::platform
