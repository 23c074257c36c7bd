// Identifiers shared by the resource script and the program.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDC_FILE_PATH 1000
#define IDC_BROWSE 1001
#define IDC_SEND 1002
#define IDC_PORT 1003

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
