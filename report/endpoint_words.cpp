#include "report/endpoint_words.h"

#include "endpoint/endpoint_vocabulary.h"
#include "report/endpoint_text.h"

#include <cstdio>

namespace {

std::string hexMask(DWORD mask) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(mask));
    return text;
}

} // namespace

std::string maskText(DWORD mask) {
    if (mask == 0)
        return "no channel mask";
    return "channel mask " + hexMask(mask) + " (" + speakerNames(mask) + ")";
}

std::string mixText(const FormatReading& mix) {
    std::string text = kilohertzText(mix.rate) + " kHz, " + std::to_string(mix.channels) +
                       (mix.channels == 1 ? " channel, " : " channels, ");
    text += mix.sample ? sampleTypeName(*mix.sample) : "unknown samples";
    text += ", ";
    text += mix.channelMask ? maskText(*mix.channelMask) : "no channel mask";
    return text;
}

const char* stateText(const std::optional<std::uint32_t>& state) {
    if (!state)
        return "unknown";
    switch (*state) {
    case endpointActive:
        return "active";
    case endpointDisabled:
        return "disabled";
    case endpointNotPresent:
        return "not present";
    case endpointUnplugged:
        return "unplugged (not connected)";
    default:
        return "unknown";
    }
}

std::string rolesText(const std::optional<std::array<bool, endpointRoleCount>>& roles) {
    if (!roles)
        return "unknown";
    std::string text;
    for (int role = 0; role < endpointRoleCount; ++role) {
        if (!(*roles)[role])
            continue;
        if (!text.empty())
            text += ", ";
        text += roleName(static_cast<EndpointRole>(role));
    }
    return text.empty() ? "none" : text;
}

std::string decimalText(double value, int places) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", places, roundedTo(value, places));
    std::string shown = text;
    if (shown.find('.') != std::string::npos) {
        while (shown.back() == '0')
            shown.pop_back();
        if (shown.back() == '.')
            shown.pop_back();
    }
    return shown;
}

std::string levelText(const VolumeReading& v) {
    return decimalText(v.levelDb, 2) + " dB (" + std::to_string(percentOf(v.scalar)) + "%), " +
           (v.muted ? "muted" : "not muted");
}

std::string volumeText(const VolumeReading& v) {
    return levelText(v) + "; range " + decimalText(v.minimumDb, 2) + " to " +
           decimalText(v.maximumDb, 2) + " dB in steps of " + decimalText(v.stepDb, 2) + " dB";
}

const char* sessionProgramWord(const AudioSession& s) {
    if (s.systemSounds)
        return "System sounds";
    return s.program ? nullptr : "unknown program";
}

std::string sessionProcessText(const AudioSession& s) {
    if (!s.processId || s.systemSounds)
        return std::string();
    return ", process " + std::to_string(*s.processId);
}
