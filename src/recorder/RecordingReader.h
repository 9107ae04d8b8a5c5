// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/StopToken.h"
#include "link/RS232Port.h"
#include "recorder/RecorderEntry.h"

namespace korvex {

// What the reader shows while it reads; called on the reader's thread.
struct RecorderReadEvents {
    std::function<void(int percent)> progress;             // whole percent, on change
    std::function<void(const std::string&)> reading_text;  // "Чтение файла %d"
    std::function<void(const std::string&)> sector_time;   // the first sector's stamp
};

struct RecorderReadResult {
    std::string path;  // the recording file; empty when it could not be created
    int sectors = 0;   // sectors converted, written to the file
    // The messages to show, in order: the first failure only (or the data directory's
    // message and "Open File error"). Empty after a complete read or a stop.
    std::vector<std::string> messages;
    bool stopped = false;  // the user asked for the stop
};

// Reads recording `index` (from 0) sector by sector into a new recording file in the
// data directory (RecorderFileBaseName behind the time prefix): selects it (register
// 0x8100), then for each sector selects it (0x8101), reads it (AvOsc_ReadSector),
// reports progress, validates and converts it (SectorConverter). `stop` is looked at
// between sectors only: the sector in progress is completed and its rows written. An
// exchange that a token on the port ends (kRS232Cancelled: the mode is closing) is a
// stop too, without a message; the sector it interrupted is not written. The
// file is created before the first exchange and always closed; a run that stops early
// keeps the rows of every sector before the one that failed. The viewer is for the
// caller to start, when at least one sector was converted.
RecorderReadResult ReadRecording(RS232Port* port, int index, const RecorderFileEntry& entry,
                                 const StopToken& stop, const RecorderReadEvents& events);

// Owns the reader's thread. The events and `done` are called on that thread; `done`
// is its last act. RequestStop() may be called from any thread; Join() waits for it.
// The destructor stops and joins a running reader.
class RecorderReader {
public:
    RecorderReader() = default;
    ~RecorderReader();
    RecorderReader(const RecorderReader&) = delete;
    RecorderReader& operator=(const RecorderReader&) = delete;

    void Start(RS232Port* port, int index, const RecorderFileEntry& entry,
               RecorderReadEvents events, std::function<void(const RecorderReadResult&)> done);
    // Stops after the sector in progress; any thread.
    void RequestStop() { stop_.RequestStop(); }
    void Join();
    bool running() const { return thread_.joinable(); }

private:
    StopToken stop_;
    std::thread thread_;
};

}  // namespace korvex
