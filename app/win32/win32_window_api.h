// The Win32 headers as the window uses them: wide-character calls, common controls 6.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
// windows.h first: these need its types.
#include <commctrl.h>
#include <commdlg.h>
