#pragma once
// Twinkla Live's resources and the commands of its menus. The tests send
// these commands as the menus do.

#define IDI_TWINKLA_LIVE 1
#define IDR_MAIN_MENU 100

// Source menu: what the computer plays, then each recording device.
#define IDM_SOURCE_LOOPBACK 1000
#define IDM_SOURCE_DEVICE_FIRST 1001 // + the device's place in the list
#define IDM_SOURCE_DEVICE_LAST 1099

// Show menu.
#define IDM_START 1100
#define IDM_STOP 1101
#define IDM_PRESET_FIRST 1110 // + the preset's number
#define IDM_PRESET_LAST 1139
#define IDM_SETTINGS 1140
#define IDM_KEEP_IN_TRAY 1141
#define IDM_EXIT 1142

// Help menu.
#define IDM_ABOUT 1200

// The notification area icon's menu (Stop and Exit as above).
#define IDM_SHOW_WINDOW 1300
