// The verify mode's words in the text report: what opening each exclusive line's
// rates gave, and the endpoint's line that sums its opens up.
#pragma once

#include "output/report_stream.h"
#include "verify/cell_opens.h"

#include <string>
#include <vector>

// After a line's rates: "opened", "opened without event callback", "opened
// 48 kHz; claimed but failed: 16 kHz (stream not created)", "claimed but
// failed: unsupported format"; empty when none of them was tried.
std::string opensSuffixText(const std::vector<DWORD>& rates, const std::vector<CellOpen>& cells);

// The value of the endpoint's Verify line: "8 of 8 formats opened", "in use by
// firefox.exe, not opened", "device busy (another program holds it); 3 of 8
// formats opened", ...
void writeOpensLine(ReportStream& out, const CellOpens& opens);
