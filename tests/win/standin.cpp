// A stand-in for the processes Varnlet looks at: copied as firefox.exe, notepad.exe, ... it
// only waits. It ends by itself after the given number of seconds (600 by default), so a test
// that dies cannot leave it behind for long.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int) {
  const long seconds = (cmdLine != nullptr && *cmdLine != '\0') ? std::strtol(cmdLine, nullptr, 10) : 600;
  ::Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 600) * 1000);
  return 0;
}
