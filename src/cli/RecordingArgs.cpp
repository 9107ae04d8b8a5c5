// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RecordingArgs.h"

#include <cstdio>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "files/RecordingStats.h"

namespace korvex::cli {

std::string RecordingArgs::TakeTime(std::string_view option, const char* value) {
    double v = 0;
    if (!ParseSeconds(value, -1e-300, 1e12, &v))
        return StrPrintf(
            Tr("%s требует время в секундах, а не '%s'", "%s needs a time in seconds, not '%s'"),
            std::string(option).c_str(), value);
    (option == "--from" ? from : to) = v;
    (option == "--from" ? has_from : has_to) = true;
    return {};
}

void NotePendingRow(unsigned long long bytes) {
    CFprintf(stderr,
             Tr("Примечание: последние байты (%llu) - строка, которая ещё пишется; она не "
                "учтена\n",
                "Note: the last %llu bytes are a row still being written and are left out\n"),
             bytes);
}

bool LoadRecording(const RecordingArgs& args, RecordingData* data, size_t* begin, size_t* end) {
    std::string error;
    if (!data->Load(args.path, &error)) {
        ShowError(error);
        return false;
    }
    if (data->pending_bytes()) NotePendingRow(data->pending_bytes());
    if (data->rows() == 0) {
        ShowError(
            StrPrintf(Tr("В '%s' нет ни одной строки", "'%s' holds no rows"), args.path.c_str()));
        return false;
    }
    double from = args.has_from ? args.from : 0.0;
    double to = args.has_to ? args.to : data->duration();
    if (!RowsBetween(*data, from, to, begin, end)) {
        ShowError(StrPrintf(Tr("Нет строк между %.6f с и %.6f с (запись кончается на %.6f с)",
                               "No rows between %.6f s and %.6f s (the recording ends at %.6f s)"),
                            from, to, data->duration()));
        return false;
    }
    return true;
}

}  // namespace korvex::cli
