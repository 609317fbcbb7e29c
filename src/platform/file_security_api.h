#pragma once
// What the kernel tells of a path before Windows is told to run it at every logon, or before an
// installer writes into it: the drive and how its disk is attached, the links on the way, the
// final path of an open file, and each object's owner and DACL read through a handle on that very
// object; and the folder an installer makes, with its descriptor from the instant it exists. One
// virtual per system call, with the system's arguments and results; where the system hands back a
// structure, the adapter converts it into the plain one below.
#include <cstdint>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "platform/system_errors.h"

namespace varnlet::platform {

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

// A kernel file handle; kInvalidFileHandle (INVALID_HANDLE_VALUE) when an open failed.
using FileHandle = std::uintptr_t;
inline constexpr FileHandle kInvalidFileHandle = ~FileHandle{0};

// GetDriveTypeW's answer for a hard disk.
inline constexpr std::uint32_t kDriveFixed = 3;
// The buses of STORAGE_DEVICE_DESCRIPTOR through which a disk is plugged in from outside the
// machine (IEEE 1394, USB, SD, MMC), reached over the network (iSCSI) or made of a file (a
// mounted VHD or ISO). Such a disk may report itself fixed, yet its lists were written wherever
// it was prepared.
// Any other STORAGE_BUS_TYPE value (SATA, NVMe, ...) passes through as it is.
enum class StorageBus : std::uint32_t { Ieee1394 = 4, Usb = 7, Iscsi = 9, Sd = 12, Mmc = 13, FileBackedVirtual = 15 };

// What STORAGE_DEVICE_DESCRIPTOR tells of the disk behind a volume.
struct StorageDeviceDescriptor {
  StorageBus busType{};
  bool removableMedia = false;
};
// What STORAGE_HOTPLUG_INFO tells of it: its medium may be taken out, or the device unplugged
// while the system runs.
struct StorageHotplugInfo {
  bool mediaRemovable = false;
  bool deviceHotplug = false;
};

inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
// A junction, a symbolic link, a mount point or any other object that sends the path elsewhere.
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// CreateFileW's arguments for reading an object's attributes and security: READ_CONTROL |
// FILE_READ_ATTRIBUTES, shared for everything, OPEN_EXISTING, with FILE_FLAG_BACKUP_SEMANTICS (a
// folder too) and FILE_FLAG_OPEN_REPARSE_POINT (a link itself, never what it names).
inline constexpr std::uint32_t kInspectAccess = 0x00020080;
inline constexpr std::uint32_t kFileShareAll = 0x7;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kInspectFlags = 0x02200000;
// GetFinalPathNameByHandleW's flags for the normalised path with a drive letter ("\\?\C:\...").
inline constexpr std::uint32_t kFinalPathWithDrive = 0;

// File and folder rights an access entry grants, and the generic ones it may carry unmapped.
inline constexpr std::uint32_t kWriteData = 0x0002;       // a folder: add a file
inline constexpr std::uint32_t kAppendData = 0x0004;      // a folder: add a subfolder
inline constexpr std::uint32_t kDeleteChild = 0x0040;     // a folder: delete or rename what it holds
inline constexpr std::uint32_t kDelete = 0x00010000;      // delete or rename the object itself
inline constexpr std::uint32_t kWriteDac = 0x00040000;    // re-permission
inline constexpr std::uint32_t kWriteOwner = 0x00080000;  // take ownership, then re-permission
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;

// One entry of a folder as FindFirstFileW and FindNextFileW give it.
struct FolderEntry {
  std::uint32_t attributes = 0;
  std::wstring name;
};

class FileSecurityApi {
 public:
  virtual ~FileSecurityApi() = default;

  // The kind of drive a root folder ("C:\\") is on: 3 a fixed disk, 2 removable, 4 a network drive,
  // 5 an optical disc, 6 a RAM disk, 0 unknown, 1 no such root.
  virtual std::uint32_t GetDriveTypeW(const wchar_t* lpRootPathName) = 0;
  // The disk behind a volume ("\\\\.\\C:") as the STORAGE_DEVICE_DESCRIPTOR that
  // IOCTL_STORAGE_QUERY_PROPERTY (StorageDeviceProperty) returns; the system's error, 0 on success.
  virtual std::uint32_t QueryStorageDeviceProperty(const wchar_t* lpVolumeName,
                                                   StorageDeviceDescriptor& descriptor) = 0;
  // The same disk as the STORAGE_HOTPLUG_INFO that IOCTL_STORAGE_GET_HOTPLUG_INFO returns; the
  // system's error, 0 on success.
  virtual std::uint32_t GetStorageHotplugInfo(const wchar_t* lpVolumeName, StorageHotplugInfo& info) = 0;
  // kInvalidFileAttributes when the name cannot be read (GetLastError says why). For the last name
  // of the path, the attributes of the link itself where it is one.
  virtual std::uint32_t GetFileAttributesW(const wchar_t* lpFileName) = 0;
  // kInvalidFileHandle on failure; a handle is closed with CloseHandle.
  virtual FileHandle CreateFileW(const wchar_t* lpFileName, std::uint32_t dwDesiredAccess, std::uint32_t dwShareMode,
                                 std::uint32_t dwCreationDisposition, std::uint32_t dwFlagsAndAttributes) = 0;
  virtual bool CloseHandle(FileHandle hObject) = 0;
  // The characters written without the NUL; the size needed, NUL included, when cchFilePath is too
  // small; 0 on failure.
  virtual std::uint32_t GetFinalPathNameByHandleW(FileHandle hFile, wchar_t* lpszFilePath, std::uint32_t cchFilePath,
                                                  std::uint32_t dwFlags) = 0;
  // The attributes of the object the handle is open on (GetFileInformationByHandleEx,
  // FileAttributeTagInfo); false on failure.
  virtual bool GetFileAttributesByHandle(FileHandle hFile, std::uint32_t& attributes) = 0;
  // The owner and DACL of the object the handle is open on (GetSecurityInfo); the system's error,
  // 0 on success.
  virtual std::uint32_t GetSecurityInfo(FileHandle handle, FileSecurity& security) = 0;
  // The entries of a folder but "." and "..", through FindFirstFileW, FindNextFileW and FindClose;
  // the system's error, 0 on success.
  virtual std::uint32_t ListFolder(const wchar_t* lpFolder, std::vector<FolderEntry>& entries) = 0;
  // Makes a folder whose security descriptor, given in SDDL, it has from the instant it exists
  // (CreateDirectoryW with SECURITY_ATTRIBUTES). Fails with kErrorAlreadyExists when the name
  // is taken.
  virtual bool CreateDirectoryW(const wchar_t* lpPathName, const wchar_t* sddl) = 0;
  // The reason the last call above failed.
  virtual std::uint32_t GetLastError() = 0;
};

// Owns a handle of the file calls.
using UniqueFileHandle =
    UniqueApiHandle<FileSecurityApi, FileHandle, &FileSecurityApi::CloseHandle, FileHandle{0}, kInvalidFileHandle>;

// Opens a file or folder to read its attributes and security: the object the name names, a link
// itself where it is one. An empty owner when it cannot be opened.
UniqueFileHandle OpenForInspection(FileSecurityApi& files, const std::wstring& path);

// The final path of the object a handle is open on ("\\?\C:\..."), empty when the system gives
// none.
std::wstring FinalPathName(FileSecurityApi& files, FileHandle handle);

}  // namespace varnlet::platform
