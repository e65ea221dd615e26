#pragma once
// One analysed and drawn frame with checked properties, for the targets that
// end with the records they produced: levels within their mode's range, the
// levels sent being the ones analysed, the frame's own parts drawn inside the
// rectangle, one indicator per drawn record, and the device context's object
// rules.

#include "fuzz_input.h"

#include "analysis/plugin_state.h"
#include "display/canvas.h"
#include "link/level_sink.h"
#include "wmp/timed_level.h"

#include <string>
#include <utility>
#include <vector>

// An output in memory with the real link's rules for Open.
class FuzzLink final : public OutputLink {
public:
    bool portExists = true; // whether Open finds the port
    uint8_t DeviceId = 1;   // the id the levels sent are encoded for
    std::vector<std::pair<int, int32_t>> sent;

    bool IsOpen() const override { return open_; }
    void SendFrame(const ChannelLevel* levels, size_t count) override;
    void SetLevel(int channelIndex, int32_t level) override;
    bool Open(const LinkSettings& settings) override;
    void Adopt(const LinkSettings& settings) override { DeviceId = settings.DeviceId; }

private:
    bool open_ = false;
};

// The rectangle (never inverted), whether the port opens, and the audio.
struct FrameSetup {
    Rect rect;
    bool portExists;
    TimedLevel frame;
};
// Reads everything left: the audio repeats what remains after the header.
FrameSetup ReadFrameSetup(FuzzInput& in);
void WriteFrameSetup(FuzzOutput& out, const Rect& rect, bool portExists,
                     const std::vector<uint8_t>& audio);

// A record as the fuzzer lays it out: persistent fields whole, the owed zero
// as a flag and the history as band maxima, the only values they can hold.
ChannelConfig ReadChannel(FuzzInput& in);
void WriteChannel(FuzzOutput& out, const ChannelConfig& c);

// Renders one frame of `state` into `link` and checks it.
void RenderAndCheck(PluginState& state, FuzzLink& link, const FrameSetup& setup);

bool SamePersistentFields(const ChannelConfig& a, const ChannelConfig& b);
