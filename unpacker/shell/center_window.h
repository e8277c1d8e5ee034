#pragma once

#include <windows.h>

// Moves a window to the centre of the primary screen, keeping its size and z-order.
void CenterWindow(HWND window);
