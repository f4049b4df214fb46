#include "report/opens_text.h"

#include "report/endpoint_text.h"
#include "verify/opens_vocabulary.h"

namespace {

const char* stopText(OpensStatus status) {
    switch (status) {
    case OpensStatus::Busy:
        return "device busy (another program holds it)";
    case OpensStatus::NotAllowed:
        return "not allowed: exclusive control is turned off for this device";
    case OpensStatus::Gone:
        return "device gone";
    case OpensStatus::AccessDenied:
        return "access denied (Windows privacy settings)";
    case OpensStatus::NotAnswering:
        return "not answering";
    case OpensStatus::TooSlow:
        return "too slow: not all opened within the time an endpoint may take";
    default:
        return "could not be opened";
    }
}

std::string openedCount(const CellOpens& opens) {
    const std::size_t opened =
        opens.counted(CellOutcome::Opened) + opens.counted(CellOutcome::OpenedWithoutEvents);
    return std::to_string(opened) + " of " + std::to_string(opens.listed()) +
           (opens.listed() == 1 ? " format opened" : " formats opened");
}

} // namespace

std::string opensSuffixText(const std::vector<DWORD>& rates, const std::vector<CellOpen>& cells) {
    const std::vector<OpenGroup> groups = openGroups(rates, cells);
    if (groups.empty() || groups[0].open.outcome == CellOutcome::NotTried)
        return "";
    // One outcome for every rate needs no rates of its own.
    const bool alone = groups.size() == 1;
    const auto at = [alone](const OpenGroup& g) {
        return alone ? std::string() : " " + rateListText(g.rates) + " kHz";
    };
    std::string text;
    std::string failed;
    for (const OpenGroup& g : groups) {
        std::string part;
        switch (g.open.outcome) {
        case CellOutcome::Opened:
            part = "opened" + at(g);
            break;
        case CellOutcome::OpenedWithoutEvents:
            part = "opened without event callback" + at(g);
            break;
        case CellOutcome::Failed:
            failed += failed.empty() ? "claimed but failed: " : ", ";
            failed += alone
                          ? std::string(openAnswerName(g.open.answer))
                          : rateListText(g.rates) + " kHz (" + openAnswerName(g.open.answer) + ")";
            continue;
        case CellOutcome::NotTried:
            part = "not tried" + at(g);
            break;
        }
        // The failures stand together, before what was not tried.
        if (g.open.outcome == CellOutcome::NotTried && !failed.empty()) {
            text += (text.empty() ? "" : "; ") + failed;
            failed.clear();
        }
        text += (text.empty() ? "" : "; ") + part;
    }
    if (!failed.empty())
        text += (text.empty() ? "" : "; ") + failed;
    return text;
}

void writeOpensLine(ReportStream& out, const CellOpens& opens) {
    switch (opens.status) {
    case OpensStatus::Done: {
        out << openedCount(opens);
        const std::size_t failed = opens.counted(CellOutcome::Failed);
        if (failed > 0)
            out << ", " << failed << " claimed but failed";
        return;
    }
    case OpensStatus::NothingListed:
        out << "nothing to open";
        return;
    case OpensStatus::InUse:
        out << "in use by ";
        for (const std::u16string& holder : opens.holders)
            out.serviceText(holder) << ", ";
        out << "not opened";
        return;
    default:
        out << stopText(opens.status) << "; " << openedCount(opens);
        return;
    }
}
