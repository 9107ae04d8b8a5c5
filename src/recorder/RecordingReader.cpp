// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecordingReader.h"

#include "app/ErrorReport.h"
#include "files/DataDirectory.h"
#include "link/ModBus.h"
#include "recorder/RecorderTexts.h"
#include "recorder/SectorConverter.h"
#include "recorder/SectorRead.h"

namespace korvex {

RecorderReadResult ReadRecording(RS232Port* port, int index, const RecorderFileEntry& entry,
                                 const StopToken& stop, const RecorderReadEvents& events) {
    RecorderReadResult result;
    const int n = entry.sectors;
    std::string err;
    std::string path;
    FILE* out = OpenDataFile(RecorderFileBaseName(index, entry), "w", &path, &err);
    if (!out) {
        if (!err.empty()) result.messages.push_back(err);
        result.messages.push_back("Open File error");
        return result;
    }
    result.path = path;
    std::string message;
    uint32_t code = 0;
    int s = 0;
    code =
        ModBus_WriteSingleReg(port, kRecorderSlave, kRecorderSelectReg, uint16_t(index), &message);
    if (code == 0) {
        if (events.reading_text) events.reading_text(RecorderReadingText(index + 1));
        SectorConverter converter(index, entry);
        uint16_t words[kSectorWords];
        int last_percent = -1;
        for (; s < n && !stop.stop_requested(); ++s) {
            const uint16_t sector = uint16_t(s);
            code = ModBus_WriteMultipleReg(port, kRecorderSlave, kRecorderSectorReg, 1, &sector,
                                           &message);
            if (code == 0) code = AvOsc_ReadSector(port, words, &message);
            if (code != 0) break;
            int percent = int((int64_t(s) + 1) * 100 / n);
            if (percent != last_percent && events.progress) events.progress(percent);
            last_percent = percent;
            std::string stamp;
            message = converter.Convert(s, words, out, &stamp);
            // The first sector's time shows once it is known, before its header is
            // written: a recording of a channel count without a layout shows it too.
            if (!stamp.empty() && events.sector_time) events.sector_time(stamp);
            if (!message.empty()) break;
        }
        // The rows of every sector converted, whatever ended the read.
        std::string written = converter.Flush(out);
        if (message.empty()) message = written;
    }
    // Woken by the mode's close: a stop, whose interrupted exchange has nothing to say.
    if (code == kRS232Cancelled) message.clear();
    result.stopped = (stop.stop_requested() || code == kRS232Cancelled) && message.empty() && s < n;
    if (std::fclose(out) != 0 && message.empty()) message = "Write File error";
    result.sectors = s;
    if (!message.empty()) result.messages.push_back(message);
    return result;
}

RecorderReader::~RecorderReader() {
    RequestStop();
    Join();
}

void RecorderReader::Start(RS232Port* port, int index, const RecorderFileEntry& entry,
                           RecorderReadEvents events,
                           std::function<void(const RecorderReadResult&)> done) {
    Join();
    stop_.Reset();
    thread_ =
        std::thread([this, port, index, entry, events = std::move(events), done = std::move(done)] {
            RecorderReadResult r = ReadRecording(port, index, entry, stop_, events);
            if (done) done(r);
        });
}

void RecorderReader::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace korvex
