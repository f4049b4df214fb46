#include "endpoint/endpoint_vocabulary.h"

#include "endpoint/endpoint_facts.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

// In the order the service numbers form factors.
const char* const formFactorNames[] = {
    "remote network device",
    "speakers",
    "line",
    "headphones",
    "microphone",
    "headset",
    "handset",
    "digital passthrough",
    "S/PDIF",
    "digital display",
    "unknown",
};

// The kernel-streaming node types of a display's jack.
const struct {
    const char16_t* guid;
    const char* name;
} displayJacks[] = {
    {u"{D1B9CC2A-F519-417F-91C9-55FA65481001}", "HDMI"},        // KSNODETYPE_HDMI_INTERFACE
    {u"{E47E4031-3EA6-418D-8F9B-B73843CCBA97}", "DisplayPort"}, // KSNODETYPE_DISPLAYPORT_INTERFACE
};

// In bit order, from bit 0.
const char* const speakers[] = {
    "FL", "FR", "FC", "LFE", "BL",  "BR",  "FLC", "FRC", "BC",
    "SL", "SR", "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR",
};

} // namespace

const char* formFactorName(std::uint32_t formFactor,
                           const std::optional<std::u16string>& jackSubtype) {
    if (formFactor == formFactorDigitalDisplay && jackSubtype)
        for (const auto& jack : displayJacks)
            if (sameEndpointId(*jackSubtype, jack.guid))
                return jack.name;
    return formFactor < std::size(formFactorNames) ? formFactorNames[formFactor] : "unknown";
}

const char* roleName(EndpointRole role) {
    switch (role) {
    case EndpointRole::Console:
        return "console";
    case EndpointRole::Multimedia:
        return "multimedia";
    case EndpointRole::Communications:
        return "communications";
    }
    return "unknown";
}

const char* exclusiveStatusName(ExclusiveStatus status) {
    switch (status) {
    case ExclusiveStatus::Ok:
        return "ok";
    case ExclusiveStatus::NotAllowed:
        return "not allowed";
    case ExclusiveStatus::Busy:
        return "busy";
    case ExclusiveStatus::Gone:
        return "gone";
    case ExclusiveStatus::AccessDenied:
        return "access denied";
    case ExclusiveStatus::Unavailable:
        return "unavailable";
    case ExclusiveStatus::NotAnswering:
        return "not answering";
    case ExclusiveStatus::Inactive:
        return "inactive";
    case ExclusiveStatus::TooSlow:
        return "too slow";
    }
    return "unavailable";
}

const char* endpointStateName(std::uint32_t state) {
    switch (state) {
    case endpointActive:
        return "active";
    case endpointDisabled:
        return "disabled";
    case endpointNotPresent:
        return "notPresent";
    case endpointUnplugged:
        return "unplugged";
    default:
        return nullptr;
    }
}

const char* sessionStateName(std::uint32_t state) {
    const char* const names[] = {"inactive", "active", "expired"};
    return state < std::size(names) ? names[state] : nullptr;
}

double roundedTo(double value, int places) {
    double scale = 1;
    for (int i = 0; i < places; ++i)
        scale *= 10;
    const double rounded = std::round(value * scale) / scale;
    return rounded == 0 ? 0 : rounded; // never "-0"
}

double periodMilliseconds(std::int64_t period) {
    return roundedTo(static_cast<double>(period) / 10000, 4);
}

long percentOf(float scalar) {
    return std::lround(roundedTo(static_cast<double>(scalar) * 100, 0));
}

std::string speakerNames(DWORD channelMask) {
    std::string names;
    for (std::size_t bit = 0; bit < std::size(speakers); ++bit) {
        if ((channelMask & (DWORD{1} << bit)) == 0)
            continue;
        if (!names.empty())
            names += ' ';
        names += speakers[bit];
    }
    const DWORD rest = channelMask & ~((DWORD{1} << std::size(speakers)) - 1);
    if (rest != 0) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(rest));
        if (!names.empty())
            names += ' ';
        names += text;
    }
    return names;
}
