// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/DiaryRun.h"

#include <errno.h>

#include <ctime>

#include "app/StrPrintf.h"
#include "app/Version.h"
#include "diary/DeviceVersion.h"
#include "diary/DiaryBlock.h"
#include "diary/DiaryReport.h"
#include "diary/ServiceChannel.h"
#include "files/DataDirectory.h"
#include "files/FileAccess.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"

namespace korvex {

namespace {

constexpr uint8_t kSlave = kDiarySlave;

// One run, step by step. Every link call keeps its status; a failure ends the run with
// its message (Stop), and the end step chooses how the link goes by the last status.
class DiaryRun {
public:
    DiaryRun(const LinkSettings& settings, const DiaryRunEvents& events, const StopToken* stop)
        : settings_(settings), events_(events), stop_(stop) {}

    DiaryRunResult Run();

private:
    // A link call's outcome: false (the run stops) on a failure, with its message.
    bool Link(uint32_t code, const std::string& err) {
        if (Woken(code)) return false;
        result_.link_status = code;
        if (code) result_.messages.push_back(err);
        return code == 0 && !Stopped();
    }
    bool Stopped() const { return StopRequested(stop_); }
    // An exchange the stop woke: the link is sound, and the stop says nothing.
    bool Woken(uint32_t code) const { return code == kRS232Cancelled && Stopped(); }
    bool Service(const ServiceResult& r) {
        if (Woken(r.code)) return false;
        result_.link_status = r.code;
        for (const auto& m : r.messages) result_.messages.push_back(m);
        return r.ok() && !Stopped();
    }
    bool ReadBlock(uint16_t reg, uint16_t num, uint16_t* out) {
        std::string err;
        return Link(ReadDiaryRegisters(port_, reg, num, out, input_, &err), err);
    }
    bool WriteSelector(uint16_t value) {
        std::string err;
        return Link(ModBus_WriteSingleReg(port_, kSlave, kDiarySelectorReg, value, &err), err);
    }
    bool ReadHolding(uint16_t reg, uint16_t num, uint16_t* out) {
        std::string err;
        return Link(ModBus_ReadHldReg(port_, kSlave, reg, num, out, &err), err);
    }
    // A report write's outcome: false (the run stops at once) on the first failure, with
    // its message; the report keeps its whole lines.
    bool Wrote(bool ok) {
        if (!ok) result_.messages.push_back(WriteError(report_->error()));
        return ok;
    }
    static std::string WriteError(int error) {
        return StrPrintf("Write File error: %s", ErrnoText(error ? error : EIO).c_str());
    }
    void Progress() {
        ++position_;
        if (events_.progress_position) events_.progress_position(int(position_ & 0xFFFF));
    }
    bool Steps();
    bool Diaries();
    bool ParameterSets();

    const LinkSettings& settings_;
    const DiaryRunEvents& events_;
    const StopToken* stop_;
    DiaryRunResult result_;
    RS232Port* port_ = nullptr;
    FILE* report_file_ = nullptr;
    DiaryReport* report_ = nullptr;

