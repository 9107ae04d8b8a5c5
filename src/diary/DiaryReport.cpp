// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/DiaryReport.h"

#include <errno.h>

#include <cmath>
#include <cstring>

#include "app/CodePages.h"
#include "app/StrPrintf.h"
#include "files/RecordingWriter.h"

namespace korvex {

namespace {

// A fixed Russian text, formatted with numbers and Latin words only.
std::string Fixed(const std::string& utf8) {
    return Utf8ToCp1251(utf8);
}

std::string Value(const ParameterValue& v) {
    return v.is_float ? StrPrintf("%-11.3f", double(v.f)) : StrPrintf("%-11d", int(v.i));
}

// Two values differ; a comparison that involves a NaN counts as equal.
bool Differ(const ParameterValue& a, const ParameterValue& b) {
    if (a.is_float != b.is_float) return true;
    if (a.is_float) return a.f < b.f || a.f > b.f;
    return a.i != b.i;
}

}  // namespace

std::string DiaryReportName(const std::string& version_text, int channel) {
    std::string id = version_text.substr(0, version_text.find(' '));
    std::string name = Cp1251ToUtf8(id);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || (c && std::strchr("/\\:*?\"<>|", c))) c = '_';
    return StrPrintf("%s(%d).info.txt", name.c_str(), channel);
}

bool DiaryReport::Put(const std::string& lines) {
    if (error_) return false;
    std::string out;
    out.reserve(lines.size() + 8);
    for (char c : lines) {
        if (c == '\n') out += '\r';
        out += c;
    }
    // A half line would end the report in the middle of a message; the lines before it
    // stay.
    errno = 0;
    if (!AppendRow(out_, out.data(), out.size())) {
        error_ = errno ? errno : EIO;
        return false;
    }
    return true;
}

bool DiaryReport::PutHead(const Version4& own, const std::string& version_text,
                          uint16_t channel_word) {
    bool ok = Put(
        StrPrintf("Korvex v%d.%d.%d.%d\n\n", int(own[0]), int(own[1]), int(own[2]), int(own[3])));
    ok = Put(version_text + "\n") && ok;
    if (channel_word) {
        int channel = channel_word & 3;
        bool master = (channel == 1 && (channel_word & 4)) || (channel == 2 && (channel_word & 8));
        ok = Put(Fixed(StrPrintf("Канал=%d, %s\n", channel, master ? "Master" : "Slave"))) && ok;
    }
    return ok;
}

bool DiaryReport::PutClocks(const std::tm& pc, const uint16_t* reg) {
    bool ok = Put(Fixed(StrPrintf("Время Windows   : %4.4d-%2.2d-%2.2d   %2.2d:%2.2d:%2.2d \n",
                                  pc.tm_year + 1900, pc.tm_mon + 1, pc.tm_mday, pc.tm_hour,
                                  pc.tm_min, pc.tm_sec)));
    return Put(Fixed(StrPrintf("Время регулятора: %4.4d-%2.2d-%2.2d   %2.2d:%2.2d:%2.2d \n\n",
                               reg[0], reg[1], reg[2], reg[3], reg[4], reg[5]))) &&
           ok;
}

bool DiaryReport::PutDiaryHeading(int diary, uint32_t count) {
    return Put(
        Fixed(StrPrintf("********** Дневник-%d (%d сообщ) **********\n\n", diary, int(count))));
}

bool DiaryReport::PutMessage(uint32_t number, const DiaryRecord& r, const std::string& text) {
    return Put(StrPrintf("%d\t%4.4d-%2.2d-%2.2d  %2.2d:%2.2d:%2.2d:%3.3d  [%3.3d]  ", int(number),
                         r.year, r.month, r.day, r.hour, r.minute, r.second, r.millisecond,
                         int(r.code)) +
               text + "\n");
}

bool DiaryReport::PutBlankLine() {
    return Put("\n");
}

// A section is its heading, a blank line and one line per parameter: the same bytes as
// a line end before each parameter and one after the last, but written whole line by
// whole line.
bool DiaryReport::PutSingleSet(int number, const ParameterSet& set) {
    if (!Put(Fixed(StrPrintf("\n********** Набор параметров %d (%d парам.) **********\n\n", number,
                             int(set.count)))))
        return false;
    for (size_t j = 0; j < set.params.size(); ++j) {
        const Parameter& p = set.params[j];
        std::string line =
            p.value.is_float
                ? StrPrintf("%d\t%-14s = %.3f\n", int(j + 1), p.name.c_str(), double(p.value.f))
                : StrPrintf("%d\t%-14s = %d\n", int(j + 1), p.name.c_str(), int(p.value.i));
        if (!Put(line)) return false;
    }
    return true;
}

bool DiaryReport::PutParameterSets(const std::vector<ParameterSet>& sets) {
    if (sets.empty()) return true;
    if (!PutSingleSet(0, sets[0])) return false;
    if (sets.size() == 2) return PutSingleSet(1, sets[1]);
    if (sets.size() < 3) return true;
    const ParameterSet &one = sets[1], &two = sets[2];
    if (!Put(Fixed(StrPrintf("\n********** Набор параметров %d/%d (%d парам.) **********\n\n", 1, 2,
                             int(one.count)))))
        return false;
    for (size_t j = 0; j < one.params.size(); ++j) {
        const Parameter& p = one.params[j];
        std::string line = StrPrintf("%d\t%-14s = ", int(j + 1), p.name.c_str());
        line += Value(p.value);
        if (j < two.params.size()) {
            line += Value(two.params[j].value);
            if (Differ(p.value, two.params[j].value)) line += "[#]";
        } else {
            line += std::string(11, ' ') + "[#]";
        }
        if (!Put(line + "\n")) return false;
    }
    return true;
}

}  // namespace korvex
