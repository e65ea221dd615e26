#pragma once
// Channel level analysis: one audio frame to 16 channel levels.

#include "analysis/channel_config.h"
#include "wmp/timed_level.h"

#include <cstdint>

// Fills levels[i] for each enabled record i whose mode yields a level and
// advances the History of Normalized records. Entries of records that yield
// no level are left as they are (the frame pipeline zeroes them first).
void AnalyzeChannels(const TimedLevel& frame, ChannelTable& channels, LevelTable& levels);

// Local maxima of one audio channel's waveform: places where it turns from
// rising to falling. Equal neighbours neither start nor end a rise.
int32_t CountPeaks(const unsigned char (&waveform)[kBinCount]);

// One record's level for this frame, or false when the record yields none.
bool AnalyzeChannel(const TimedLevel& frame, ChannelConfig& channel, int32_t& level);
