#pragma once
// What the property and channel dialogs compute without a window: the hertz
// text of a bin, the band step, which list of sample types a mode shows, which
// channel a button stands for, and where a dialog centres itself.

#include "analysis/channel_config.h"

#include <cstdint>

// Room for the longest hertz text (that of INT32_MIN) and its terminator.
constexpr int kHertzTextSize = 20;

// Bin b as "%.2f" of b × 21.513671875 + 20 Hz, a halfway value going to the
// two-decimal number farther from zero: bin 0 is "20.00", bin 1024 "22050.00".
void BinToHertzText(int32_t bin, char (&text)[kHertzTextSize]);

// One step of an up-down control: the bin moves against the proposed delta
// (the up arrow proposes -1) and stays within 0..1023.
int32_t StepBin(int32_t bin, int32_t delta);

// The Type list (Mode) and the Channel list (AudioChannel), in list order.
constexpr int kTypeCount = 2;
extern const char* const kTypeNames[kTypeCount];
constexpr int kAudioChannelCount = 2;
extern const char* const kAudioChannelNames[kAudioChannelCount];

// What the Sample Type list shows for a mode: the Frequency sub-modes, the
// Power sub-modes, or nothing; and which field of the record its selection
// edits, so that each set keeps its own selection.
struct SampleTypeList {
    const char* const* names;      // null when the list stays empty
    int count;                     // 0 when the list stays empty
    int32_t ChannelConfig::*field; // FreqMode, PowerMode, or null
};
SampleTypeList SampleTypesFor(int32_t mode);

// The channel index a property dialog button stands for ("Channel 1" is 225,
// "Channel 2".."Channel 16" are 229..243), or -1 for any other control.
int ChannelIndexForButton(int controlId);

// Where a dialog of width w and height h goes: centred on the reference
// rectangle (its owner, or the work area), then pushed back inside the work
// area, left and top edges first.
struct ScreenRect {
    int32_t left, top, right, bottom;
};
struct ScreenPoint {
    int32_t x, y;
};
ScreenPoint CentredPosition(int32_t width, int32_t height, const ScreenRect& reference,
                            const ScreenRect& workArea);
