// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/Version.h"
#include "diary/DiaryBlock.h"
#include "diary/ServiceChannel.h"

namespace korvex {

// The report's name: the identification and version text cut at its first blank, then
// "(%d).info.txt" with the channel. The regulator writes its identification in CP1251;
// the name is made UTF-8 for the file system, with control characters and the
// characters that a Windows file name cannot hold (/ \ : * ? " < > |) as '_' on every
// platform, so that a regulator's report has the same name everywhere.
std::string DiaryReportName(const std::string& version_text, int channel);

// The diary and parameter report, written line by line as the reading goes, so that a
// run that stops keeps what was read. Plain text with CR LF line ends; the fixed Russian
// texts in CP1251; the regulator's texts (identification, messages, parameter names)
// copied byte for byte. The file is the caller's, opened binary.
//
// Each Put* writes whole lines with one write (AppendRow, as the recording writers do):
// when the disk fills up part-way, the file is cut back to its last whole line. From the
// first failed write on nothing more is written: that Put* and every later one return
// false, and error() tells the errno value of the failure.
class DiaryReport {
public:
    explicit DiaryReport(FILE* out) : out_(out) {}

    // "Korvex v%d.%d.%d.%d", an empty line, the identification and version, and
    // "Канал=%d, Master|Slave" when the channel word is not 0.
    bool PutHead(const Version4& own, const std::string& version_text, uint16_t channel_word);
    // "Время Windows   : ..." (the PC's clock) and "Время регулятора: ...", then a blank
    // line. `regulator` holds registers 560-565 in order.
    bool PutClocks(const std::tm& pc, const uint16_t* regulator);
    // "********** Дневник-%d (%d сообщ) **********" and a blank line.
    bool PutDiaryHeading(int diary, uint32_t count);
    // "%d\t%4.4d-%2.2d-%2.2d  %2.2d:%2.2d:%2.2d:%3.3d  [%3.3d]  %s".
    bool PutMessage(uint32_t number, const DiaryRecord& r, const std::string& text);
    bool PutBlankLine();
    // The parameter sections: set 0 alone, then sets 1 and 2 side by side with "[#]" where
    // they differ. With 2 sets, set 1 is written like set 0; with 1 set, set 0 only; with
    // none, nothing. Where set 2 lacks an index of set 1, set 1's value stands alone with
    // "[#]"; a value whose type differs between the sets is printed in its own type and
    // marked "[#]".
    bool PutParameterSets(const std::vector<ParameterSet>& sets);

    // The errno value of the first failed write, 0 while none failed.
    int error() const { return error_; }

private:
    bool Put(const std::string& lines);  // whole lines; "\n" becomes CR LF
    bool PutSingleSet(int number, const ParameterSet& set);

    FILE* out_;
    int error_ = 0;
};

}  // namespace korvex
