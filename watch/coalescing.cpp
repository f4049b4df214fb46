#include "watch/coalescing.h"

void DefaultBurst::hear(const EndpointNotice& notice) {
    if (!open) {
        open = true;
        change = Change();
        change.first = notice.at;
    }
    change.roles[static_cast<int>(notice.role)] = notice.id;
}

std::optional<std::int64_t> DefaultBurst::due() const {
    if (!open)
        return std::nullopt;
    return change.first.tick + defaultBurstMs;
}

DefaultBurst::Change DefaultBurst::take() {
    open = false;
    return std::move(change);
}

bool VolumeThrottle::hear(const EndpointNotice& notice) {
    last.kind = notice.kind;
    last.at = notice.at;
    last.scalar = notice.scalar;
    last.muted = notice.muted;
    if (held)
        return false;
    if (!lastLine || notice.at.tick >= *lastLine + volumeIntervalMs)
        return true;
    held = true;
    return false;
}

std::optional<std::int64_t> VolumeThrottle::due() const {
    if (!held)
        return std::nullopt;
    return *lastLine + volumeIntervalMs;
}

void VolumeThrottle::written(std::int64_t tick) {
    lastLine = tick;
    held = false;
}
