// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingHeader.h"

#include <charconv>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"
#include "files/LineScanner.h"

namespace korvex {

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// "%d" of the value: blanks, a sign and digits; 0 when there are none. A value beyond
// int's range is no channel count either.
int ParseInt(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p < end && *p == '+') ++p;
    int v = 0;
    auto r = std::from_chars(p, end, v);
    return r.ec == std::errc() ? v : 0;
}

bool StartsWith(const char* line, size_t len, const char* key) {
    size_t k = std::strlen(key);
    return len >= k && std::memcmp(line, key, k) == 0;
}

}  // namespace

int ReadRecordingHeader(const std::string& path, RecordingHeader* header, uint64_t* consumed,
                        std::string* err_text, bool finished) {
    *header = RecordingHeader{};
    *consumed = 0;
    int fd = OpenForReading(path);
    uint64_t size = 0;
    if (fd < 0 || !FileSizeAndTime(fd, &size, nullptr)) {
        CloseFile(fd);
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return 1;
    }
    bool chan_seen = false, names_seen = false, bad_count = false;
    LineScanner scanner(fd);
    int64_t end = scanner.Scan(
        0, size, finished,
        [&](const char* line, const char* nl, uint64_t offset) {
            // A byte-order mark that an editor put before the first line is no part of it.
            if (offset == 0 && nl - line >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0)
                line += 3;
            size_t len = size_t(nl - line);
            if (StartsWith(line, len, "#FILE=")) {
                size_t e = 6;
                while (e < len && static_cast<unsigned char>(line[e]) >= 0x20) ++e;
                header->file_value.assign(line + 6, e - 6 > 100 ? 100 : e - 6);
            } else if (StartsWith(line, len, "#CHAN=")) {
                int value = ParseInt(line + 6, nl);
                if (value < 1) {
                    bad_count = true;
                    return false;
                }
                header->num_chan = value;
                header->shown = value < kMaxShownChannels ? value : kMaxShownChannels;
                header->names.resize(size_t(header->shown));
                chan_seen = true;
            } else if (StartsWith(line, len, "#NAME=")) {
                // One blank-free name per channel shown at this moment; a "#NAME=" line
                // before "#CHAN=" therefore names nothing.
                const char* p = line + 6;
                for (int c = 0; c < header->shown; ++c) {
                    while (p < nl && IsSeparator(*p)) ++p;
                    const char* start = p;
                    while (p < nl && !IsSeparator(*p)) ++p;
                    if (p == start) break;
                    header->names[size_t(c)].assign(start, size_t(p - start));
                }
                names_seen = true;
            }
            return !(chan_seen && names_seen);
        },
        [](uint64_t) {});
    CloseFile(fd);
    if (bad_count) {
        ReportError(err_text, "NumChan<=0");
        return 1;
    }
    // A last line without its line end is still being written; it is not read yet.
    if (end < 0 || !(chan_seen && names_seen)) {
        ReportError(err_text, "Undefined NumChan & Name[]");
        return 1;
    }
    *consumed = uint64_t(end);
    return 0;
}

}  // namespace korvex
