// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "recorder/RecorderEntry.h"

namespace korvex {

// The recorder window's texts, Russian when g_bRussian is set, else English; texts
// that exist in Russian only are shown as they are whatever the choice.

// The list's columns, in order.
enum RecorderColumn : int {
    kRecorderColFile,
    kRecorderColWrite,
    kRecorderColReason,
    kRecorderColRate,
    kRecorderColChannels,
    kRecorderColDate,
    kRecorderColTime,
    kRecorderColSize,
    kRecorderColSeconds,
};
constexpr int kRecorderColumns = kRecorderColSeconds + 1;

// Column captions: "File", "Write", "Reason", "F,Hz", "Chan", "Start Date", "Start Time",
// "Size,Mb", "Time,sec" (Russian: "Файл", "Запись", ...).
std::string RecorderColumnCaption(int column);
// The fixed sample text whose width, in the list's font, is the column's width: the
// caption padded with blanks.
std::string RecorderColumnWidthSample(int column);

// The text of one cell of row `row` (the table index): column 0 "%3d" of row + 1;
// column 1 ">> " (the current recording) or five blanks, then the status text; columns
// 2-8 empty for status 0, else reason ("# " before it when the marker bit is set),
// "%.2f" of 500 / DIV, "%d" NCHAN, "%4.4d-%2.2d-%2.2d", "%2.2d:%2.2d:%2.2d:%3.3d",
// "%.3lf" of sectors / 2048, "%.2f" of sectors * 0.06 * DIV * 8 / NCHAN (a DIV of 0
// counts as 1).
std::string RecorderCellText(const RecorderFileEntry& entry, int row, int column, bool current);

// The status line: version, file count, size and current file (these two only with at
// least one file), and the recording state, tab-separated as the window shows them.
std::string RecorderStatusLine(const RecorderHeader& header, uint32_t size_sectors);

// "Чтение файла %d" while recording `number` (from 1) is read.
std::string RecorderReadingText(int number);

// The start time of the first sector: "%4.4d-%2.2d-%2.2d     %2.2d:%2.2d:%2.2d:%3.3d".
std::string SectorTimeText(const RecorderTime& t);

}  // namespace korvex
