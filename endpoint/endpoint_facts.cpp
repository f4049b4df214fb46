#include "endpoint/endpoint_facts.h"

#include <cmath>

namespace {

char16_t foldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

} // namespace

bool sameEndpointId(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    return true;
}

std::optional<std::array<bool, endpointRoleCount>>
defaultRolesOf(const std::u16string& id, DeviceDirection direction,
               const EndpointDefaults& defaults) {
    const int d = direction == 'I' ? 0 : 1;
    if (!defaults.known[d])
        return std::nullopt;
    std::array<bool, endpointRoleCount> roles{};
    for (int role = 0; role < endpointRoleCount; ++role)
        roles[role] = !id.empty() && sameEndpointId(defaults.ids[d][role], id);
    return roles;
}

ExclusiveStatus stopReasonOf(EndpointAnswer answer) {
    if (answer == EndpointAnswer::Ok)
        return ExclusiveStatus::Ok;
    // Where nothing was asked, a refusal or a failure says only that.
    const ExclusiveStatus stop = probeStopOf(answer);
    return stop == ExclusiveStatus::Ok ? ExclusiveStatus::Unavailable : stop;
}

bool plausibleVolume(const VolumeReading& v) {
    const float all[] = {v.levelDb, v.scalar, v.minimumDb, v.maximumDb, v.stepDb};
    for (float f : all)
        if (!std::isfinite(f))
            return false;
    return v.scalar >= 0 && v.scalar <= 1;
}

std::vector<AudioSession> sessionsOf(const std::vector<SessionReading>& readings) {
    std::vector<AudioSession> sessions;
    for (const SessionReading& r : readings) {
        AudioSession s;
        s.processId = r.processId;
        s.state = r.state;
        s.systemSounds = r.systemSounds;
        if (r.programPath) {
            const std::size_t slash = r.programPath->find_last_of(u"\\/");
            s.program =
                slash == std::u16string::npos ? *r.programPath : r.programPath->substr(slash + 1);
            if (s.program->empty())
                s.program.reset();
        }
        sessions.push_back(std::move(s));
    }
    return sessions;
}
