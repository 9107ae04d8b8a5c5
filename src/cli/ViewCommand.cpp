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

}  // namespace

int ViewCommand(int argc, char** argv) {
    static const CommandLine kCommandLine = {
        "view",
        {},
        false,
        1,
        "Использование: korvex-cli view [--] ФАЙЛ\n\n"
        "Читает запись так же, как окно просмотра, и выводит её строку файла,\n"
        "строку состояния, ошибки последовательности, если они есть, и последнее\n"
        "значение каждого показанного канала. \"--\" позволяет назвать файл, имя\n"
        "которого начинается с \"-\".\n",
        "Usage: korvex-cli view [--] FILE\n\n"
        "Reads a recording as the viewer window does and prints its file line, its\n"
        "status line, the sequence errors when there are any, and the latest value of\n"
        "each shown channel. \"--\" lets the file's name start with \"-\".\n",
        nullptr,
        nullptr,
    };
    std::vector<char*> files;
    const int status = ParseOptions(kCommandLine, argc, argv, nullptr, &files);
    if (status != kGoOn) return status;
    if (files.empty())
        return UsageError(kCommandLine, Tr("не задан файл записи", "no recording file given"));
    const std::string path = files[0];
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
