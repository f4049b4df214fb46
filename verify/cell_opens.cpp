#include "verify/cell_opens.h"

bool operator==(const CellOpen& a, const CellOpen& b) {
    return a.outcome == b.outcome && (a.outcome != CellOutcome::Failed || a.answer == b.answer);
}

bool operator!=(const CellOpen& a, const CellOpen& b) {
    return !(a == b);
}

std::size_t CellOpens::listed() const {
    std::size_t count = 0;
    for (const std::vector<CellOpen>& format : cells)
        count += format.size();
    return count;
}

std::size_t CellOpens::counted(CellOutcome outcome) const {
    std::size_t count = 0;
    for (const std::vector<CellOpen>& format : cells)
        for (const CellOpen& cell : format)
            count += cell.outcome == outcome ? 1 : 0;
    return count;
}

std::vector<OpenGroup> openGroups(const std::vector<DWORD>& rates,
                                  const std::vector<CellOpen>& cells) {
    std::vector<OpenGroup> groups;
    for (CellOutcome outcome : {CellOutcome::Opened, CellOutcome::OpenedWithoutEvents,
                                CellOutcome::Failed, CellOutcome::NotTried}) {
        const std::size_t first = groups.size();
        for (std::size_t i = 0; i < rates.size() && i < cells.size(); ++i) {
            if (cells[i].outcome != outcome)
                continue;
            std::size_t g = first;
            while (g < groups.size() && groups[g].open != cells[i])
                ++g;
            if (g == groups.size())
                groups.push_back({cells[i], {}});
            groups[g].rates.push_back(rates[i]);
        }
    }
    return groups;
}
