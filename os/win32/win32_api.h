// <windows.h> for the Windows code. Its A/W macros carry the names of our own seam methods
// (LoadLibrary, CreateEvent, GetSystemDirectory), so they are taken back: every call here
// names the ANSI function itself.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef LoadLibrary
#undef CreateEvent
#undef GetSystemDirectory
#undef GetProcAddress
