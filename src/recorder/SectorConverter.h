// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "recorder/RecorderEntry.h"

namespace korvex {

// The recording file's base name: "%4.4d_(%4.4d.%2.2d.%2.2d_%2.2d.%2.2d.%2.2d.%3.3d).trd"
// with the recording's number (from 1) and its start date and time.
std::string RecorderFileBaseName(int index, const RecorderFileEntry& entry);

// Checks every sector of one recording against its file table entry and the sectors
// before it, and converts the samples into rows of the recording file.
//
// Sector: word 0 N (each sector's N is the previous one's + 1, modulo 65536), 1 FLAGS,
// 2-4 TimeBeg, 5-7 the sector's time stamp, 8 format (0xA202), 16-255 data: 240 / NCHAN
// samples of NCHAN words. Sample: a status word (bits 0-3 State, 6 Prot, 7 RF, 8 Write)
// and NCHAN - 1 signed values scaled by 0.0001, each held in single precision.
//
// Rows, values "%f" separated by single spaces: State * 0.1, Write * 0.15, Prot * 0.25,
// RF * 0.35 (the "#NAME=" line keeps "Prot*0.2" and "RF*0.25", which other programs and
// older recordings rely on), then by NCHAN:
//   8:  ch1..ch7 (Us Is If Uf Uexc P Q)
//   10: ch1 ch8 ch9 Us ch2..ch7 (Uab Ubc Uca Us Is If Uf Uexc P Q)
//   12: ch1 ch8 ch9 Us ch2 ch10 ch11 Is ch3..ch7 (Uab Ubc Uca Us Ia Ib Ic Is If ...)
// Us and Is: the root of the mean of three squares, the mean and the root each rounded
// to single precision. NCHAN 14 has no layout.
class SectorConverter {
public:
    SectorConverter(int index, const RecorderFileEntry& entry) : index_(index), entry_(entry) {}

    // Validates sector s and converts it: the header after sector 0 has passed, then the
    // sector's rows. Rows go to the file in batches of whole sectors (a full disk leaves
    // the file at the end of the last batch written). Returns "" or the message of the
    // first failure, as the recorder's users know it (Russian), or "Write File error:
    // <reason>". For sector 0, *sector_time receives the sector's time stamp text.
    std::string Convert(int s, const uint16_t* words, FILE* out, std::string* sector_time);
    // Writes the rows not yet written; "" or "Write File error: <reason>". Call it before
    // the file is closed, after a stop or a failure too.
    std::string Flush(FILE* out);

    // Rows per sector: 240 / NCHAN (30, 24 or 20).
    int samples_per_sector() const { return samples_; }

private:
    // The fault recording's header (RecordingHeaderText); without a layout for NCHAN
    // only its "#FILE=" and "#INFO=" lines.
    std::string Header(bool* known_layout) const;
    void AppendRows(const uint16_t* words, std::string* rows) const;

    int index_;
    RecorderFileEntry entry_;
    uint16_t flags_ = 0;
    uint16_t last_n_ = 0;
    int nchan_ = 0;
    int samples_ = 0;
    std::string pending_;  // converted rows not yet written
};

}  // namespace korvex
