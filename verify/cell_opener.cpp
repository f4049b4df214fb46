#include "verify/cell_opener.h"

#include <string>

namespace {

// Who holds the endpoint, as the report names them.
std::u16string holderName(const AudioSession& s) {
    if (s.systemSounds)
        return u"System sounds";
    if (s.program)
        return *s.program;
    if (!s.processId)
        return u"an unknown program";
    std::u16string name = u"process ";
    for (char c : std::to_string(*s.processId))
        name += static_cast<char16_t>(c);
    return name;
}

// The answers after which nothing more is opened on the endpoint.
OpensStatus stopOf(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::Busy:
        return OpensStatus::Busy;
    case EndpointAnswer::NotAllowed:
        return OpensStatus::NotAllowed;
    case EndpointAnswer::Gone:
    case EndpointAnswer::NotFound:
        return OpensStatus::Gone;
    case EndpointAnswer::AccessDenied:
        return OpensStatus::AccessDenied;
    default:
        return OpensStatus::Done;
    }
}

} // namespace

CellOpening startOpening(const ExclusiveFindings& findings,
                         const std::optional<std::vector<AudioSession>>& sessions) {
    CellOpening opening;
    CellOpens& opens = opening.opens;
    if (findings.status != ExclusiveStatus::Ok || findings.formats.empty())
        return opening;
    for (const ExclusiveFormat& f : findings.formats)
        opens.cells.emplace_back(f.rates.size());
    if (sessions)
        for (const AudioSession& s : *sessions)
            if (s.state == 1u)
                opens.holders.push_back(holderName(s));
    opens.status = opens.holders.empty() ? OpensStatus::Done : OpensStatus::InUse;
    opening.noSession = !sessions || sessions->empty();
    return opening;
}

bool moreToOpen(const CellOpening& opening, const std::vector<ExclusiveFormat>& formats) {
    return opening.opens.status == OpensStatus::Done && opening.next < formats.size() &&
           opening.next < opening.opens.cells.size();
}

void openNextFormat(CellOpening& opening, const std::vector<ExclusiveFormat>& formats,
                    const CellOpener& open) {
    if (!moreToOpen(opening, formats))
        return;
    const std::size_t i = opening.next++;
    const ExclusiveFormat& f = formats[i];
    for (std::size_t r = 0; r < f.rates.size() && r < opening.opens.cells[i].size(); ++r) {
        const WAVEFORMATEXTENSIBLE format = queryFormat(f.sample, f.channels, f.rates[r], f.shape);
        std::optional<EndpointAnswer> answer = open(format, opening.way);
        if (answer == EndpointAnswer::Busy && opening.way == OpenWay::EventCallback &&
            opening.noSession) {
            answer = open(format, OpenWay::NoEventCallback);
            if (answer && *answer != EndpointAnswer::Busy)
                opening.way = OpenWay::NoEventCallback;
        }
        if (!answer) {
            opening.opens.status = OpensStatus::TooSlow;
            return;
        }
        const OpensStatus stop = stopOf(*answer);
        if (stop != OpensStatus::Done) {
            opening.opens.status = stop;
            return;
        }
        CellOpen& cell = opening.opens.cells[i][r];
        cell.answer = *answer;
        cell.outcome = *answer != EndpointAnswer::Ok           ? CellOutcome::Failed
                       : opening.way == OpenWay::EventCallback ? CellOutcome::Opened
                                                               : CellOutcome::OpenedWithoutEvents;
        ++opening.tried;
    }
}
