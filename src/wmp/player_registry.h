#pragma once
// Where the player finds its visualizations: one key per visualization under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MediaPlayer\Objects\Effects, whose
// "Properties" subkey names the class in its "classid" value.

#define WMP_EFFECTS_KEY_PATH "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects"

constexpr char kEffectsKeyPath[] = WMP_EFFECTS_KEY_PATH;
constexpr char kEffectPropertiesKey[] = "Properties";
constexpr char kEffectClassIdValue[] = "classid";
