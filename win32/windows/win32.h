// The Win32 seam on Windows: the real thing.
#pragma once
#include <windows.h>
