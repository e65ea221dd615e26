#pragma once
// Names the plug-in and its stand-in share.

#include "wmp/player_registry.h"

// The visualization's key under the player's Effects key.
#define TWINKLA_EFFECT_NAME "Twinkla"
constexpr char kEffectName[] = TWINKLA_EFFECT_NAME;
constexpr char kEffectKeyPath[] = WMP_EFFECTS_KEY_PATH "\\" TWINKLA_EFFECT_NAME;
constexpr wchar_t kEffectKeyPathW[] = L"" WMP_EFFECTS_KEY_PATH "\\" TWINKLA_EFFECT_NAME;
constexpr char kEffectPropertiesPath[] =
    WMP_EFFECTS_KEY_PATH "\\" TWINKLA_EFFECT_NAME "\\Properties";
constexpr wchar_t kEffectPropertiesPathW[] =
    L"" WMP_EFFECTS_KEY_PATH "\\" TWINKLA_EFFECT_NAME "\\Properties";

// The settings, under HKEY_CURRENT_USER.
#define TWINKLA_SETTINGS_KEY_PATH "Software\\Twinkla"
constexpr char kSettingsKeyPath[] = TWINKLA_SETTINGS_KEY_PATH;
constexpr wchar_t kSettingsKeyPathW[] = L"" TWINKLA_SETTINGS_KEY_PATH;
