#pragma once
// The copy of the stored settings kept before the first-run settings
// overwrite them: a start that can't read what is stored would otherwise cost
// the user every channel's setup, the port and the device id that were still
// there. The copy goes beside the settings key ("Software\Twinkla Backup"),
// whole and byte for byte, replacing an older one, with two values of its
// own: "BackupMade", when (REG_SZ, "2024-06-11 10:20:30 UTC"), and
// "NoticePending" (REG_DWORD), 1 until the property dialog has told the user.

#include "analysis/plugin_state.h"
#include "config/settings_store.h"

#include <cstdint>
#include <string>

enum class BackupResult {
    NothingStored, // no settings key, or an empty one: a true first run; no copy
    Made,          // the whole tree is copied, an older copy replaced
    Failed,        // no complete copy (and maybe no older one): the settings stay untouched
};

// Copies the settings key with every value and subkey, of any type and size,
// exactly as stored, to the backup key, stamped with `now` (seconds since
// 1970, UTC). A copy that fails part-way is removed again, so a backup key
// that exists is always whole.
BackupResult BackUpSettings(SettingsStore& store, int64_t now);

// What a start does before it stores the first-run settings: keeps a copy of
// whatever is stored. True when the settings may then be overwritten; false
// when no copy could be kept: the stored settings must stay as they are, and
// state.UnsavedReset says so to the property dialog.
bool BackUpBeforeReset(PluginState& state, SettingsStore& store);

// The words the property dialog owes the user after a reset, once: false
// when there are none. Taking them marks them said (NoticePending 0, or
// UnsavedReset cleared).
bool TakeSettingsNotice(PluginState& state, SettingsStore& store, std::string& text);

// Now, in seconds since 1970, UTC, in every build and beyond 2038.
int64_t SecondsNow();

// `seconds` since 1970 as "YYYY-MM-DD hh:mm:ss UTC".
std::string BackupTimeText(int64_t seconds);
