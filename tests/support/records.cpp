#include "records.h"

const StoredChannelValue kStoredChannelValues[9] = {
    {"Address", ValueBinary, &ChannelConfig::Address, nullptr},
    {"Enabled", ValueBinary, &ChannelConfig::Enabled, nullptr},
    {"Mode", ValueDword, nullptr, &ChannelConfig::Mode},
    {"AudioChannel", ValueDword, nullptr, &ChannelConfig::AudioChannel},
    {"FreqMode", ValueDword, nullptr, &ChannelConfig::FreqMode},
    {"FreqStart", ValueDword, nullptr, &ChannelConfig::FreqStart},
    {"FreqEnd", ValueDword, nullptr, &ChannelConfig::FreqEnd},
    {"FreqWidth", ValueDword, nullptr, &ChannelConfig::FreqWidth},
    {"PowerMode", ValueDword, nullptr, &ChannelConfig::PowerMode},
};

std::vector<uint8_t> StoredChannelValue::Bytes(const ChannelConfig& c) const {
    if (byte != nullptr) {
        return {c.*byte};
    }
    const uint32_t v = static_cast<uint32_t>(c.*number);
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

namespace {

void Note(std::string& out, const std::string& field, int64_t actual, int64_t expected) {
    if (actual == expected) {
        return;
    }
    if (!out.empty()) {
        out += "; ";
    }
    out += field + " " + std::to_string(actual) + ", expected " + std::to_string(expected);
}

} // namespace

std::string RecordDifferences(const ChannelConfig& actual, const ChannelConfig& expected,
                              bool storedOnly) {
    std::string out;
    for (const StoredChannelValue& value : kStoredChannelValues) {
        Note(out, value.name, value.Of(actual), value.Of(expected));
    }
    if (storedOnly) {
        return out;
    }
    Note(out, "ZeroPending", actual.ZeroPending, expected.ZeroPending);
    for (int h = 0; h < kHistoryLength; ++h) {
        Note(out, "History[" + std::to_string(h) + "]", actual.History[h], expected.History[h]);
    }
    return out;
}
