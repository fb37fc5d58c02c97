// The launcher's main line: one fixed pass from the folders to the start of the installer.
#pragma once

#include <windows.h>

// Runs the whole installation sequence and returns 1, whatever happened: the exit code does
// not tell success from an early end after a message.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
