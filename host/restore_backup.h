#pragma once
// --restore-backup: puts back the copy of the settings that the plug-in kept
// when a start couldn't read them and reset them, for support cases.

// Replaces HKCU\Software\Twinkla with the copy under HKCU\Software\Twinkla
// Backup, every value and subkey exactly as kept, without the copy's own
// "BackupMade" and "NoticePending". The copy stays, its notice marked said.
// The next creation then loads the settings, or, if they still can't be
// read, resets them again and keeps the same copy. Prints what it did; the
// program's exit status (7 when there is no copy or it couldn't be put back).
int RestoreSettingsBackup();
