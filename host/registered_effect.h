#pragma once
// The player's first step with a visualization: its class id under the
// player's Effects key, then CoCreateInstance asking for IWMPEffects2.

#include "wmp/win32/wmp_effects.h"

#include <string>

// REGDB_E_CLASSNOTREG when no visualization `name` is registered (or its
// class id can't be read); otherwise CoCreateInstance's result.
HRESULT CreateRegisteredEffect(const std::string& name, IWMPEffects2** effects);
