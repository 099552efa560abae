// Resource identifiers of hidwatch.
#pragma once

#define IDD_ATTACHWATCH_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_STATUS_TEXT 1000
