// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/StopToken.h"
#include "link/LinkSettings.h"

namespace korvex {

// What a run shows as it goes; called on the run's thread.
struct DiaryRunEvents {
    // The progress bar's range (0 to `maximum`) and position. The range is 100 until the
    // diaries and parameter sets are counted, then their total (modulo 65536).
    std::function<void(int maximum)> progress_range;
    std::function<void(int position)> progress_position;
};

struct DiaryRunResult {
    bool linked = false;                // the port was opened in ModBus mode
    std::string report_path;            // the report, once it was created
    bool complete = false;              // the report was written to its end: show it
    std::vector<std::string> messages;  // to show, in order
    uint32_t link_status = 0;           // of the last link call; chose the end step
};

// Reads the regulator's identification, clock, event diaries and parameter sets into a
// new report in the data directory, "<identification>(<channel>).info.txt" behind the
// time prefix, and ends the link: the exit message when the last link call succeeded,
// else only a close of the port. The regulator is switched into ModBus with key 0 at
// 115200 baud, even parity. Each message text is read once per code per run; a code at
// or beyond the text count, or above 999, has an empty text. Without diaries the diary
// part is empty and the parameter sets are still read. `stop`, when asked from another
// thread, rides on the port: it wakes the exchange in progress at once and ends the run
// without a message, and the regulator is still taken out of ModBus mode. The first failed write of
// the report (a full disk) ends the run at once: the report keeps its whole lines, and
// the link is ended as after a good exchange.
// Messages: the link's own, "Open File error", "Too  much messages !", "Error 1" ...
// "Error 6", "Parameter Read Name Error", "Bad Length (Read Param Value)",
// "Write File error: %s" with the system's reason ("No space left on device").
DiaryRunResult ReadDiariesAndParameters(const LinkSettings& settings, const DiaryRunEvents& events,
                                        const StopToken* stop = nullptr);

}  // namespace korvex
