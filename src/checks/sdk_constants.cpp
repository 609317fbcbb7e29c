// The portable code types the system's numbers again, without <windows.h>: flags, messages, error
// numbers, rights, the notification-area record's layout, and the sizes of the types the adapters
// hand to the system in place of its own. Each is checked here against the SDK's own definition, one
// assertion a number, so a mistyped one stops the Windows build. Nothing here runs, and the object
// is never linked. It reads every layer's headers, so it lies above them all in a folder of its own:
// in any layer's folder it would include the layers above that one.
#include <windows.h>
#include <mshtmdid.h>
#include <oleacc.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <urlmon.h>
#include <winioctl.h>
#include <winver.h>

#include <cstddef>
#include <cstdint>

#include "about/Form2.h"
#include "app/Form1.h"
#include "platform/ansi_code_page.h"
#include "platform/file_api.h"
#include "platform/file_security_api.h"
#include "platform/process_api.h"
#include "platform/registry_api.h"
#include "platform/system_errors.h"
#include "platform/user_api.h"
#include "registry/cQueryReg.h"
#include "toolkit/browser_policy.h"
#include "toolkit/dialog.h"
#include "toolkit/dialog_access.h"
#include "tray/Module1.h"
#include "tray/notify_icon_record.h"
#include "trim/working_set_trimmer.h"

