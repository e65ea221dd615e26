#pragma once
// What registration writes and removes: the class under HKEY_CLASSES_ROOT and
// the entry under the player's Effects key through which the player finds us.

#include <windows.h>
#include <objbase.h>

HRESULT RegisterTwinkla() noexcept;
HRESULT UnregisterTwinkla() noexcept;

// Tells running players to rescan their plug-ins.
void BroadcastPluginAddRemove() noexcept;
