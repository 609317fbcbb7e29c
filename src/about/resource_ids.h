#pragma once
// Resource numbers shared by res/varnlet.rc and the code: plain macros, so the resource compiler
// reads them too.
// The program's icon; as the first icon resource it is also the exe's icon.
#define IDI_VARNLET 1
// The 48 x 48 picture of the About window.
#define IDB_PICTURE1 101
