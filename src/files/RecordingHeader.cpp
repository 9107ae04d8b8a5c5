#include "files/RecordingHeader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"

namespace korvex {

namespace {

bool StartsWith(const char* line, size_t len, const char* key) {
    size_t k = std::strlen(key);
    return len >= k && std::memcmp(line, key, k) == 0;
}

}  // namespace

int ReadRecordingHeader(const std::string& path, RecordingHeader* header, uint64_t* consumed,
                        std::string* err_text) {
    *header = RecordingHeader{};
    *consumed = 0;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return 1;
    }
    bool chan_seen = false, names_seen = false;
    char* line = nullptr;
    size_t cap = 0;
    int result = 0;
    while (true) {
        ssize_t n = getline(&line, &cap, f);
        // A last line without its line end is still being written; it is not read yet.
        if (n <= 0 || line[n - 1] != '\n') {
            ReportError(err_text, "Undefined NumChan & Name[]");
            result = 1;
            break;
        }
        *consumed += uint64_t(n);
        size_t len = size_t(n);
        if (StartsWith(line, len, "#FILE=")) {
            size_t end = 6;
            while (end < len && static_cast<unsigned char>(line[end]) >= 0x20) ++end;
            header->file_value.assign(line + 6, end - 6 > 100 ? 100 : end - 6);
        } else if (StartsWith(line, len, "#CHAN=")) {
            int value = 0;
            if (std::sscanf(line + 6, "%d", &value) != 1) value = 0;
            if (value < 1) {
                ReportError(err_text, "NumChan<=0");
                result = 1;
                break;
            }
            header->num_chan = value;
            header->shown = value < kMaxShownChannels ? value : kMaxShownChannels;
            header->names.resize(size_t(header->shown));
            chan_seen = true;
        } else if (StartsWith(line, len, "#NAME=")) {
            // One blank-free name per channel shown at this moment; a "#NAME=" line before
            // "#CHAN=" therefore names nothing.
            const char* p = line + 6;
            const char* end = line + len;
            for (int c = 0; c < header->shown; ++c) {
                while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
                const char* start = p;
                while (p < end && !(*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
                if (p == start) break;
                header->names[size_t(c)].assign(start, size_t(p - start));
            }
            names_seen = true;
        }
        if (chan_seen && names_seen) break;
    }
    std::free(line);
    std::fclose(f);
    return result;
}

}  // namespace korvex
