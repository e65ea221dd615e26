// Defines the player's interface ids: those mingw-w64's wmp.h declares with
// DEFINE_GUID (IWMPEvents, IWMPCore) and the visualization interfaces that we
// declare ourselves. Shared by the plug-in and the player stand-in.
#include <initguid.h>

#include "wmp/win32/wmp_effects.h"

#include <wmp.h>

const IID IID_IWMPEffects = {
    0xD3984C13, 0xC3CB, 0x48E2, {0x8B, 0xE5, 0x51, 0x68, 0x34, 0x0B, 0x4F, 0x35}};
const IID IID_IWMPEffects2 = {
    0x695386EC, 0xAA3C, 0x4618, {0xA5, 0xE1, 0xDD, 0x9A, 0x8B, 0x98, 0x76, 0x32}};
