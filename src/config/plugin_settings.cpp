#include "config/plugin_settings.h"

#include "config/settings.h"
#include "config/settings_backup.h"

void PluginSettings::Initialize(const SacnCid& newSourceId) {
    InitializeSettings(state_, link_, output_, store_, newSourceId);
}

void PluginSettings::Save() {
    SaveSettings(state_, link_, store_);
}

bool PluginSettings::SetCurrentPreset(int32_t index) {
    return ::SetCurrentPreset(state_, link_, output_, store_, index);
}

bool PluginSettings::OpenOutput(const LinkSettings& wanted) {
    return ::OpenOutput(link_, output_, wanted);
}

void PluginSettings::DescribeOutput(char* text, size_t size) const {
    FormatOutputState(link_, output_.Health(), text, size);
}

bool PluginSettings::OutputProblem(char* text, size_t size) const {
    if (link_.Output == OutputKind::Serial) {
        return false;
    }
    const OutputHealth health = output_.Health();
    if (!IsOutputProblem(health)) {
        return false;
    }
    FormatOutputState(link_, health, text, size);
    return true;
}

bool PluginSettings::TakeNotice(std::string& text) {
    return TakeSettingsNotice(state_, store_, text);
}
