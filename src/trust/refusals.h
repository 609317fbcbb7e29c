#pragma once
// Why a path is refused, said alike by the program and both installers: one reason for each
// verdict, in Spanish (the program's language) and English (the installer's other one), and the
// messages that carry it. varnlet_setup.dll hands these texts to the installers.
#include <string>
#include <string_view>

#include "trust/verdicts.h"

namespace varnlet::trust {

enum class Language { Spanish, English };
// English where a Windows language id's primary language is English; Spanish otherwise.
Language LanguageOf(unsigned languageId);

// A clause, lowercase and without a final stop, true of that verdict alone; a verdict that is no
// refusal, or a number no verdict has, gives the reason that nothing could be checked.
std::wstring_view Reason(ExecutableTrust trust, Language language);
std::wstring_view Reason(InstallFolderVerdict verdict, Language language);

// An installer refuses `folder`: why, and what to choose instead (never the folder refused).
std::wstring FolderRefusal(std::wstring_view folder, InstallFolderVerdict verdict, Language language);
// The NSIS installer installed, but will not write the start-up value.
std::wstring InstalledWithoutAutostart(ExecutableTrust trust, Language language);
// The MSI refuses AUTOSTART=1 for `exe`.
std::wstring MsiAutostartRefusal(std::wstring_view exe, ExecutableTrust trust);
// The program's box when "Iniciar con Windows" is refused for `exePath`; `keptProgram` is what the
// value already there, left as it was, starts (empty where there is none).
std::wstring AutostartRefusalText(std::wstring_view exePath, ExecutableTrust trust, std::wstring_view keptProgram);

}  // namespace varnlet::trust
