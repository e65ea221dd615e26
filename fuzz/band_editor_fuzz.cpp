// The band editor under a run of presses, moves and releases at any x, over
// any channel records, then one frame with the edited records. A press picks
// the first Frequency edge within a pixel, if any; a move changes at most
// the held edge of a draggable channel and its neighbour's touching edge,
// both to x, and keeps touching bands touching; nothing else ever changes.

#include "fuzz_input.h"
#include "frame_check.h"
#include "records.h"

#include "display/band_editor.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

enum Message : uint8_t { kPress, kMove, kRelease, kMessageCount };

bool InReach(int32_t x, int32_t edge) {
    return int64_t{edge} - 1 <= x && x <= int64_t{edge} + 1;
}

// The channel and edge (1: start) a press at x must pick, or -1.
int FirstEdge(const PluginState& s, int32_t x, uint8_t& startEdge) {
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = s.Channels[i];
        if (c.Mode == ModeFrequency && (InReach(x, c.FreqStart) || InReach(x, c.FreqEnd))) {
            startEdge = InReach(x, c.FreqStart);
            return i;
        }
    }
    return -1;
}

// Only a move changes anything: the edges of the held channel and of its
// neighbours, to x.
void CheckEdits(const PluginState& was, const PluginState& now, int32_t x, bool moving) {
    int changed = 0;
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig c = now.Channels[i];
        const ChannelConfig& w = was.Channels[i];
        for (auto [after, before] :
             {std::pair{&c.FreqStart, w.FreqStart}, {&c.FreqEnd, w.FreqEnd}}) {
            if (*after != before) {
                FUZZ_CHECK(moving && was.Dragging && *after == x);
                FUZZ_CHECK(i < was.DraggableChannels && i - was.SelectedChannel <= 1 &&
                           was.SelectedChannel - i <= 1);
                *after = before;
                ++changed;
            }
        }
        FUZZ_CHECK(RecordDifferences(c, w).empty());
    }
    FUZZ_CHECK(changed <= 2);
    for (int i = 0; i + 1 < was.DraggableChannels; ++i) {
        if (was.Channels[i].FreqEnd == was.Channels[i + 1].FreqStart) {
            FUZZ_CHECK(now.Channels[i].FreqEnd == now.Channels[i + 1].FreqStart);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    RecordingLink link;
    PluginState state;
    for (ChannelConfig& c : state.Channels) {
        c = ReadChannel(in);
    }
    const uint8_t flags = in.Byte();
    state.DrawFrequency = flags & 1;
    state.DrawPower = flags & 2;
    state.DrawChannels = flags & 4;
    state.DrawChannelNumbers = flags & 8;

    for (int messages = in.Byte(); messages > 0; --messages) {
        const uint8_t message = in.Byte() % kMessageCount;
        // The window hands over x as the low 16 bits of lParam, signed.
        const int32_t x = in.Int16();
        const PluginState was = state;
        switch (message) {
        case kPress: {
            BandEditPress(state, x);
            uint8_t startEdge = 0;
            const int picked = FirstEdge(was, x, startEdge);
            FUZZ_CHECK(state.Dragging == 1);
            FUZZ_CHECK(state.SelectedChannel == (picked < 0 ? was.SelectedChannel : picked));
            FUZZ_CHECK(state.DragStartEdge == (picked < 0 ? was.DragStartEdge : startEdge));
            CheckEdits(was, state, x, false);
            break;
        }
        case kMove:
            BandEditMove(state, x);
            FUZZ_CHECK(state.Dragging == was.Dragging &&
                       state.SelectedChannel == was.SelectedChannel);
            CheckEdits(was, state, x, true);
            break;
        case kRelease:
            BandEditRelease(state);
            FUZZ_CHECK(state.Dragging == 0 && state.SelectedChannel == -1);
            CheckEdits(was, state, x, false);
            break;
        }
    }

    const FrameSetup setup = ReadFrameSetup(in);
    link.portsExist = setup.portExists;
    LinkSettings com1;
    std::strcpy(com1.PortName, "COM1");
    com1.DeviceId = 1;
    link.Open(com1);
    RenderAndCheck(state, link, setup);
    return 0;
}
