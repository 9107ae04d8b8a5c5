// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/ComtradeReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"
#include "files/LineScanner.h"
#include "files/NumberParse.h"
#include "files/RecordingData.h"
#include "files/RecordingInfo.h"
#include "files/RecordingScan.h"

namespace korvex {

namespace {

constexpr int kMaxChannels = 4096;
// A configuration of 4096 channels takes well under a megabyte.
constexpr uint64_t kMaxConfigBytes = uint64_t(4) << 20;
constexpr size_t kBlockBytes = size_t(1) << 20;
constexpr double kGridRowsPerSample = 16;
constexpr uint64_t kColumnsCapUnknownMemory = uint64_t(2) << 30;
// Rows are compared with the samples' times to this fraction of a step, so that the
// rounding of t × rate never moves a sample to the next row.
constexpr double kRowSlack = 1e-6;

enum class DataType { kAscii, kBinary, kBinary32, kFloat32 };

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) CloseFile(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> f;
    for (;;) {
        size_t comma = line.find(',');
        f.push_back(Trim(line.substr(0, comma)));
        if (comma == std::string_view::npos) return f;
        line.remove_prefix(comma + 1);
    }
}

// A whole field as a finite number.
bool ReadNumber(std::string_view f, double* v) {
    const char* e = f.data() + f.size();
    return !f.empty() && ParseDouble(f.data(), e, v) == e && std::isfinite(*v);
}

// A whole field as a count: an integral number from 0 to 2^53.
bool ReadCount(std::string_view f, uint64_t* n) {
    double v;
    if (!ReadNumber(f, &v) || v < 0 || v > 9007199254740992.0 || v != std::floor(v)) return false;
    *n = uint64_t(v);
    return true;
}

bool EqualNoCase(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Digits only, at most 9 of them; `digits` gets how many.
bool ReadSmall(std::string_view f, int* v, size_t* digits = nullptr) {
    if (f.empty() || f.size() > 9) return false;
    int n = 0;
    for (char c : f) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    *v = n;
    if (digits) *digits = f.size();
    return true;
}

// A date and time of the .cfg: false when unreadable; *known false for a date of zeros.
// `fraction` gets the seconds' fraction (any number of digits).
bool ReadClock(std::string_view date, std::string_view time, bool month_first, RecordingStart* out,
               double* fraction, bool* known) {
    *known = false;
    date = Trim(date);
    time = Trim(time);
    if (date.empty() && time.empty()) return true;
    int p[3];
    size_t year_digits = 0;
    for (int i = 0; i < 3; ++i) {
        size_t slash = i < 2 ? date.find('/') : date.size();
        if (slash == std::string_view::npos ||
            !ReadSmall(Trim(date.substr(0, slash)), &p[i], i == 2 ? &year_digits : nullptr))
            return false;
        date.remove_prefix(i < 2 ? slash + 1 : date.size());
    }
    if (p[0] == 0 && p[1] == 0 && p[2] == 0) return true;  // no date: unknown
    RecordingStart s;
    s.year = p[2];
    if (year_digits <= 2) {
        s.year += s.year >= 70 ? 1900 : 2000;
        month_first = true;
    }
    auto valid = [&](int day, int month) {
        return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(s.year, month);
    };
    int day = month_first ? p[1] : p[0], month = month_first ? p[0] : p[1];
    if (!valid(day, month)) std::swap(day, month);
    if (s.year < 1 || s.year > 9999 || !valid(day, month)) return false;
    s.day = day;
    s.month = month;
    // hh:mm:ss[.ffffff]
    size_t c1 = time.find(':'), c2 = c1 == std::string_view::npos ? c1 : time.find(':', c1 + 1);
    if (c2 == std::string_view::npos) return false;
    std::string_view sec = time.substr(c2 + 1), frac;
    size_t dot = sec.find('.');
    if (dot != std::string_view::npos) {
        frac = sec.substr(dot + 1);
        sec = sec.substr(0, dot);
    }
    if (!ReadSmall(time.substr(0, c1), &s.hour) ||
        !ReadSmall(time.substr(c1 + 1, c2 - c1 - 1), &s.minute) || !ReadSmall(sec, &s.second) ||
        s.hour > 23 || s.minute > 59 || s.second > 60)  // 60: a leap second
        return false;
    // The fraction's first 15 digits as an exact integer over a power of ten.
    uint64_t num = 0, den = 1;
    for (char c : frac) {
        if (c < '0' || c > '9') return false;
        if (den < 1000000000000000ull) {
            num = num * 10 + uint64_t(c - '0');
            den *= 10;
        }
    }
    s.millisecond = int(num * 1000 / den);
    *out = s;
    *fraction = double(num) / double(den);
    *known = true;
    return true;
}

// What the .cfg says, as the .dat is read by it.
struct Config {
    std::string station, device;
    int revision = 1991;
    int analog = 0, status = 0;
    std::vector<std::string> names, units;
    std::vector<double> a, b, ratio;  // ratio: to the side asked, 1 when none
    std::vector<double> rates;        // one per segment; empty with time stamps
    std::vector<uint64_t> ends;
    bool stamps = false;        // the time stamps set the times
    bool samples_known = true;  // else as many as the .dat holds
    uint64_t samples = 0;
    DataType type = DataType::kAscii;
    double time_mult = 1;
    bool has_start = false;
    RecordingStart start;
    double start_fraction = 0;
    bool has_trigger = false;
    RecordingStart trigger;
    double trigger_fraction = 0;
    std::string time_code, local_code;
};

class ConfigParser {
public:
    ConfigParser(const std::string& path, const std::string& text, ComtradeOptions::Side side)
        : path_(path), side_(side) {
        rest_ = text;
        if (rest_.substr(0, 3) == "\xEF\xBB\xBF")
            rest_.remove_prefix(3);  // a UTF-8 byte order mark
        // Empty lines at the end are tolerated.
        while (!rest_.empty() && std::strchr(" \t\r\n", rest_.back())) rest_.remove_suffix(1);
    }

    bool Parse(Config* c);
    const std::string& error() const { return error_; }

private:
    bool Fail(const std::string& what) {
        error_ = StrPrintf(Tr("'%s' строка %d: %s", "'%s' line %d: %s"), path_.c_str(), line_,
                           what.c_str());
        return false;
    }
    bool FailNumber(const std::string& what, std::string_view field, bool positive = false) {
        std::string f(field);
        return Fail(positive ? StrPrintf(Tr("%s '%s' — не положительное число",
                                            "%s '%s' is not a positive number"),
                                         what.c_str(), f.c_str())
                             : StrPrintf(Tr("%s '%s' — не число", "%s '%s' is not a number"),
                                         what.c_str(), f.c_str()));
    }
    bool More() const { return !rest_.empty(); }
    std::string_view Peek() const { return rest_.substr(0, rest_.find('\n')); }
    void Skip() {
        ++line_;
        current_ = Peek();
        rest_.remove_prefix(std::min(rest_.size(), current_.size() + 1));
    }
    // The next line's fields; false when the text ends or the line has fewer fields.
    bool Line(const std::string& what, size_t min_fields, std::vector<std::string_view>* f) {
        if (!More()) {
            ++line_;
            return Fail(StrPrintf(Tr("%s: строки нет", "%s is missing"), what.c_str()));
        }
        Skip();
        *f = SplitFields(current_);
        if (f->size() < min_fields)
            return Fail(StrPrintf(Tr("%s: полей %zu, нужно не меньше %zu",
                                     "%s has %zu fields, at least %zu are needed"),
                                  what.c_str(), f->size(), min_fields));
        return true;
    }
    bool Clock(const std::string& what, bool month_first, RecordingStart* s, double* fraction,
               bool* known) {
        std::vector<std::string_view> f;
        if (!Line(what, 1, &f)) return false;
        if (ReadClock(f[0], f.size() > 1 ? f[1] : std::string_view(), month_first, s, fraction,
                      known))
            return true;
        return Fail(
            StrPrintf(Tr("%s '%s' — не %s", "%s '%s' is not %s"), what.c_str(),
                      std::string(Trim(current_)).c_str(),
                      month_first ? "mm/dd/yy,hh:mm:ss.ssssss" : "dd/mm/yyyy,hh:mm:ss.ssssss"));
    }

    const std::string& path_;
    ComtradeOptions::Side side_;
    std::string_view rest_;     // the lines not read yet
    std::string_view current_;  // the line read last
    int line_ = 0;              // its number
    std::string error_;
};

bool ConfigParser::Parse(Config* c) {
    std::vector<std::string_view> f;
    if (!Line(Tr("название станции", "the station name"), 1, &f)) return false;
    c->station = std::string(f[0]);
    if (f.size() > 1) c->device = std::string(f[1]);
    if (f.size() > 2 && !f[2].empty()) {
        double year;
        if (!ReadNumber(f[2], &year) || year < 0 || year > 9999)
            return FailNumber(Tr("год редакции", "the revision year"), f[2]);
        c->revision = int(year);
    }
    const bool y1991 = c->revision < 1999;

    if (!Line(Tr("число каналов", "the number of channels"), 3, &f)) return false;
    uint64_t total, analog, status;
    auto strip = [](std::string_view v, char kind) {
        if (!v.empty() && std::toupper(static_cast<unsigned char>(v.back())) == kind)
            v.remove_suffix(1);
        return Trim(v);
    };
    if (!ReadCount(f[0], &total))
        return FailNumber(Tr("число каналов", "the number of channels"), f[0]);
    if (!ReadCount(strip(f[1], 'A'), &analog))
        return FailNumber(Tr("число аналоговых каналов", "the number of analog channels"), f[1]);
    if (!ReadCount(strip(f[2], 'D'), &status))
        return FailNumber(Tr("число дискретных каналов", "the number of status channels"), f[2]);
    if (total != analog + status)
        return Fail(StrPrintf(Tr("число каналов %llu не равно %llu аналоговых + %llu дискретных",
                                 "the number of channels %llu is not %llu analog + %llu status"),
                              static_cast<unsigned long long>(total),
                              static_cast<unsigned long long>(analog),
                              static_cast<unsigned long long>(status)));
    if (total == 0) return Fail(Tr("в записи нет каналов", "the record has no channels"));
    if (total > uint64_t(kMaxChannels)) {
        error_ = StrPrintf("Too many channels (%d)", int(std::min<uint64_t>(total, 1000000000)));
        return false;
    }
    c->analog = int(analog);
    c->status = int(status);

    for (int k = 1; k <= c->analog; ++k) {
        std::string what = StrPrintf(Tr("аналоговый канал %d", "the analog channel %d"), k);
        if (!Line(what, 7, &f)) return false;
        std::string name(f[1]);
        if (name.empty()) name = StrPrintf("A%d", k) + std::string(f[2]);
        double a, b;
        if (!ReadNumber(f[5], &a))
            return FailNumber(StrPrintf(Tr("множитель a аналогового канала %d",
                                           "the multiplier a of analog channel %d"),
                                        k),
                              f[5]);
        if (!ReadNumber(f[6], &b))
            return FailNumber(
                StrPrintf(
                    Tr("смещение b аналогового канала %d", "the offset b of analog channel %d"), k),
                f[6]);
        // The transformer's factors matter only for a conversion; one that cannot be
        // read leaves the channel as recorded.
        double ratio = 1, primary, secondary;
        if (f.size() >= 13 && side_ != ComtradeOptions::Side::AsRecorded &&
            ReadNumber(f[10], &primary) && ReadNumber(f[11], &secondary) && !f[12].empty()) {
            char ps = char(std::toupper(static_cast<unsigned char>(f[12][0])));
            double r = 1;
            if (side_ == ComtradeOptions::Side::Primary && ps == 'S') r = primary / secondary;
            if (side_ == ComtradeOptions::Side::Secondary && ps == 'P') r = secondary / primary;
            if (std::isfinite(r) && r != 0) ratio = r;
        }
        c->names.push_back(std::move(name));
        c->units.emplace_back(f[4]);
        c->a.push_back(a);
        c->b.push_back(b);
        c->ratio.push_back(ratio);
    }
    for (int k = 1; k <= c->status; ++k) {
        if (!Line(StrPrintf(Tr("дискретный канал %d", "the status channel %d"), k), 2, &f))
            return false;
        std::string name(f[1]);
        if (name.empty())
            name = StrPrintf("D%d", k) + (!y1991 && f.size() > 2 ? std::string(f[2]) : "");
        c->names.push_back(std::move(name));
        c->units.emplace_back();
    }
    if (!Line(Tr("частота сети", "the line frequency"), 1, &f)) return false;

    const std::string nrates_what = Tr("число частот выборки", "the number of sample rates");
    if (!Line(nrates_what, 1, &f)) return false;
    uint64_t nrates;
    if (!ReadCount(f[0], &nrates)) return FailNumber(nrates_what, f[0]);
    if (nrates == 0) {
        // The 1999 form follows nrates 0 with "0,endsamp"; without it the .dat tells.
        c->stamps = true;
        c->samples_known = false;
        double samp;
        if (More()) {
            std::vector<std::string_view> g = SplitFields(Peek());
            if (g.size() >= 2 && ReadNumber(g[0], &samp) &&
                Peek().find('/') == std::string_view::npos) {
                Skip();
                if (!ReadCount(g[1], &c->samples))
                    return FailNumber(Tr("последняя выборка", "the last sample"), g[1], true);
                c->samples_known = true;
            }
        }
    }
    for (uint64_t k = 1; k <= nrates; ++k) {
        if (!Line(StrPrintf(Tr("частота выборки %llu", "the sample rate %llu"),
                            static_cast<unsigned long long>(k)),
                  2, &f))
            return false;
        double samp;
        uint64_t end;
        if (!ReadNumber(f[0], &samp) || samp < 0)
            return FailNumber(StrPrintf(Tr("частота выборки %llu", "the sample rate %llu"),
                                        static_cast<unsigned long long>(k)),
                              f[0], true);
        std::string end_what =
            StrPrintf(Tr("последняя выборка частоты %llu", "the last sample of rate %llu"),
                      static_cast<unsigned long long>(k));
        // A record of no samples at all has a single rate ending at 0.
        bool empty_record = nrates == 1 && ReadCount(f[1], &end) && end == 0;
        if (!empty_record && (!ReadCount(f[1], &end) || end == 0))
            return FailNumber(end_what, f[1], true);
        if (!c->ends.empty() && end <= c->ends.back())
            return Fail(StrPrintf(Tr("%s '%s' не больше предыдущей, %llu",
                                     "%s '%s' is not greater than the one before, %llu"),
                                  end_what.c_str(), std::string(f[1]).c_str(),
                                  static_cast<unsigned long long>(c->ends.back())));
        if (samp == 0) c->stamps = true;
        c->rates.push_back(samp);
        c->ends.push_back(end);
        c->samples = end;
    }
    if (c->stamps) c->rates.clear();

    const bool month_first = y1991;
    if (!Clock(Tr("дата и время начала", "the start date and time"), month_first, &c->start,
               &c->start_fraction, &c->has_start) ||
        !Clock(Tr("дата и время пуска", "the trigger date and time"), month_first, &c->trigger,
               &c->trigger_fraction, &c->has_trigger))
        return false;

    if (!Line(Tr("тип файла", "the file type"), 1, &f)) return false;
    if (EqualNoCase(f[0], "ASCII")) {
        c->type = DataType::kAscii;
    } else if (EqualNoCase(f[0], "BINARY")) {
        c->type = DataType::kBinary;
    } else if (EqualNoCase(f[0], "BINARY32")) {
        c->type = DataType::kBinary32;
    } else if (EqualNoCase(f[0], "FLOAT32")) {
        c->type = DataType::kFloat32;
    } else {
        return Fail(StrPrintf(Tr("тип файла '%s' — не ASCII, BINARY, BINARY32 и не FLOAT32",
                                 "the file type '%s' is not ASCII, BINARY, BINARY32 or FLOAT32"),
                              std::string(f[0]).c_str()));
    }
    // The 1991 revision ends here; timemult and the 2013 lines are taken when present.
    if (More()) {
        Line("", 1, &f);
        // It matters only where the time stamps set the times; some writers leave it 0.
        double mult;
        if (ReadNumber(f[0], &mult) && mult > 0)
            c->time_mult = mult;
        else if (c->stamps)
            return FailNumber(Tr("множитель времени", "the time multiplier"), f[0], true);
    }
    if (More() && c->revision >= 2013) {
        Line("", 1, &f);
        c->time_code = std::string(f[0]);
        if (f.size() > 1) c->local_code = std::string(f[1]);
    }
    return true;
}

// Where each sample goes: the grid row that it is the latest sample for, from its time.
class RowMap {
public:
    enum class Kind { kIdentity, kRates, kStamps };

    // Rates: every segment's own, the grid at the highest.
    void SetRates(const std::vector<double>& rates, const std::vector<uint64_t>& ends) {
        kind_ = Kind::kIdentity;
        double top = 0;
        for (double r : rates) top = std::max(top, r);
        for (double r : rates)
            if (r != top) kind_ = Kind::kRates;
        rates_ = rates;
        ends_ = ends;
        top_ = top;
        step_ = 1.0 / top;
        // The time of the first sample of each segment.
        base_.assign(rates.size(), 0.0);
        for (size_t k = 1; k < rates.size(); ++k)
            base_[k] = base_[k - 1] +
                       double(ends[k - 1] - (k > 1 ? ends[k - 2] : 0) - 1) / rates[k - 1] +
                       1.0 / rates[k];
    }
    // Time stamps: the grid at `tick` stamps.
    void SetStamps(double tick, double time_mult) {
        kind_ = Kind::kStamps;
        tick_ = tick;
        step_ = tick * time_mult * 1e-6;
    }
    // Samples as rows, `step` apart.
    void SetIdentity(double step) {
        kind_ = Kind::kIdentity;
        rates_.clear();
        step_ = step;
    }
    Kind kind() const { return kind_; }
    double step() const { return step_; }
    // Rows per second: the highest rate as the .cfg writes it.
    double rate() const { return kind_ == Kind::kStamps || rates_.empty() ? 1.0 / step_ : top_; }

    // The grid row of the sample `index` (counting from 0) with time stamp `stamp`,
    // before clamping to the grid; samples must come in order.
    double Row(uint64_t index, double stamp) {
        switch (kind_) {
            case Kind::kIdentity: return double(index);
            case Kind::kRates: {
                while (seg_ + 1 < ends_.size() && index >= ends_[seg_]) ++seg_;
                uint64_t first = seg_ ? ends_[seg_ - 1] : 0;
                double t = base_[seg_] + double(index - first) / rates_[seg_];
                return std::ceil(t * top_ - kRowSlack);
            }
            case Kind::kStamps: {
                if (index == 0) {
                    first_stamp_ = stamp;
                    held_ = 0;
                }
                held_ = std::max(held_, stamp - first_stamp_);  // time never goes back
                return std::ceil(held_ / tick_ - kRowSlack);
            }
        }
        return 0;
    }
    void Restart() {
        seg_ = 0;
        held_ = 0;
    }

private:
    Kind kind_ = Kind::kIdentity;
    std::vector<double> rates_, base_;
    std::vector<uint64_t> ends_;
    double top_ = 1, step_ = 1, tick_ = 1;
    size_t seg_ = 0;
    double first_stamp_ = 0, held_ = 0;
};

// Puts each sample's values in its row of the columns, and the row before's into the
// rows between: sample and hold.
class Placer {
public:
    Placer(double* columns, size_t rows, int channels)
        : columns_(columns), rows_(rows), channels_(size_t(channels)) {}
    void Place(double row, const double* v) {
        size_t r = !(row > 0) ? 0 : row >= double(rows_ - 1) ? rows_ - 1 : size_t(row);
        if (r > prev_ + 1 && prev_ != kNone) {
            for (size_t c = 0; c < channels_; ++c) {
                double* col = columns_ + c * rows_;
                std::fill(col + prev_ + 1, col + r, col[prev_]);
            }
        }
        for (size_t c = 0; c < channels_; ++c) columns_[c * rows_ + r] = v[c];
        prev_ = r;
    }

private:
    static constexpr size_t kNone = SIZE_MAX;
    double* columns_;
    size_t rows_, channels_;
    size_t prev_ = kNone;
};

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Reads n bytes at `offset`; false when the file ends or fails before.
bool ReadFully(int fd, unsigned char* buf, size_t n, uint64_t offset) {
    while (n) {
        int64_t r = ReadAt(fd, buf, n, offset);
        if (r <= 0) return false;
        buf += r;
        n -= size_t(r);
        offset += uint64_t(r);
    }
    return true;
}

// One read of a record: the .cfg parsed, then the .dat read once or twice.
class Reader {
public:
    Reader(const ComtradeOptions& options, std::string* error)
        : options_(options), error_(*error) {}
    bool Read(const std::string& path, RecordingData* out);

private:
    bool Fail(const std::string& text) {
        error_ = text;
        return false;
    }
    bool Cancelled() { return Fail("Cancelled"); }
    bool ReadConfig(const std::string& cfg_path);
    bool ShortData(uint64_t held) {
        return Fail(StrPrintf(Tr("'%s' содержит %zu выборок, конфигурация объявляет %zu",
                                 "'%s' holds %zu samples, the configuration announces %zu"),
                              dat_path_.c_str(), size_t(held), size_t(config_.samples)));
    }
    // Each block of whole binary samples [0, samples): fn(rows, count, first index).
    template <typename Fn>
    bool BinaryBlocks(Fn&& fn);
    // Each non-blank line of the ASCII .dat, up to `limit` of them: row(begin, end, line
    // number) returns false to stop with error_ set. `rows` gets the rows seen.
    template <typename Row>
    bool AsciiRows(uint64_t limit, uint64_t* rows, Row&& row);
    // The time stamps' grid (nrates 0): its tick and rows; the ASCII sample count too.
    bool StampGrid(double* rows);
    // Values of one ASCII row into v; the stamp too when it sets the times.
    bool AsciiValues(const char* p, const char* e, size_t line, double* v, double* stamp);
    template <DataType kType>
    void BinaryValues(const unsigned char* p, double* v);

    const ComtradeOptions& options_;
    std::string& error_;
    Config config_;
    std::string dat_path_;
    int fd_ = -1;
    uint64_t dat_size_ = 0;
    uint64_t row_bytes_ = 0;  // binary
    int channels_ = 0;
    std::vector<double> last_;  // each channel's previous value, for missing samples
    RowMap map_;
};

template <typename Fn>
bool Reader::BinaryBlocks(Fn&& fn) {
    const size_t block_rows = size_t(std::clamp<uint64_t>(
        std::min<uint64_t>(kBlockBytes / row_bytes_, config_.samples), 1, kBlockBytes));
    std::vector<unsigned char> buf(block_rows * size_t(row_bytes_));
    for (uint64_t i = 0; i < config_.samples; i += block_rows) {
        if (StopRequested(options_.cancel)) return Cancelled();
        size_t n = size_t(std::min<uint64_t>(block_rows, config_.samples - i));
        if (!ReadFully(fd_, buf.data(), n * size_t(row_bytes_), i * row_bytes_))
            return Fail(StrPrintf("Read error in '%s'", dat_path_.c_str()));
        fn(buf.data(), n, i);
    }
    return true;
}

template <typename Row>
bool Reader::AsciiRows(uint64_t limit, uint64_t* rows, Row&& row) {
    LineScanner scanner(fd_);
    size_t line = 0;
    uint64_t n = 0;
    bool stopped = false;
    if (limit == 0) {
        *rows = 0;
        return true;
    }
    int64_t end = scanner.Scan(
        0, dat_size_, true,
        [&](const char* p, const char* e, uint64_t) {
            if (stopped) return false;
            ++line;
            if (e > p && e[-1] == '\r') --e;
            const char* q = p;
            // Blank lines, and the end-of-file mark of old DOS files, are no rows.
            while (q < e && (IsBlank(*q) || *q == '\x1A')) ++q;
            if (q == e) return true;
            if ((n & 4095) == 0 && StopRequested(options_.cancel)) {
                stopped = true;
                Cancelled();
                return false;
            }
            if (!row(p, e, line)) {
                stopped = true;
                return false;
            }
            return ++n < limit;
        },
        [&](uint64_t) {
            if (stopped) return;
            ++line;
            stopped = true;
            Fail(StrPrintf(
                Tr("'%s' строка %zu длиннее %zu байт", "'%s' line %zu is longer than %zu bytes"),
                dat_path_.c_str(), line, LineScanner::kMaxLineBytes));
        });
    *rows = n;
    if (stopped) return false;
    if (n < limit && (end < 0 || uint64_t(end) < dat_size_))
        return Fail(StrPrintf("Read error in '%s'", dat_path_.c_str()));
    return true;
}

bool Reader::AsciiValues(const char* p, const char* e, size_t line, double* v, double* stamp) {
    const int need = 2 + channels_;
    int field = 0;
    const char* f = p;
    for (bool more = true; field < need && more; ++field) {
        const char* comma = static_cast<const char*>(std::memchr(f, ',', size_t(e - f)));
        const char* fe = comma ? comma : e;
        const char* b = f;
        more = comma != nullptr;
        if (more) f = comma + 1;
        if (field == 0 || (field == 1 && !stamp)) continue;
        while (b < fe && IsBlank(*b)) ++b;
        while (fe > b && IsBlank(fe[-1])) --fe;
        const int c = field - 2;
        double x = 0;
        if (b == fe && c >= 0) {  // an empty field: missing
            v[c] = last_[size_t(c)];
            continue;
        }
        if (b == fe || ParseDouble(b, fe, &x) != fe || (c < 0 && !std::isfinite(x))) {
            std::string text(b, fe);
            if (c < 0)
                return Fail(StrPrintf(Tr("'%s' строка %zu: метка времени '%s' — не число",
                                         "'%s' line %zu: the time stamp '%s' is not a number"),
                                      dat_path_.c_str(), line, text.c_str()));
            return Fail(
                StrPrintf(Tr("'%s' строка %zu: значение '%s' канала '%s' — не число",
                             "'%s' line %zu: the value '%s' of channel '%s' is not a number"),
                          dat_path_.c_str(), line, text.c_str(), config_.names[size_t(c)].c_str()));
        }
        if (c < 0) {
            *stamp = x;
        } else if (std::isnan(x) || (config_.revision < 1999 && x == 99999)) {
            // Missing (1991 writes 99999 for it, status channels too): the value before.
            v[c] = last_[size_t(c)];
        } else if (c >= config_.analog) {
            v[c] = last_[size_t(c)] = x != 0 ? 1.0 : 0.0;
        } else {
            double value = config_.a[size_t(c)] * x + config_.b[size_t(c)];
            if (config_.ratio[size_t(c)] != 1) value *= config_.ratio[size_t(c)];
            v[c] = last_[size_t(c)] = value;
        }
    }
    if (field < need)
        return Fail(StrPrintf(Tr("'%s' строка %zu: в строке %d полей, нужно %d",
                                 "'%s' line %zu: the row has %d fields, %d are needed"),
                              dat_path_.c_str(), line, field, need));
    return true;
}

template <DataType kType>
void Reader::BinaryValues(const unsigned char* p, double* v) {
    const int analog = config_.analog;
    const double* a = config_.a.data();
    const double* b = config_.b.data();
    const double* ratio = config_.ratio.data();
    double* last = last_.data();
    p += 8;
    for (int c = 0; c < analog; ++c) {
        double x;
        bool missing;
        if constexpr (kType == DataType::kBinary) {
            int16_t s = int16_t(uint16_t(p[0] | p[1] << 8));
            p += 2;
            missing = s == INT16_MIN;
            x = s;
        } else {
            uint32_t u = Le32(p);
            p += 4;
            if constexpr (kType == DataType::kBinary32) {
                missing = u == 0x80000000u;
                x = double(int32_t(u));
            } else {
                float fl;
                std::memcpy(&fl, &u, sizeof fl);
                missing = std::isnan(fl);
                x = fl;
            }
        }
        if (!missing) {
            double value = a[c] * x + b[c];
            if (ratio[c] != 1) value *= ratio[c];
            last[c] = value;
        }
        v[c] = last[c];
    }
    for (int k = 0; k < config_.status; ++k)
        v[analog + k] = (p[(k >> 4) * 2 + ((k & 15) >> 3)] >> (k & 7)) & 1;
}

bool Reader::ReadConfig(const std::string& cfg_path) {
    FileHandle file(OpenForReading(cfg_path));
    uint64_t size;
    int64_t modified;
    if (file.fd() < 0 || !FileSizeAndTime(file.fd(), &size, &modified))
        return Fail(StrPrintf("Open File '%s' error", cfg_path.c_str()));
    if (size > kMaxConfigBytes)
        return Fail(StrPrintf(Tr("'%s' — не конфигурация COMTRADE: %llu байт",
                                 "'%s' is not a COMTRADE configuration: %llu bytes"),
                              cfg_path.c_str(), static_cast<unsigned long long>(size)));
    std::string text(size_t(size), '\0');
    if (size &&
        !ReadFully(file.fd(), reinterpret_cast<unsigned char*>(text.data()), text.size(), 0))
        return Fail(StrPrintf("Read error in '%s'", cfg_path.c_str()));
    ConfigParser parser(cfg_path, text, options_.side);
    if (!parser.Parse(&config_)) return Fail(parser.error());
    return true;
}

bool Reader::StampGrid(double* rows) {
    // The positive differences of the time stamps, for their median; held only until the
    // grid is known, before the columns are made.
    std::vector<double> steps;
    double first = 0, held = 0, prev = 0;
    uint64_t index = 0;
    auto add = [&](double stamp) {
        if (index == 0) first = stamp;
        double t = std::max(held, stamp - first);
        if (index && t > prev) steps.push_back(t - prev);
        prev = held = t;
        ++index;
    };
    if (config_.type == DataType::kAscii) {
        uint64_t n = 0;
        const uint64_t limit = config_.samples_known ? config_.samples : UINT64_MAX;
        if (!AsciiRows(limit, &n, [&](const char* p, const char* e, size_t line) {
                const char* c = static_cast<const char*>(std::memchr(p, ',', size_t(e - p)));
                std::string_view f =
                    c ? Trim(std::string_view(c + 1, size_t(e - c - 1))) : std::string_view();
                f = f.substr(0, f.find(','));
                f = Trim(f);
                double stamp;
                if (!c || !ReadNumber(f, &stamp))
                    return Fail(StrPrintf(Tr("'%s' строка %zu: метка времени '%s' — не число",
                                             "'%s' line %zu: the time stamp '%s' is not a number"),
                                          dat_path_.c_str(), line, std::string(f).c_str()));
                add(stamp);
                return true;
            }))
            return false;
        if (config_.samples_known && n < config_.samples) return ShortData(n);
        config_.samples = n;
    } else {
        if (!BinaryBlocks([&](const unsigned char* p, size_t n, uint64_t) {
                for (size_t r = 0; r < n; ++r, p += row_bytes_) add(double(Le32(p + 4)));
            }))
            return false;
    }
    if (steps.empty()) {
        map_.SetIdentity(1.0);
        *rows = double(config_.samples);
        return true;
    }
    auto mid = steps.begin() + std::ptrdiff_t((steps.size() - 1) / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    map_.SetStamps(*mid, config_.time_mult);
    *rows = std::ceil(held / *mid - kRowSlack) + 1;
    return true;
}

bool Reader::Read(const std::string& path, RecordingData* out) {
    // The .cfg and the .dat: the given one, and its companion in the given ending's
    // case, then in lower and upper case.
    std::string base = path, given;
    if (path.size() > 4) {
        std::string ext = path.substr(path.size() - 4);
        for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (ext == ".cfg" || ext == ".dat") {
            base = path.substr(0, path.size() - 4);
            given = path.substr(path.size() - 4);
        }
    }
    auto candidates = [&](const char* lower) {
        std::vector<std::string> c;
        if (!given.empty()) {
            std::string like(lower);
            for (size_t i = 0; i < 4; ++i)
                if (std::isupper(static_cast<unsigned char>(given[i])))
                    like[i] = char(std::toupper(static_cast<unsigned char>(like[i])));
            c.push_back(base + like);
        }
        std::string upper(lower);
        for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        for (const std::string& e : {std::string(lower), upper})
            if (std::find(c.begin(), c.end(), base + e) == c.end()) c.push_back(base + e);
        return c;
    };
    auto find = [&](const char* lower) {
        std::vector<std::string> c = candidates(lower);
        for (const std::string& p : c)
            if (PathExists(p)) return p;
        return c.front();
    };
    const bool given_dat =
        !given.empty() && std::tolower(static_cast<unsigned char>(given[1])) == 'd';
    const std::string cfg_path = given.empty() || given_dat ? find(".cfg") : path;
    dat_path_ = given_dat ? path : find(".dat");
    if (!ReadConfig(cfg_path)) return false;
    Config& c = config_;
    channels_ = c.analog + c.status;

    FileHandle dat(OpenForReading(dat_path_));
    int64_t modified = 0;
    if (dat.fd() < 0 || !FileSizeAndTime(dat.fd(), &dat_size_, &modified))
        return Fail(StrPrintf("Open File '%s' error", dat_path_.c_str()));
    fd_ = dat.fd();
    last_.assign(size_t(channels_), 0.0);

    // The samples the .dat must hold, checked against its size before anything is made.
    if (c.type != DataType::kAscii) {
        row_bytes_ = 8 + uint64_t(c.analog) * (c.type == DataType::kBinary ? 2 : 4) +
                     uint64_t((c.status + 15) / 16) * 2;
        uint64_t whole = dat_size_ / row_bytes_, part = dat_size_ % row_bytes_;
        if (!c.samples_known) c.samples = whole;
        if (whole < c.samples || (!c.samples_known && part)) {
            if (part)
                return Fail(StrPrintf(Tr("'%s': выборка %zu обрезана: %zu из %zu её байт",
                                         "'%s': sample %zu is cut short: %zu of its %zu bytes"),
                                      dat_path_.c_str(), size_t(whole + 1), size_t(part),
                                      size_t(row_bytes_)));
            return ShortData(whole);
        }
    } else if (c.samples_known) {
        // A row holds its fields' commas and a line end at the least.
        const uint64_t min_row = std::max<uint64_t>(4, uint64_t(channels_) + 2);
        if (dat_size_ / min_row < c.samples) {
            uint64_t n = 0;
            if (!AsciiRows(c.samples, &n, [](const char*, const char*, size_t) { return true; }))
                return false;
            return ShortData(n);
        }
    }

    double rows = double(c.samples);
    if (c.stamps) {
        if (!StampGrid(&rows)) return false;
    } else if (!c.rates.empty()) {
        map_.SetRates(c.rates, c.ends);
        if (map_.kind() == RowMap::Kind::kRates && c.samples) rows = map_.Row(c.samples - 1, 0) + 1;
        map_.Restart();
    }
    const double step = map_.step();
    if (!(step > 0 && std::isfinite(step)))
        return Fail(StrPrintf(Tr("'%s': шаг времени выборок %g с вне допустимых пределов",
                                 "'%s': the samples' time step of %g s is out of range"),
                              dat_path_.c_str(), step));
    if (!(rows <= kGridRowsPerSample * double(c.samples)))  // a NaN too
        return Fail(StrPrintf(Tr("'%s': при равном шаге %g с из %zu выборок получается %.0f "
                                 "строк, больше чем в 16 раз: запись не загружена",
                                 "'%s': a uniform step of %g s turns its %zu samples into %.0f "
                                 "rows, more than 16 times as many: the record is not loaded"),
                              dat_path_.c_str(), step, size_t(c.samples), rows));
    const size_t grid = size_t(rows);
    const uint64_t phys = PhysicalMemoryBytes();
    const uint64_t cap = phys ? phys / 2 : kColumnsCapUnknownMemory;
    if (double(grid) * channels_ * sizeof(double) > double(std::min<uint64_t>(cap, SIZE_MAX / 2)))
        return Fail(NoMemoryText(grid, channels_));
    std::unique_ptr<double[]> values(new (std::nothrow) double[grid * size_t(channels_) + 1]);
    if (!values) return Fail(NoMemoryText(grid, channels_));

    if (grid) {
        Placer placer(values.get(), grid, channels_);
        std::vector<double> v(static_cast<size_t>(channels_));
        if (c.type == DataType::kAscii) {
            uint64_t n = 0;
            uint64_t index = 0;
            double stamp = 0;
            if (!AsciiRows(c.samples, &n, [&](const char* p, const char* e, size_t line) {
                    if (!AsciiValues(p, e, line, v.data(), c.stamps ? &stamp : nullptr))
                        return false;
                    placer.Place(map_.Row(index++, stamp), v.data());
                    return true;
                }))
                return false;
            if (n < c.samples) return ShortData(n);
        } else {
            auto decode = [&](auto type) {
                return BinaryBlocks([&](const unsigned char* p, size_t n, uint64_t first) {
                    for (size_t r = 0; r < n; ++r, p += row_bytes_) {
                        BinaryValues<decltype(type)::value>(p, v.data());
                        placer.Place(map_.Row(first + r, double(Le32(p + 4))), v.data());
                    }
                });
            };
            bool ok = c.type == DataType::kBinary
                          ? decode(std::integral_constant<DataType, DataType::kBinary>())
                      : c.type == DataType::kBinary32
                          ? decode(std::integral_constant<DataType, DataType::kBinary32>())
                          : decode(std::integral_constant<DataType, DataType::kFloat32>());
            if (!ok) return false;
        }
    }

    RecordingInfo info;
    info.file_value = c.station;
    info.info_value = c.device;
    info.channels = channels_;
    info.names = c.names;
    info.units = c.units;
    info.status_from = c.status ? c.analog : -1;
    info.step = step;
    info.rate = map_.rate();
    info.has_start = c.has_start;
    info.start = c.start;
    if (c.has_start) {
        RecordingStart whole = c.start;
        whole.millisecond = 0;
        info.start_seconds = ClockSeconds(whole) + c.start_fraction;
        if (c.has_trigger) {
            RecordingStart t = c.trigger;
            t.millisecond = 0;
            info.trigger_seconds =
                (ClockSeconds(t) - ClockSeconds(whole)) + (c.trigger_fraction - c.start_fraction);
        }
    }
    info.time_code = c.time_code;
    info.local_code = c.local_code;
    out->Adopt(path, std::move(info), grid, std::move(values), dat_size_, modified);
    return true;
}

}  // namespace

bool ReadComtrade(const std::string& path, RecordingData* out, std::string* err_text,
                  const ComtradeOptions& options) {
    std::string text;
    try {
        Reader reader(options, &text);
        if (reader.Read(path, out)) return true;
    } catch (const std::exception&) {
        // Only allocations throw here; what the reader held is freed already.
        try {
            text = StrPrintf(
                Tr("Не хватает памяти, чтобы прочесть '%s'", "Not enough memory to read '%s'"),
                path.c_str());
        } catch (const std::exception&) {
            return false;
        }
    }
    try {
        ReportError(err_text, text);
    } catch (const std::exception&) {
    }
    return false;
}

bool IsComtradePath(const std::string& path) {
    return path.size() >= 4 && EqualNoCase(std::string_view(path).substr(path.size() - 4), ".CFG");
}

}  // namespace korvex