    bool input_ = false;
    int diaries_ = 0;
    uint16_t window_base_ = 0, text_count_ = 0;
    uint16_t capacity_[2] = {0, 0};
    DiaryExtent extent_[2];
    std::vector<std::string> texts_;
    std::vector<bool> text_read_;
    std::vector<ParameterSet> sets_;
    uint32_t total_ = 0, position_ = 0;
};

DiaryRunResult DiaryRun::Run() {
    std::string err;
    port_ = TSR_RS232_Open_ModBus(settings_.port_name, kKeyDiary, 115200, kParityEven, &err);
    if (!port_) {
        result_.messages.push_back(err);
        return result_;
    }
    result_.linked = true;
    RS232_SetStopToken(port_, stop_);
    result_.complete = Steps();
    // The exit message goes out whatever stopped the run.
    RS232_SetStopToken(port_, nullptr);
    if (report_file_ && std::fclose(report_file_) != 0 && result_.complete) {
        result_.complete = false;
        result_.messages.push_back(WriteError(errno));
    }
    report_file_ = nullptr;
    // The end: leave ModBus mode after a good last exchange, else only close the port.
    if (result_.link_status == 0) {
        if (TSR_RS232_exit_ModBus(port_, &err)) result_.messages.push_back(err);
    } else {
        RS232_Close(port_);
    }
    port_ = nullptr;
    return result_;
}

bool DiaryRun::Steps() {
    uint16_t channel_word = 0;
    if (!ReadHolding(kChannelWordReg, 1, &channel_word)) return false;
    const int channel = channel_word & 3;
    std::string version, err;
    if (!Link(ReadDeviceVersion(port_, kSlave, &version, &err), err)) return false;
    if (events_.progress_range) events_.progress_range(100);
    if (events_.progress_position) events_.progress_position(0);

    std::string dir_err;
    report_file_ =
        OpenDataFile(DiaryReportName(version, channel), "w", &result_.report_path, &dir_err);
    if (!report_file_) {
        result_.report_path.clear();
        if (!dir_err.empty()) result_.messages.push_back(dir_err);
        result_.messages.push_back("Open File error");
        return false;
    }
    DiaryReport report(report_file_);
    report_ = &report;
    if (!Wrote(report.PutHead(OwnVersion(), version, channel_word))) return false;

    uint16_t clock[6];
    if (!ReadHolding(kClockReg, 3, clock) || !ReadHolding(kClockReg + 3, 3, clock + 3))
        return false;
    std::tm pc = LocalTimeOf(std::time(nullptr));
    if (!Wrote(report.PutClocks(pc, clock))) return false;

    if (!Diaries() || !ParameterSets()) return false;
    return Wrote(report.PutParameterSets(sets_));
}

bool DiaryRun::Diaries() {
    // The block's set-up; a regulator whose holding registers report no diaries may
    // keep its diaries in input registers.
    uint16_t head[4];
    if (!WriteSelector(0) || !ReadHolding(kDiaryBlockReg, 4, head)) return false;
    diaries_ = head[1];
    if (diaries_ == 0) {
        std::string err;
        if (!Link(ModBus_ReadInpReg(port_, kSlave, kDiaryBlockReg, 4, head, &err), err))
            return false;
        diaries_ = head[1];
        input_ = diaries_ == 2;
    }
    uint16_t more[4];
    if (!ReadBlock(kDiaryBlockReg + 4, 4, more)) return false;
    capacity_[0] = more[3];
    window_base_ = head[2];
    text_count_ = head[3];
    if (text_count_ > kMaxMessageTexts) {
        result_.messages.push_back("Too  much messages !");
        return false;
    }
    if (diaries_ > kMaxDiaries) diaries_ = kMaxDiaries;
    texts_.assign(text_count_, std::string());
    text_read_.assign(text_count_, false);
    if (!WriteSelector(1) || !ReadBlock(kDiaryCapacityReg, 1, &capacity_[1])) return false;

    uint16_t fill[2];
    if (!ReadBlock(kDiaryFillReg, 2, fill)) return false;
    for (int d = 0; d < diaries_; ++d) {
        extent_[d] = DiaryExtentFromFill(fill[d], capacity_[d]);
        total_ += extent_[d].count;
    }

    // The parameter sets are counted before the diaries are read: the progress range
    // holds both.
    int set_count = 0;
    if (!Service(RequestSetCount(port_, &set_count))) return false;
    sets_.assign(size_t(set_count), ParameterSet{});
    for (int s = 0; s < set_count; ++s) {
        if (!Service(SelectParameterSet(port_, s, &sets_[size_t(s)]))) return false;
        // Only the values that are read advance the bar: at most 256 per set.
        if (sets_[size_t(s)].counted)
            total_ += std::min<uint32_t>(sets_[size_t(s)].count, kMaxParametersPerSet);
    }
    if (events_.progress_range) events_.progress_range(int(total_ & 0xFFFF));

    for (int d = 0; d < diaries_; ++d) {
        const DiaryExtent& e = extent_[d];
        if (e.count == 0) continue;
        if (!WriteSelector(uint16_t(d))) return false;
        if (!Wrote(report_->PutDiaryHeading(d + 1, e.count))) return false;
        uint32_t p = e.start;
        for (uint32_t k = 0; k < e.count; ++k) {
            uint16_t words[kDiaryRecordWords];
            const uint16_t reg = uint16_t(window_base_ + kDiaryRecordWords * p);
            if (!ReadBlock(reg, kDiaryRecordWords, words)) return false;
            if (++p >= capacity_[d]) p = 0;
            DiaryRecord r = DecodeDiaryRecord(words);
            // One read per code and run; a code without a text has an empty one.
            if (r.code < text_count_ && r.code < kMaxMessageTexts && !text_read_[r.code]) {
                std::string err;
                if (!Link(ReadMessageText(port_, kSlave, window_base_, r.code, &texts_[r.code],
                                          input_, &err),
                          err))
                    return false;
                text_read_[r.code] = true;
                // Reading a text moved the selector.
                if (!WriteSelector(uint16_t(d))) return false;
            }
            if (!Wrote(report_->PutMessage(k + 1, r,
                                           r.code < text_count_ ? texts_[r.code] : std::string())))
                return false;
            Progress();
        }
        if (!Wrote(report_->PutBlankLine())) return false;
    }
    return true;
}

bool DiaryRun::ParameterSets() {
    for (size_t s = 0; s < sets_.size(); ++s) {
        ParameterSet& set = sets_[s];
        if (!Service(SelectParameterSet(port_, int(s), &set))) return false;
        const int count = std::min<int>(set.count, kMaxParametersPerSet);
        set.params.assign(size_t(count), Parameter{});
        for (int j = 0; j < count; ++j) {
            Parameter& p = set.params[size_t(j)];
            if (s < 2 && !Service(ReadParameterName(port_, j, &p.name))) return false;
            if (!Service(ReadParameterValue(port_, j, &p.value))) return false;
            Progress();
        }
    }
    return true;
}

}  // namespace

DiaryRunResult ReadDiariesAndParameters(const LinkSettings& settings, const DiaryRunEvents& events,
                                        const StopToken* stop) {
    DiaryRun run(settings, events, stop);
    return run.Run();
}

}  // namespace korvex
