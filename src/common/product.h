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

// The copy of the settings that a start which couldn't read them keeps
// before it stores the first-run settings, beside the settings key, with two
// values of its own: when the copy was made, and whether the property dialog
// still owes the user a word about it.
#define TWINKLA_BACKUP_KEY_PATH "Software\\Twinkla Backup"
constexpr char kBackupKeyPath[] = TWINKLA_BACKUP_KEY_PATH;
constexpr wchar_t kBackupKeyPathW[] = L"" TWINKLA_BACKUP_KEY_PATH;
#define TWINKLA_BACKUP_MADE "BackupMade"
#define TWINKLA_BACKUP_NOTICE "NoticePending"
constexpr char kBackupMadeValue[] = TWINKLA_BACKUP_MADE;     // REG_SZ "2024-06-11 10:20:30 UTC"
constexpr char kBackupNoticeValue[] = TWINKLA_BACKUP_NOTICE; // REG_DWORD 1, then 0 once said
constexpr wchar_t kBackupMadeValueW[] = L"" TWINKLA_BACKUP_MADE;
constexpr wchar_t kBackupNoticeValueW[] = L"" TWINKLA_BACKUP_NOTICE;
