#pragma once
// The install folder an installer's command line names with /D=. NSIS reads /D= only as the last
// parameter and unquoted, and passes over any other form for its default folder; a launcher that
// quotes its arguments (a deployment tool, PowerShell's Start-Process, a scheduled task) passes
// "/D=C:\My Apps\Varnlet" or /D="C:\My Apps\Varnlet". So the installer reads the line itself.
// The build writes the numbers of FolderParameter out for the NSIS script, as those of verdicts.h.
#include <string>
#include <string_view>

namespace varnlet::setup {

enum class FolderParameter : int {
  // No /D= on the line.
  None = 0,
  // `folder` is the folder named, quotes removed: by the last parameter, unquoted, as NSIS takes
  // it (the rest of the line), or by one quoted parameter anywhere.
  Given = 1,
  // A /D= that names no one folder: an unclosed quote, an empty folder, text glued to a closing
  // quote, a second /D=, one inside another quoted parameter.
  Malformed = 2,
};

// `commandLine` is the whole line, the program's own path first, as GetCommandLineW gives it.
FolderParameter InstallFolderParameter(std::wstring_view commandLine, std::wstring& folder);

}  // namespace varnlet::setup
