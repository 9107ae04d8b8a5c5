// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/ComtradeExport.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/PathNames.h"
#include "app/StrPrintf.h"
#include "files/RecordingData.h"

namespace korvex {

namespace {

constexpr double kSampleMax = 32767;
constexpr int16_t kMissing = -32768;  // a sample the record lacks (binary files)
// The grid frequency of the generators the regulator serves.
constexpr int kLineFrequency = 50;

std::string ShortestReal(double v) {
    char buf[40];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// A field of the .cfg file: no commas, no line ends, at most 64 characters.
std::string CfgField(std::string text) {
    for (char& c : text)
        if (c == ',' || static_cast<unsigned char>(c) < 0x20) c = ' ';
    if (text.size() > 64) text.resize(64);
    return text;
}

std::string BaseName(const std::string& name) {
    return name.substr(0, name.find('*'));
}

// The .cfg's dates are dd/mm/yyyy: the years 1 to 9999. Clock seconds (ClockSeconds) of
// 0001-01-01 00:00:00 and of 10000-01-01 00:00:00.
constexpr double kFirstClock = -62135596800.0;
constexpr double kEndClock = 253402300800.0;

std::string CfgTime(double clock_seconds) {
    // Only a refused plan is out of range; its text still gets a date of four digits.
    if (!(clock_seconds >= kFirstClock)) clock_seconds = kFirstClock;
    if (!(clock_seconds < kEndClock - 1)) clock_seconds = kEndClock - 1;
    int64_t us = std::llround(clock_seconds * 1e6);
    int64_t day_us = int64_t(86400) * 1000000;
    int64_t days = us >= 0 ? us / day_us : -((-us + day_us - 1) / day_us);
    int64_t in_day = us - days * day_us;
    // Through the clock formatter for the date ("yyyy-mm-dd ...").
    std::string d = FormatClock(double(days) * 86400.0);
    return StrPrintf("%s/%s/%s,%02d:%02d:%02d.%06d", d.substr(8, 2).c_str(), d.substr(5, 2).c_str(),
                     d.substr(0, 4).c_str(), int(in_day / 3600000000LL),
                     int(in_day / 60000000LL % 60), int(in_day / 1000000 % 60),
                     int(in_day % 1000000));
}

double FileStartSeconds(const RecordingData& data) {
    if (data.info().has_start) return ClockSeconds(data.info().start);
    std::tm tm = LocalTimeOf(std::time_t(data.modified()));
    RecordingStart s;
    s.year = tm.tm_year + 1900;
    s.month = tm.tm_mon + 1;
    s.day = tm.tm_mday;
    s.hour = tm.tm_hour;
    s.minute = tm.tm_min;
    s.second = tm.tm_sec;
    return ClockSeconds(s) - data.duration();
}

}  // namespace

std::string ComtradeBase(const std::string& path) {
    if (path.size() > 4) {
        std::string ext = path.substr(path.size() - 4);
        for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".cfg" || ext == ".dat") return path.substr(0, path.size() - 4);
    }
    return path;
}

ComtradePlan PlanComtrade(const RecordingData& data, size_t begin, size_t end, bool binary) {
    ComtradePlan plan;
    const RecordingInfo& info = data.info();
    if (!info.file_value.empty()) {
        plan.station = info.file_value;
    } else if (!info.info_value.empty()) {
        plan.station = info.info_value;
    } else {
        // The file's name without its folder (either separator on Windows) and type.
        plan.station = FileStem(data.path());
    }
    plan.station = CfgField(plan.station);
    plan.binary = binary;
    plan.samples = end - begin;
    // The rate the header declares, unless its time step says otherwise: the .cfg's rate
    // and the .dat's time stamps must tell the same time.
    const double step = data.step();
    plan.rate = 1.0 / step;
    if (info.rate > 0 && std::fabs(info.rate * step - 1) < 1e-6) plan.rate = info.rate;
    plan.first_time = FileStartSeconds(data) + double(begin) * step;
    double last_us = double(plan.samples ? plan.samples - 1 : 0) * step * 1e6;
    while (last_us / plan.time_mult > 4294967295.0 && plan.time_mult < 1000000000)
        plan.time_mult *= 10;
    // Written as "not in range" so that a NaN anywhere refuses too. Within the years 1 to
    // 9999 the time stamps fit 32 bits at the largest time_mult.
    const double last_time = plan.first_time + last_us / 1e6;
    if (!(step > 0 && std::isfinite(plan.rate) && plan.rate > 0 && plan.first_time >= kFirstClock &&
          last_time < kEndClock)) {
        plan.refusal = StrPrintf(Tr("Шаг времени %s с нельзя записать в COMTRADE: частота "
                                    "выборки или даты вне допустимых пределов",
                                    "The time step of %s s cannot be written to COMTRADE: the "
                                    "sample rate or the dates are out of range"),
                                 ShortestReal(step).c_str());
    }

    // The fault recorder's files begin with its four flag columns.
    const auto& names = info.names;
    bool recorder = names.size() >= 4 && BaseName(names[0]) == "State" &&
                    BaseName(names[1]) == "Write" && BaseName(names[2]) == "Prot" &&
                    BaseName(names[3]) == "RF";
    for (int c = 0; c < data.channels(); ++c) {
        ComtradeChannel ch;
        ch.column = c;
        ch.id = CfgField(names[size_t(c)]);
        const double* v = data.column(c);
        double lo = INFINITY, hi = -INFINITY;
        double on = 0;
        bool two_valued = true;
        for (size_t r = begin; r < end; ++r) {
            double x = v[r];
            if (!std::isfinite(x)) {
                two_valued = false;
                continue;
            }
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
            if (x != 0) {
                if (on == 0) on = x;
                if (x != on) two_valued = false;
            }
        }
        if (recorder && c >= 1 && c <= 3 && two_valued) {
            ch.on = on;
            plan.status.push_back(ch);
            continue;
        }
        ch.unit = recorder && c >= 4 ? "pu" : "NA";
        if (lo < hi) {
            // Halved first: hi - lo of two finite values can overflow to infinity. A range
            // too narrow to divide (0 and 4.9e-324) would give a factor of 0 and samples of
            // 0 / 0; the smallest normal factor keeps them within range, each within half
            // of it.
            ch.a = std::max((hi / 2 - lo / 2) / kSampleMax, DBL_MIN);
            ch.b = lo / 2 + hi / 2;
        } else {
            ch.a = 1;
            ch.b = lo <= hi ? lo : 0;
        }
        plan.analog.push_back(ch);
    }
    return plan;
}

std::string ComtradeConfigText(const ComtradePlan& plan) {
    std::string t;
    t += plan.station + ",Korvex,1999\r\n";
    t += StrPrintf("%zu,%zuA,%zuD\r\n", plan.analog.size() + plan.status.size(), plan.analog.size(),
                   plan.status.size());
    int n = 0;
    for (const ComtradeChannel& ch : plan.analog)
        t += StrPrintf("%d,%s,,,%s,%s,%s,0,-32767,32767,1,1,P\r\n", ++n, ch.id.c_str(),
                       ch.unit.c_str(), ShortestReal(ch.a).c_str(), ShortestReal(ch.b).c_str());
    n = 0;
    for (const ComtradeChannel& ch : plan.status)
        t += StrPrintf("%d,%s,,,0\r\n", ++n, ch.id.c_str());
    t += StrPrintf("%d\r\n1\r\n", kLineFrequency);
    t += ShortestReal(plan.rate) + StrPrintf(",%zu\r\n", plan.samples);
    std::string when = CfgTime(plan.first_time);
    t += when + "\r\n" + when + "\r\n";
    t += plan.binary ? "BINARY\r\n" : "ASCII\r\n";
    t += StrPrintf("%d\r\n", plan.time_mult);
    return t;
}

bool ExportComtrade(const RecordingData& data, size_t begin, size_t end, const std::string& path,
                    bool binary, bool overwrite, std::string* err_text,
                    const ExportControl& control) {
    if (end > data.rows()) end = data.rows();
    if (begin > end) begin = end;
    std::string base = ComtradeBase(path);
    ComtradePlan plan = PlanComtrade(data, begin, end, binary);
    if (!plan.refusal.empty()) {
        ReportError(err_text, plan.refusal);
        return false;
    }
    ExportFile cfg, dat;
    if (!cfg.Create(base + ".cfg", overwrite, err_text, data.path()) ||
        !dat.Create(base + ".dat", overwrite, err_text, data.path()))
        return false;
    cfg.Write(ComtradeConfigText(plan));

    std::vector<const double*> analog, status;
    for (const auto& ch : plan.analog) analog.push_back(data.column(ch.column));
    for (const auto& ch : plan.status) status.push_back(data.column(ch.column));
    const size_t words = (status.size() + 15) / 16;
    std::vector<char> row(8 + 2 * analog.size() + 2 * words + 24 * (analog.size() + status.size()) +
                          64);
    const double us_per_row = data.step() * 1e6 / plan.time_mult;
    int last_percent = -1;
    for (size_t r = begin; r < end; ++r) {
        size_t i = r - begin;
        if (i % 4096 == 0) {
            if (StopRequested(control.cancel)) {
                ReportError(err_text, "Cancelled");
                return false;
            }
            int percent = int(i * 100 / (end - begin));
            if (percent != last_percent && control.progress) control.progress(percent);
            last_percent = percent;
        }
        uint32_t number = uint32_t(i + 1);
        uint32_t stamp = uint32_t(std::llround(double(i) * us_per_row));
        char* p = row.data();
        if (binary) {
            auto put16 = [&](uint16_t v) {
                *p++ = char(v & 0xFF);
                *p++ = char(v >> 8);
            };
            auto put32 = [&](uint32_t v) {
                put16(uint16_t(v & 0xFFFF));
                put16(uint16_t(v >> 16));
            };
            put32(number);
            put32(stamp);
            for (size_t k = 0; k < analog.size(); ++k) {
                double x = analog[k][r];
                int16_t s = kMissing;
                if (!std::isnan(x)) {
                    double q = std::round((x - plan.analog[k].b) / plan.analog[k].a);
                    s = int16_t(q > kSampleMax ? kSampleMax : (q < -kSampleMax ? -kSampleMax : q));
                }
                put16(uint16_t(s));
            }
            for (size_t w = 0; w < words; ++w) {
                uint16_t bits = 0;
                for (size_t k = w * 16; k < status.size() && k < w * 16 + 16; ++k)
                    if (status[k][r] != 0) bits = uint16_t(bits | (1u << (k - w * 16)));
                put16(bits);
            }
        } else {
            char* e = row.data() + row.size();
            p = std::to_chars(p, e, number).ptr;
            *p++ = ',';
            p = std::to_chars(p, e, stamp).ptr;
            for (size_t k = 0; k < analog.size(); ++k) {
                *p++ = ',';
                double x = analog[k][r];
                if (std::isnan(x)) continue;
                double q = std::round((x - plan.analog[k].b) / plan.analog[k].a);
                q = q > kSampleMax ? kSampleMax : (q < -kSampleMax ? -kSampleMax : q);
                p = std::to_chars(p, e, int(q)).ptr;
            }
            for (size_t k = 0; k < status.size(); ++k) {
                *p++ = ',';
                *p++ = status[k][r] != 0 ? '1' : '0';
            }
            *p++ = '\r';
            *p++ = '\n';
        }
        dat.Write(std::string_view(row.data(), size_t(p - row.data())));
    }
    if (!dat.Commit(err_text)) return false;
    if (!cfg.Commit(err_text)) {
        RemoveFile(base + ".dat");
        return false;
    }
    if (control.progress) control.progress(100);
    return true;
}

}  // namespace korvex
