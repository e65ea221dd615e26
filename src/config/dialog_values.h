#pragma once
// What the property, channel and output dialogs compute without a window:
// the hertz text of a bin, the band step, which list of sample types a mode
// shows, which channel a button stands for, where a dialog centres itself,
// and what the output fields are called and accept.

#include "analysis/channel_config.h"
#include "link/output_settings.h"

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

// The Output list, in list order: "Serial", "sACN (E1.31)", "Art-Net".
constexpr int kOutputKindCount = 3;
extern const char* const kOutputKindNames[kOutputKindCount];
// The kind at a list position (Serial for one the list doesn't have), and
// the position of a kind.
OutputKind OutputKindAt(int position);
int OutputKindPosition(OutputKind kind);

// The Universe field's caption for the output: "Universe" for sACN,
// "Port-address" for Art-Net (and for Serial, whose fields are disabled, the
// sACN one).
const char* UniverseCaption(OutputKind kind);
// What an empty address means for the output, said under the address field;
// "" for Serial.
const char* EmptyAddressHint(OutputKind kind);

// The output fields as typed: null when the output takes them, else the plain
// words that refuse them. A network output checks the address (already
// trimmed), then the universe, then the start channel; `...IsNumber` is
// whether the field held a number that fits 32 bits at all. Serial has none
// of these fields and refuses nothing here.
const char* OutputFieldsProblem(OutputKind kind, const char* address, bool universeIsNumber,
                                uint32_t universe, bool startChannelIsNumber,
                                uint32_t startChannel);

// Cuts the spaces and tabs before and after the text, in place.
void TrimSpaces(char* text);
