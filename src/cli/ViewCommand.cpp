// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "files/ComtradeReader.h"
#include "files/RecordingData.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"

namespace korvex::cli {

namespace {

class Counter : public RowSink {
public:
    void OnRow(const double*, int) override { ++rows; }
    void OnSampleRate(double r) override { rate = r; }
    void OnSeqError() override { ++seq_errors; }
    size_t TailRowsNeeded() const override { return 1; }  // the latest values only
    void OnRowsSkipped(long count) override { rows += count; }

    long rows = 0;
    int seq_errors = 0;
    double rate = 0.0;
};

// A COMTRADE record, read whole, printed as a recording is.
int ViewRecord(const std::string& path) {
    RecordingData data;
    std::string error;
    if (!data.Load(path, &error)) {
        ShowError(error);
        return 1;
    }
    const RecordingInfo& info = data.info();
    std::printf("File: %s ,  %d channels\n", path.c_str(), info.channels);
    if (!info.file_value.empty()) std::printf("Source: %s\n", info.file_value.c_str());
    CFprintf(stdout,
             "Time=%.2d:%.2d:%.2d , Fsam=%.2lf Hz , Samples=%.3lf K , File Length=%.3lf MB\n", 0, 0,
             0, 1.0 / data.step(), data.rows() / 1000.0, data.file_size() / 1048576.0);
    for (int c = 0; c < info.channels; ++c)
        CFprintf(stdout, "%-12s %.3f\n", info.names[size_t(c)].c_str(),
                 data.rows() ? data.value(c, data.rows() - 1) : 0.0);
    return 0;
}

}  // namespace

int ViewCommand(int argc, char** argv) {
    static const CommandLine kCommandLine = {
        "view",
        {},
        false,
        1,
        "Использование: korvex-cli view [--] ФАЙЛ\n\n"
        "Читает запись (или .cfg записи COMTRADE) так же, как окно просмотра, и\n"
        "выводит её строку файла, строку состояния, ошибки последовательности, если\n"
        "они есть, и последнее значение каждого показанного канала. \"--\" позволяет\n"
        "назвать файл, имя которого начинается с \"-\".\n",
        "Usage: korvex-cli view [--] FILE\n\n"
        "Reads a recording (or a COMTRADE record's .cfg) as the viewer window does and\n"
        "prints its file line, its status line, the sequence errors when there are any,\n"
        "and the latest value of each shown channel. \"--\" lets the file's name start\n"
        "with \"-\".\n",
        nullptr,
        nullptr,
    };
    std::vector<char*> files;
    const int status = ParseOptions(kCommandLine, argc, argv, nullptr, &files);
    if (status != kGoOn) return status;
    if (files.empty())
        return UsageError(kCommandLine, Tr("не задан файл записи", "no recording file given"));
    const std::string path = files[0];
    if (IsComtradePath(path)) return ViewRecord(path);
    RecordingHeader header;
    uint64_t consumed = 0;
    std::string error;
    // A recording named on the command line is read as finished: its last line counts
    // even without a line end.
    if (ReadRecordingHeader(path, &header, &consumed, &error, true) != 0) {
        ShowError(error);
        return 1;
    }
    RecordingFollower follower;
    if (!follower.Open(path, consumed, header.shown, &error)) {
        ShowError(error);
        return 1;
    }
    follower.set_finished(true);
    Counter counter;
    if (follower.Poll(counter) < 0) {
        ShowError(StrPrintf("Open File '%s' error", path.c_str()));
        return 1;
    }
    std::string extra = header.num_chan > header.shown ? StrPrintf(" (%d)", header.num_chan) : "";
    std::printf("File: %s ,  %d%s channels\n", path.c_str(), header.shown, extra.c_str());
    if (!header.file_value.empty()) std::printf("Source: %s\n", header.file_value.c_str());
    CFprintf(stdout,
             "Time=%.2d:%.2d:%.2d , Fsam=%.2lf Hz , Samples=%.3lf K , File Length=%.3lf MB\n", 0, 0,
             0, counter.rate, counter.rows / 1000.0, follower.file_length() / 1048576.0);
    if (counter.seq_errors) std::printf("Seq. Errors: %d\n", counter.seq_errors);
    const double* v = follower.values();
    for (int c = 0; c < header.shown; ++c)
        CFprintf(stdout, "%-12s %.3f\n", header.names[size_t(c)].c_str(),
                 counter.rows ? v[c] : 0.0);
    return 0;
}

}  // namespace korvex::cli
