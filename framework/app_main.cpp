// The process entry of a program built on this framework: everything happens in the
// application object's InitInstance.
#include "win_app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) { return AfxWinMain(hInstance); }
