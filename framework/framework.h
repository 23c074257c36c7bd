#pragma once
// Everything a program built on the framework layer uses.
#include <windows.h>

#include "controls.h"
#include "dialog.h"
#include "message_map.h"
#include "paint_dc.h"
#include "win_app.h"
#include "wnd.h"
