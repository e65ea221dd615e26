#pragma once
// Twinkla Live's own settings, under HKEY_CURRENT_USER\Software\Twinkla\Live:
// the source, the window's place, the preset and the tray option. They are
// written when the user changes them (the window's place when it closes);
// the plug-in's settings beside them are the plug-in's alone.

#include <windows.h>

#include <string>

#define TWINKLA_LIVE_KEY_PATH "Software\\Twinkla\\Live"

struct LiveSettings {
    std::wstring sourceId;  // a recording device's endpoint id; empty: what the computer plays
    std::string sourceName; // that device's name when it was chosen, for messages
    bool hasPlacement = false;
    RECT window = {}; // the restored window's place on the screen
    bool maximized = false;
    int preset = -1; // -1: whatever the plug-in starts with
    bool keepInTray = false;
};

// What is stored; anything missing or malformed keeps its default.
LiveSettings LoadLiveSettings();
void SaveLiveSettings(const LiveSettings& settings);
