#include "config/settings_backup.h"

#include "common/product.h"

#include <cstdio>
#include <ctime>
#include <new>
#include <vector>

namespace {

// Copies every value, then every subkey, of `from` into `to`.
bool CopyTree(const SettingsKey& from, const SettingsKey& to) {
    std::vector<NamedValue> values;
    if (!from.Values(values)) {
        return false;
    }
    for (const NamedValue& value : values) {
        if (!to.Put(value)) {
            return false;
        }
    }
    std::vector<std::string> names;
    if (!from.Subkeys(names)) {
        return false;
    }
    for (const std::string& name : names) {
        const SettingsKey source = from.OpenSubkey(name.c_str());
        const SettingsKey target = to.CreateSubkey(name.c_str());
        if (!source || !target || !CopyTree(source, target)) {
            return false;
        }
    }
    return true;
}

bool WriteDword(const SettingsKey& key, const char* name, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return key.Write(name, ValueDword, bytes, sizeof bytes);
}

// The copy with its own two values. They go last, over any values of the
// same names that came with the copy (a key restored by hand may carry them).
bool MakeCopy(const SettingsKey& settings, SettingsStore& store, int64_t now) {
    const SettingsKey backup = store.CreateKey(kBackupKeyPath);
    if (!backup || !CopyTree(settings, backup)) {
        return false;
    }
    const std::string made = BackupTimeText(now);
    return backup.Write(kBackupMadeValue, ValueString, made.c_str(),
                        static_cast<uint32_t>(made.size() + 1)) &&
           WriteDword(backup, kBackupNoticeValue, 1);
}

} // namespace

int64_t SecondsNow() {
    // Not time_t, which in the 32-bit Windows runtime ends in 2038.
#ifdef _WIN32
    return _time64(nullptr);
#else
    return static_cast<int64_t>(std::time(nullptr));
#endif
}

BackupResult BackUpSettings(SettingsStore& store, int64_t now) {
    try {
        const SettingsKey settings = store.OpenKey(kSettingsKeyPath);
        if (!settings) {
            return BackupResult::NothingStored;
        }
        std::vector<NamedValue> values;
        std::vector<std::string> subkeys;
        if (!settings.Values(values) || !settings.Subkeys(subkeys)) {
            return BackupResult::Failed; // something is there that can't be copied
        }
        if (values.empty() && subkeys.empty()) {
            return BackupResult::NothingStored;
        }
        // The older copy goes whole first: nothing of it may mix into this one.
        if (!store.DeleteTree(kBackupKeyPath)) {
            return BackupResult::Failed;
        }
        if (MakeCopy(settings, store, now)) {
            return BackupResult::Made;
        }
    } catch (const std::bad_alloc&) {
        // A value too big for the memory left: as any other failed copy.
    }
    store.DeleteTree(kBackupKeyPath);
    return BackupResult::Failed;
}

bool BackUpBeforeReset(PluginState& state, SettingsStore& store) {
    state.UnsavedReset = BackUpSettings(store, SecondsNow()) == BackupResult::Failed;
    return !state.UnsavedReset;
}

bool TakeSettingsNotice(PluginState& state, SettingsStore& store, std::string& text) {
    if (state.UnsavedReset) {
        state.UnsavedReset = false;
        text = "Twinkla couldn't read its stored settings and is running on the first-run "
               "settings. It couldn't keep a copy of the stored settings, so it has left them as "
               "they were.\n\nOK or Apply here stores the settings shown in their place.";
        return true;
    }
    const SettingsKey backup = store.OpenKey(kBackupKeyPath);
    uint8_t pending[4] = {};
    uint32_t size = sizeof pending;
    if (!backup || backup.Read(kBackupNoticeValue, pending, size) != ReadResult::Ok ||
        size != sizeof pending || pending[0] != 1 || pending[1] || pending[2] || pending[3]) {
        return false;
    }
    char made[40] = {};
    size = sizeof made - 1; // the zero after it stays
    if (backup.Read(kBackupMadeValue, made, size) != ReadResult::Ok) {
        made[0] = '\0';
    }
    // Marked said before it is shown; should that fail, it is said again on
    // the next open rather than never.
    WriteDword(store.CreateKey(kBackupKeyPath), kBackupNoticeValue, 0);

    text = "Twinkla couldn't read its stored settings and has reset them to the first-run "
           "settings.\n\nA copy of the settings as they were";
    if (made[0] != '\0') {
        text += std::string(", made ") + made + ",";
    }
    text += " is kept in the registry under HKEY_CURRENT_USER\\" TWINKLA_BACKUP_KEY_PATH
            ". To go back to them, run \"twinkla-host --restore-backup\", or copy that key back "
            "over HKEY_CURRENT_USER\\" TWINKLA_SETTINGS_KEY_PATH ".";
    return true;
}

std::string BackupTimeText(int64_t seconds) {
    // The civil date of a day count, by eras of 400 years that begin on
    // 1 March, so that the leap day ends each year.
    int64_t days = seconds / 86400;
    int64_t second = seconds % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    days += 719468; // from 1970-01-01 to 0000-03-01
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // 0 for March
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) {
        return "an unknown time";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", static_cast<int>(year),
                  month, day, static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                  static_cast<int>(second % 60));
    return text;
}
