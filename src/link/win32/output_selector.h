#pragma once
// OutputSelector: the output the settings name. It holds one engine at a
// time, the serial ControllerLink or the NetworkOutput, and hands everything
// to it; an Open for another kind of output closes the engine it holds
// (writing or sending what is pending first) and starts the other. While a
// network output is chosen no serial engine exists, so the serial port stays
// closed.
//
// Threads and the loader lock as for the engines: Open, Close and the frame
// calls on the owner's thread; Abandon instead of Close inside DllMain.

#include "link/level_sink.h"
#include "link/output_state.h"

#include <memory>

class ControllerLink;
class NetworkOutput;

class OutputSelector final : public OutputLink {
public:
    OutputSelector();
    OutputSelector(const OutputSelector&) = delete;
    OutputSelector& operator=(const OutputSelector&) = delete;
    // Close, unless Close or Abandon has run.
    ~OutputSelector();

    bool IsOpen() const override;
    // Refuses (false, nothing changes) what AcceptsOutput refuses. Otherwise
    // takes the engine for the settings' kind, starting it if the one held
    // is of another kind, and opens it: false when it can't be opened.
    bool Open(const LinkSettings& settings) override;
    void Adopt(const LinkSettings& settings) override;
    // The engine's; Closed before any Open.
    OutputHealth Health() const override;
    void SendFrame(const ChannelLevel* levels, size_t count) override;
    void SetLevel(int channelIndex, int32_t level) override;

    // Closes the engine held and stops its thread (see the engines).
    void Close();
    // Close for loader-lock context.
    void Abandon();

private:
    void Drop();

    std::unique_ptr<ControllerLink> serial_;
    std::unique_ptr<NetworkOutput> network_;
    bool stopped_ = false;
};
