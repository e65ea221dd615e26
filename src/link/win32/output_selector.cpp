#include "link/win32/output_selector.h"

#include "link/win32/controller_link.h"
#include "link/win32/network_output.h"

#include <new>

OutputSelector::OutputSelector() = default;

OutputSelector::~OutputSelector() {
    if (!stopped_) {
        Close();
    }
}

bool OutputSelector::IsOpen() const {
    if (serial_) {
        return serial_->IsOpen();
    }
    return network_ && network_->IsOpen();
}

void OutputSelector::Drop() {
    if (serial_) {
        serial_->Close();
        serial_.reset();
    }
    if (network_) {
        network_->Close();
        network_.reset();
    }
}

bool OutputSelector::Open(const LinkSettings& settings) {
    if (stopped_ || !AcceptsOutput(settings)) {
        return false;
    }
    if (settings.Output == OutputKind::Serial) {
        if (!serial_) {
            Drop();
            serial_.reset(new (std::nothrow) ControllerLink());
        }
        return serial_ && serial_->Open(settings);
    }
    if (!network_) {
        Drop();
        network_.reset(new (std::nothrow) NetworkOutput());
    }
    return network_ && network_->Open(settings);
}

void OutputSelector::Adopt(const LinkSettings& settings) {
    if (serial_) {
        serial_->Adopt(settings);
    } else if (network_) {
        network_->Adopt(settings);
    }
}

void OutputSelector::SendFrame(const ChannelLevel* levels, size_t count) {
    if (serial_) {
        serial_->SendFrame(levels, count);
    } else if (network_) {
        network_->SendFrame(levels, count);
    }
}

void OutputSelector::SetLevel(int channelIndex, int32_t level) {
    if (serial_) {
        serial_->SetLevel(channelIndex, level);
    } else if (network_) {
        network_->SetLevel(channelIndex, level);
    }
}

void OutputSelector::Close() {
    stopped_ = true;
    Drop();
}

void OutputSelector::Abandon() {
    stopped_ = true;
    // The engines are destroyed with the selector, after Abandon: their
    // destructors then wait for nothing.
    if (serial_) {
        serial_->Abandon();
    }
    if (network_) {
        network_->Abandon();
    }
}

OutputHealth OutputSelector::Health() const {
    if (serial_) {
        return serial_->Health();
    }
    return network_ ? network_->Health() : OutputHealth::Closed;
}
