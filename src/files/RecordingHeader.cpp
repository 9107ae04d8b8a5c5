// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingHeader.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <exception>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"
#include "files/LineScanner.h"
#include "files/NumberParse.h"

namespace korvex {

namespace {

const char* SkipBlanks(const char* p, const char* e) {
    while (p < e && IsBlank(*p)) ++p;
    return p;
}

// A value up to its first control character.
std::string TextValue(const char* p, const char* e) {
    const char* q = p;
    while (q < e && static_cast<unsigned char>(*q) >= 0x20) ++q;
    return std::string(p, size_t(q - p));
}

}  // namespace

HeaderKey HeaderLineKey(const char* p, const char* e, const char** value) {
    static constexpr struct {
        const char* text;
        size_t len;
        HeaderKey key;
    } kKeys[] = {{"#FILE=", 6, HeaderKey::kFile},     {"#INFO=", 6, HeaderKey::kInfo},
                 {"#CHAN=", 6, HeaderKey::kChan},     {"#NAME=", 6, HeaderKey::kName},
                 {"#F=", 3, HeaderKey::kRate},        {"#XX=", 4, HeaderKey::kStep},
                 {"#ERRSEQ", 7, HeaderKey::kSeqError}};
    const size_t len = size_t(e - p);
    for (const auto& k : kKeys) {
        if (len >= k.len && std::memcmp(p, k.text, k.len) == 0) {
            if (value) *value = p + k.len;
            return k.key;
        }
    }
    return HeaderKey::kOther;
}

bool ParseRateValue(const char* v, const char* e, double* rate) {
    v = SkipBlanks(v, e);
    double r = 0;
    if (ParseDouble(v, e, &r) == v) return false;
    *rate = r == 0.0 ? 1.0 : r;
    return true;
}

bool ReadHeader(int fd, uint64_t size, bool finished, HeaderEnd stop, const std::string& path,
                HeaderRead* out, std::string* err_text) {
    *out = HeaderRead{};
    RecordingInfo& info = out->info;
    bool names_seen = false, bad_count = false;
    int declared = 0;
    double xx_step = 0;
    LineScanner scanner(fd);
    int64_t end = scanner.Scan(
        0, size, finished,
        [&](const char* p, const char* e, uint64_t off) {
            // A byte-order mark that an editor put before the first line is no part of it.
            if (off == 0 && e - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
            if (e > p && e[-1] == '\r') --e;
            if (p == e || *p != '#') {
                if (stop == HeaderEnd::kFirstRow && (out->chan_seen || names_seen)) {
                    out->end = off;
                    out->row_found = true;
                    return false;
                }
                return true;
            }
            const char* v = e;
            switch (HeaderLineKey(p, e, &v)) {
                case HeaderKey::kFile: info.file_value = TextValue(v, e); break;
                case HeaderKey::kInfo: info.info_value = TextValue(v, e); break;
                case HeaderKey::kChan: {
                    v = SkipBlanks(v, e);
                    double n = 0;
                    if (ParseDouble(v, e, &n) == v || !(n >= 1)) {  // nan too
                        bad_count = true;
                        return false;
                    }
                    declared = n >= double(INT_MAX) ? INT_MAX : int(n);
                    out->chan_seen = true;
                    break;
                }
                case HeaderKey::kName:
                    info.names.clear();
                    for (const char* q = v; q < e;) {
                        while (q < e && (IsBlank(*q) || *q == '\r')) ++q;
                        const char* s = q;
                        while (q < e && !IsBlank(*q) && *q != '\r') ++q;
                        if (q > s) info.names.emplace_back(s, size_t(q - s));
                    }
                    out->names_before_chan = !out->chan_seen;
                    names_seen = true;
                    break;
                case HeaderKey::kRate: ParseRateValue(v, e, &info.rate); break;
                case HeaderKey::kStep: {
                    const char* comma =
                        static_cast<const char*>(std::memchr(v, ',', size_t(e - v)));
                    double s = 0;
                    if (comma && ParseDouble(comma + 1, e, &s) != comma + 1) xx_step = s;
                    break;
                }
                case HeaderKey::kSeqError: ++out->seq_errors; break;
                case HeaderKey::kOther: break;
            }
            return !(stop == HeaderEnd::kChannelsAndNames && out->chan_seen && names_seen);
        },
        [](uint64_t) {});
    if (end < 0) {
        ReportError(err_text, StrPrintf("Read error in '%s'", path.c_str()));
        return false;
    }
    if (bad_count) {
        ReportError(err_text, "NumChan<=0");
        return false;
    }
    const bool complete = stop == HeaderEnd::kChannelsAndNames
                              ? out->chan_seen && names_seen
                              : out->chan_seen || !info.names.empty();
    if (!complete) {
        ReportError(err_text, "Undefined NumChan & Name[]");
        return false;
    }
    if (!out->row_found) out->end = uint64_t(end);
    info.channels = out->chan_seen ? declared : int(info.names.size());
    if (std::isfinite(xx_step) && xx_step > 0)
        info.step = xx_step;
    else if (std::isfinite(info.rate) && info.rate > 0)
        info.step = 1.0 / info.rate;
    info.has_start = ParseRecordingStart(info.info_value, &info.start);
    return true;
}

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
    HeaderRead read;
    bool ok = false;
    try {
        ok = ReadHeader(fd, size, finished, HeaderEnd::kChannelsAndNames, path, &read, err_text);
    } catch (const std::exception&) {
        // Only allocations throw: a "#NAME=" line of a megabyte of one-letter names.
        read = HeaderRead();
        ReportError(err_text, StrPrintf(Tr("Не хватает памяти, чтобы прочесть '%s'",
                                           "Not enough memory to read '%s'"),
                                        path.c_str()));
    }
    CloseFile(fd);
    if (!ok) return 1;
    header->num_chan = read.info.channels;
    header->shown = read.info.channels < kMaxShownChannels ? read.info.channels : kMaxShownChannels;
    header->names.resize(size_t(header->shown));
    // Names are those of the channels known when "#NAME=" came: none before "#CHAN=".
    if (!read.names_before_chan)
        for (size_t c = 0; c < header->names.size() && c < read.info.names.size(); ++c)
            header->names[c] = std::move(read.info.names[c]);
    header->file_value = read.info.file_value.substr(0, 100);
    *consumed = read.end;
    return 0;
}

}  // namespace korvex
