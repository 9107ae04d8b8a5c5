// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// The regulator's fault recorder over ModBus (slave address 1). Registers:
//   0x8000-0x8003 header (version, file_count, state, current_file), read
//   0x8004        recorder size in sectors of 512 bytes, read
//   0x8006        manual recording switch, 1 on / 0 off, written
//   0x8100        recording to read (from 0), written once before its first sector
//   0x8101        sector to read next (from 0), written with function 16
//   0x8200-0x82FF the selected sector, 256 registers, read as 86 + 86 + 84
//   0x8300 + 5 i  file table entry i, i = 0..511
constexpr uint8_t kRecorderSlave = 1;
constexpr uint16_t kRecorderHeaderReg = 0x8000;
constexpr int kRecorderHeaderWords = 4;
constexpr uint16_t kRecorderSizeReg = 0x8004;
constexpr uint16_t kRecorderSwitchReg = 0x8006;
constexpr uint16_t kRecorderSelectReg = 0x8100;
constexpr uint16_t kRecorderSectorReg = 0x8101;
constexpr uint16_t kRecorderWindowReg = 0x8200;
constexpr uint16_t kRecorderTableReg = 0x8300;
constexpr int kRecorderEntryWords = 5;
constexpr int kRecorderMaxFiles = 512;
constexpr int kSectorWords = 256;
// The most registers one read of the sector takes: 86 + 86 + 84.
constexpr int kSectorChunkWords = 86;
// A sector's head, then its data words.
constexpr int kSectorHeadWords = 16;
constexpr int kSectorDataWords = kSectorWords - kSectorHeadWords;
constexpr uint16_t kSectorFormat = 0xA202;

struct RecorderHeader {
    uint16_t version = 0;       // 1 is the only one supported; 0: no recorder
    uint16_t file_count = 0;    // clamped to 512 by the poll
    uint16_t state = 0;         // bits 0-1: 1 manual, 3 automatic recording on
    uint16_t current_file = 0;  // index of the current recording
};

// A start time of a recording, or a sector's time stamp, from the three TimeBeg words.
struct RecorderTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Word A: bits 10-15 second, 0-9 millisecond; word B: bits 11-15 day, 6-10 hour, 0-5
// minute; word C: bits 4-10 year - 2000, 0-3 month.
RecorderTime DecodeRecorderTime(uint16_t a, uint16_t b, uint16_t c);

// One file table entry (kRecorderEntryWords registers).
struct RecorderFileEntry {
    uint16_t sectors = 0;  // length in sectors of 512 bytes
    // FLAGS: bits 0-1 status, 2-5 DIV, 6-7 channel code, 8-11 reason, 12 marker.
    uint16_t flags = 0;
    uint16_t time[3] = {0, 0, 0};  // TimeBeg words A, B, C

    // 0 no readable recording, 1 being recorded, 2 stored, 3 stored after a break.
    int status() const { return flags & 3; }
    // Divider of the 500 Hz base rate; 0 as stored (the texts count it as 1).
    int div() const { return (flags >> 2) & 0x0F; }
    int channel_code() const { return (flags >> 6) & 3; }
    // Values per sample: 8, 10, 12 or 14.
    int nchan() const { return 2 * channel_code() + 8; }
    int reason() const { return (flags >> 8) & 0x0F; }
    bool marker() const { return (flags >> 12) & 1; }
    RecorderTime start() const { return DecodeRecorderTime(time[0], time[1], time[2]); }
};

// The entry from its 5 registers in register order.
RecorderFileEntry DecodeFileEntry(const uint16_t* words);

}  // namespace korvex
