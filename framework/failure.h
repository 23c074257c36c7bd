#pragma once
// The last stop for an exception: no exception leaves a dialog procedure or the program's entry.
// What got that far is told to the user, and the program goes on where it can.
#include <windows.h>

// Shows the exception being handled in a message box captioned with the application's name.
// Call it only from inside a catch block.
void AfxReportCurrentException(HWND hWndOwner);
