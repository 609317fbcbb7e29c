#include "setup/command_line.h"

namespace varnlet::setup {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool StartsWithD(std::wstring_view text) {
  return text.size() >= 3 && text[0] == L'/' && (text[1] == L'D' || text[1] == L'd') && text[2] == L'=';
}

// The line after the program's path, which is quoted or ends at the first blank.
std::wstring_view Parameters(std::wstring_view line) {
  std::size_t end = line.starts_with(L'"') ? line.find(L'"', 1) : 0;
  if (end == std::wstring_view::npos) return {};
  while (end < line.size() && !IsBlank(line[end])) ++end;
  return line.substr(end);
}

// The folder of the /D= whose text starts at `from` (just past "/D="); `quotedWhole` when the
// parameter began with a quote. `end` is where the parameter ends.
FolderParameter ReadValue(std::wstring_view parameters, std::size_t from, bool quotedWhole, std::wstring& folder,
                          std::size_t& end) {
  if (!quotedWhole && (from >= parameters.size() || parameters[from] != L'"')) {
    // NSIS's own form: the rest of the line.
    std::wstring_view rest = parameters.substr(from);
    while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
    if (rest.empty() || rest.find(L'"') != std::wstring_view::npos) return FolderParameter::Malformed;
    folder.assign(rest);
    end = parameters.size();
    return FolderParameter::Given;
  }
  // "/D=C:\My Apps" and /D="C:\My Apps" end at their closing quote.
  if (!quotedWhole) ++from;
  const std::size_t close = parameters.find(L'"', from);
  if (close == std::wstring_view::npos || close == from) return FolderParameter::Malformed;
  if (close + 1 < parameters.size() && !IsBlank(parameters[close + 1])) return FolderParameter::Malformed;
  folder.assign(parameters.substr(from, close - from));
  end = close;
  return FolderParameter::Given;
}

FolderParameter Read(std::wstring_view parameters, std::wstring& folder) {
  FolderParameter verdict = FolderParameter::None;
  for (std::size_t at = 0; at < parameters.size(); ++at) {
    // A parameter begins the line or follows a blank; a quoted one begins with its quote.
    if (at > 0 && !IsBlank(parameters[at - 1])) continue;
    const bool quotedWhole = parameters[at] == L'"';
    const std::size_t start = quotedWhole ? at + 1 : at;
    if (!StartsWithD(parameters.substr(start))) continue;
    if (verdict != FolderParameter::None) return FolderParameter::Malformed;
    verdict = ReadValue(parameters, start + 3, quotedWhole, folder, at);
    if (verdict != FolderParameter::Given) return verdict;
  }
  return verdict;
}

}  // namespace

FolderParameter InstallFolderParameter(std::wstring_view commandLine, std::wstring& folder) {
  folder.clear();
  const FolderParameter verdict = Read(Parameters(commandLine), folder);
  if (verdict != FolderParameter::Given) folder.clear();
  return verdict;
}

}  // namespace varnlet::setup
