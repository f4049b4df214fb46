// What opening the exclusive cells a driver claims gave: per cell of the
// probe's findings, whether a real stream opened, and per endpoint why not all
// were tried.
#pragma once

#include "platform/endpoint_services.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class CellOutcome : std::uint8_t {
    NotTried,
    Opened,              // event-driven, as a player opens it
    OpenedWithoutEvents, // only without the event callback (Wine's stub answers "in use")
    Failed,              // claimed, but the open answered `answer`
};

struct CellOpen {
    CellOutcome outcome = CellOutcome::NotTried;
    EndpointAnswer answer = EndpointAnswer::Ok; // for Failed
};
bool operator==(const CellOpen& a, const CellOpen& b);
bool operator!=(const CellOpen& a, const CellOpen& b);

// Done, or why the endpoint's cells were not all tried: nothing was listed, a
// program has an active session on it (nothing opened), or an open answered
// what ends the endpoint, hung, or ran past the endpoint's time; Unavailable
// when memory ran out.
enum class OpensStatus {
    Done,
    NothingListed,
    InUse,
    Busy,
    NotAllowed,
    Gone,
    AccessDenied,
    NotAnswering,
    TooSlow,
    Unavailable,
};

struct CellOpens {
    OpensStatus status = OpensStatus::NothingListed;
    // Per format of the findings, per rate, in their order.
    std::vector<std::vector<CellOpen>> cells;
    // InUse: who, by the program's file name, "System sounds" or "process N".
    std::vector<std::u16string> holders;

    std::size_t listed() const;
    std::size_t counted(CellOutcome outcome) const;
};

// The rates of one listed format that opening gave the same, in the order:
// opened, opened without the event callback, each failure in the order of its
// first rate, not tried.
struct OpenGroup {
    CellOpen open;
    std::vector<DWORD> rates; // rising
};
std::vector<OpenGroup> openGroups(const std::vector<DWORD>& rates,
                                  const std::vector<CellOpen>& cells);