namespace varnlet {
namespace {

// The SDK's INVALID_HANDLE_VALUE is the pointer (HANDLE)(LONG_PTR)-1, which no constant
// expression may read; the number that stands for it must be as wide as a handle, all bits set.
template <class Number>
constexpr bool IsInvalidHandleValue(Number n) {
  return sizeof(Number) == sizeof(HANDLE) && n == static_cast<Number>(static_cast<LONG_PTR>(-1));
}

// Our enumerator and the SDK's, as the numbers both stand for.
template <class Ours, class System>
constexpr bool Same(Ours ours, System system) {
  return static_cast<std::uint32_t>(ours) == static_cast<std::uint32_t>(system);
}

}  // namespace

// The adapters pass the portable layers' numbers, characters and structures for the system's.
static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
static_assert(sizeof(LONG) == sizeof(std::int32_t));
static_assert(sizeof(WCHAR) == sizeof(wchar_t));

// platform/ansi_code_page.h
static_assert(platform::kWcNoBestFitChars == WC_NO_BEST_FIT_CHARS);

// platform/file_api.h
static_assert(platform::kMaxPath == MAX_PATH);
static_assert(platform::kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);

// platform/process_api.h
static_assert(platform::kRestartNoCrash == RESTART_NO_CRASH);
static_assert(platform::kRestartNoHang == RESTART_NO_HANG);
static_assert(platform::kRestartNoReboot == RESTART_NO_REBOOT);
static_assert(IsInvalidHandleValue(platform::kInvalidHandleValue));
static_assert(platform::kTh32csSnapProcess == TH32CS_SNAPPROCESS);
static_assert(platform::kProcessPowerThrottling == ProcessPowerThrottling);
static_assert(platform::kProcessPowerThrottlingCurrentVersion == PROCESS_POWER_THROTTLING_CURRENT_VERSION);
static_assert(platform::kProcessPowerThrottlingExecutionSpeed == PROCESS_POWER_THROTTLING_EXECUTION_SPEED);
static_assert(sizeof(platform::ProcessPowerThrottlingState) == sizeof(PROCESS_POWER_THROTTLING_STATE));
static_assert(offsetof(platform::ProcessPowerThrottlingState, ControlMask) ==
              offsetof(PROCESS_POWER_THROTTLING_STATE, ControlMask));
static_assert(offsetof(platform::ProcessPowerThrottlingState, StateMask) ==
              offsetof(PROCESS_POWER_THROTTLING_STATE, StateMask));
static_assert(sizeof(PROCESSENTRY32W::szExeFile) == sizeof(platform::ProcessEntry32W::szExeFile));

// platform/registry_api.h
static_assert(sizeof(FILETIME) == sizeof(platform::FileTime));

// platform/file_security_api.h
static_assert(platform::kInheritOnlyAce == INHERIT_ONLY_ACE);
static_assert(IsInvalidHandleValue(platform::kInvalidFileHandle));
static_assert(platform::kDriveFixed == DRIVE_FIXED);
static_assert(Same(platform::StorageBus::Ieee1394, BusType1394));
static_assert(Same(platform::StorageBus::Usb, BusTypeUsb));
static_assert(Same(platform::StorageBus::Iscsi, BusTypeiScsi));
static_assert(Same(platform::StorageBus::Sd, BusTypeSd));
static_assert(Same(platform::StorageBus::Mmc, BusTypeMmc));
static_assert(Same(platform::StorageBus::FileBackedVirtual, BusTypeFileBackedVirtual));
static_assert(platform::kInvalidFileAttributes == INVALID_FILE_ATTRIBUTES);
static_assert(platform::kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(platform::kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(platform::kInspectAccess == (READ_CONTROL | FILE_READ_ATTRIBUTES));
static_assert(platform::kFileShareAll == (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
static_assert(platform::kOpenExisting == OPEN_EXISTING);
static_assert(platform::kInspectFlags == (FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
static_assert(platform::kFinalPathWithDrive == (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS));
static_assert(platform::kWriteData == FILE_WRITE_DATA && platform::kWriteData == FILE_ADD_FILE);
static_assert(platform::kAppendData == FILE_APPEND_DATA && platform::kAppendData == FILE_ADD_SUBDIRECTORY);
static_assert(platform::kDeleteChild == FILE_DELETE_CHILD);
static_assert(platform::kDelete == DELETE);
static_assert(platform::kWriteDac == WRITE_DAC);
static_assert(platform::kWriteOwner == WRITE_OWNER);
static_assert(platform::kGenericAll == GENERIC_ALL);
static_assert(platform::kGenericWrite == GENERIC_WRITE);

// platform/system_errors.h
static_assert(platform::kErrorSuccess == ERROR_SUCCESS);
static_assert(platform::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(platform::kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(platform::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(platform::kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(platform::kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(platform::kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(platform::kErrorBadPathName == ERROR_BAD_PATHNAME);
static_assert(platform::kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(platform::kErrorMoreData == ERROR_MORE_DATA);
static_assert(platform::kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(platform::kErrorNoAccess == ERROR_NOACCESS);
static_assert(platform::kErrorBadKey == ERROR_BADKEY);
static_assert(platform::kErrorKeyDeleted == ERROR_KEY_DELETED);
static_assert(platform::kErrorPrivilegeNotHeld == ERROR_PRIVILEGE_NOT_HELD);
static_assert(platform::kErrorCantResolveFilename == ERROR_CANT_RESOLVE_FILENAME);

// platform/user_api.h
static_assert(platform::kGwlWndProc == GWLP_WNDPROC);
static_assert(platform::kWmNull == WM_NULL);
static_assert(platform::kWmClose == WM_CLOSE);
static_assert(platform::kWmQueryEndSession == WM_QUERYENDSESSION);
static_assert(platform::kWmEndSession == WM_ENDSESSION);
static_assert(platform::kWmTimer == WM_TIMER);
static_assert(platform::kWmSettingChange == WM_SETTINGCHANGE);
static_assert(platform::kWmDisplayChange == WM_DISPLAYCHANGE);
static_assert(platform::kWmDpiChanged == WM_DPICHANGED);
static_assert(platform::kMsgfltAllow == MSGFLT_ALLOW);
static_assert(platform::kTimervCoalescingMax == TIMERV_COALESCING_MAX);

// registry/cQueryReg.h. The predefined roots of registry/key_path.h are pointers in the SDK
// ((HKEY)(ULONG_PTR)(LONG)0x80000000 and on), which no constant expression may read:
// platform/win32/registry_handles.h turns the same numbers into them.
static_assert(registry::kRegNone == REG_NONE);
static_assert(registry::kRegSz == REG_SZ);
static_assert(registry::kRegExpandSz == REG_EXPAND_SZ);
static_assert(registry::kRegBinary == REG_BINARY);
static_assert(registry::kRegDword == REG_DWORD);
static_assert(registry::kRegMultiSz == REG_MULTI_SZ);
static_assert(registry::kKeyQueryValue == KEY_QUERY_VALUE);
static_assert(registry::kKeyRead == KEY_READ);
static_assert(registry::kKeyWrite == KEY_WRITE);
static_assert(registry::kKeyAllAccess == KEY_ALL_ACCESS);

// trim/working_set_trimmer.h
static_assert(trim::kTrimAccess == (PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_SET_QUOTA));

// tray/Module1.h
static_assert(tray::kNimAdd == NIM_ADD);
static_assert(tray::kNimModify == NIM_MODIFY);
static_assert(tray::kNimDelete == NIM_DELETE);
static_assert(tray::kNimSetFocus == NIM_SETFOCUS);
static_assert(tray::kNimSetVersion == NIM_SETVERSION);
static_assert(tray::kNifMessage == NIF_MESSAGE);
static_assert(tray::kNifIcon == NIF_ICON);
static_assert(tray::kNifTip == NIF_TIP);
static_assert(tray::kNifInfo == NIF_INFO);
static_assert(tray::kNifRealtime == NIF_REALTIME);
static_assert(tray::kNisSharedIcon == NIS_SHAREDICON);
static_assert(tray::kNotifyIconVersion == NOTIFYICON_VERSION);
static_assert(tray::kNiifInfo == NIIF_INFO);
static_assert(tray::kNiifRespectQuietTime == NIIF_RESPECT_QUIET_TIME);
static_assert(tray::kWmContextMenu == WM_CONTEXTMENU);
static_assert(tray::kWmRButtonUp == WM_RBUTTONUP);
static_assert(tray::kNinKeySelect == NIN_KEYSELECT);
static_assert(tray::kNinBalloonShow == NIN_BALLOONSHOW);
static_assert(tray::kNinBalloonHide == NIN_BALLOONHIDE);
static_assert(tray::kNinBalloonTimeout == NIN_BALLOONTIMEOUT);
static_assert(tray::kNinBalloonUserClick == NIN_BALLOONUSERCLICK);
// Windows stores numbers little-endian: the high word comes second.
static_assert(tray::kMajorVersionOffset == offsetof(VS_FIXEDFILEINFO, dwFileVersionMS) + sizeof(WORD));

// tray/notify_icon_record.h: the layout of this build's architecture is the system's
// NOTIFYICONDATAA (the other one is checked by the native tests against the documented table).
constexpr const tray::NotifyIconLayout& kLayout = tray::kNativeLayout;
static_assert(sizeof(HWND) == kLayout.handleWidth && sizeof(HICON) == kLayout.handleWidth);
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == kLayout.cbSize);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == kLayout.hWnd);
static_assert(offsetof(NOTIFYICONDATAA, uID) == kLayout.uID);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == kLayout.uFlags);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == kLayout.uCallbackMessage);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == kLayout.hIcon);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == kLayout.szTip);
static_assert(offsetof(NOTIFYICONDATAA, dwState) == kLayout.dwState);
static_assert(offsetof(NOTIFYICONDATAA, dwStateMask) == kLayout.dwStateMask);
static_assert(offsetof(NOTIFYICONDATAA, szInfo) == kLayout.szInfo);
static_assert(offsetof(NOTIFYICONDATAA, uTimeout) == kLayout.uTimeout);
static_assert(offsetof(NOTIFYICONDATAA, uVersion) == kLayout.uTimeout);
static_assert(offsetof(NOTIFYICONDATAA, szInfoTitle) == kLayout.szInfoTitle);
static_assert(offsetof(NOTIFYICONDATAA, dwInfoFlags) == kLayout.dwInfoFlags);
static_assert(offsetof(NOTIFYICONDATAA, guidItem) == kLayout.guidItem);
static_assert(sizeof(NOTIFYICONDATAA) >= kLayout.length);
static_assert(NOTIFYICONDATAA_V1_SIZE == kLayout.sizeShell4);
static_assert(NOTIFYICONDATAA_V2_SIZE == kLayout.sizeShell5);
static_assert(NOTIFYICONDATAA_V3_SIZE == kLayout.sizeShell6);
static_assert(sizeof(NOTIFYICONDATAA::szTip) == tray::kTipWidth);
static_assert(sizeof(NOTIFYICONDATAA::szInfo) == tray::kInfoWidth);
static_assert(sizeof(NOTIFYICONDATAA::szInfoTitle) == tray::kInfoTitleWidth);

// toolkit/dialog.h
static_assert(toolkit::Rgb(0x12, 0x34, 0x56) == RGB(0x12, 0x34, 0x56));
static_assert(toolkit::kRoleLink == ROLE_SYSTEM_LINK);
static_assert(toolkit::kRolePane == ROLE_SYSTEM_PANE);

// toolkit/browser_policy.h
static_assert(toolkit::download_control::kDownloadImages == DLCTL_DLIMAGES);
static_assert(toolkit::download_control::kNoScripts == DLCTL_NO_SCRIPTS);
static_assert(toolkit::download_control::kNoJava == DLCTL_NO_JAVA);
static_assert(toolkit::download_control::kNoRunActiveX == DLCTL_NO_RUNACTIVEXCTLS);
static_assert(toolkit::download_control::kNoDownloadActiveX == DLCTL_NO_DLACTIVEXCTLS);
static_assert(toolkit::download_control::kNoBehaviors == DLCTL_NO_BEHAVIORS);
static_assert(toolkit::download_control::kNoClientPull == DLCTL_NO_CLIENTPULL);
static_assert(toolkit::download_control::kSilent == DLCTL_SILENT);
static_assert(Same(toolkit::BrowserFeature::ZoneElevation, FEATURE_ZONE_ELEVATION));
static_assert(Same(toolkit::BrowserFeature::MimeHandling, FEATURE_MIME_HANDLING));
static_assert(Same(toolkit::BrowserFeature::MimeSniffing, FEATURE_MIME_SNIFFING));
static_assert(Same(toolkit::BrowserFeature::WindowRestrictions, FEATURE_WINDOW_RESTRICTIONS));
static_assert(Same(toolkit::BrowserFeature::WebOcPopupManagement, FEATURE_WEBOC_POPUPMANAGEMENT));
static_assert(Same(toolkit::BrowserFeature::Behaviors, FEATURE_BEHAVIORS));
static_assert(Same(toolkit::BrowserFeature::DisableMkProtocol, FEATURE_DISABLE_MK_PROTOCOL));
static_assert(Same(toolkit::BrowserFeature::LocalMachineLockdown, FEATURE_LOCALMACHINE_LOCKDOWN));
static_assert(Same(toolkit::BrowserFeature::RestrictActiveXInstall, FEATURE_RESTRICT_ACTIVEXINSTALL));
static_assert(Same(toolkit::BrowserFeature::RestrictFileDownload, FEATURE_RESTRICT_FILEDOWNLOAD));
static_assert(Same(toolkit::BrowserFeature::HttpUserNamePasswordDisable, FEATURE_HTTP_USERNAME_PASSWORD_DISABLE));

// about/Form2.h
static_assert(about::kShowMaximized == SW_SHOWMAXIMIZED);

// app/Form1.h
static_assert(app::kErrorBoxStyle == (MB_OK | MB_ICONERROR));
static_assert(app::kRefusalBoxStyle == (MB_OK | MB_ICONWARNING));

}  // namespace varnlet
