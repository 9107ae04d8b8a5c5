// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/CsvExport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "app/ErrorReport.h"
#include "files/RecordingData.h"

namespace korvex {

namespace {

void AppendCsvField(std::string& line, const std::string& text, char separator) {
    const char special[] = {separator, '"', '\r', '\n', '\0'};
    if (text.find_first_of(special) == std::string::npos) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

}  // namespace

char* FormatSeconds(double seconds, char* out) {
    if (!std::isfinite(seconds) || std::fabs(seconds) >= 1e15) {
        return std::to_chars(out, out + 32, seconds).ptr;
    }
    char* e = std::to_chars(out, out + 32, seconds, std::chars_format::fixed, 9).ptr;
    while (e[-1] == '0') --e;
    if (e[-1] == '.') --e;
    if (e - out == 2 && out[0] == '-' && out[1] == '0') {  // "-0" of a tiny negative time
        out[0] = '0';
        e = out + 1;
    }
    return e;
}

bool ExportCsv(const RecordingData& data, size_t begin, size_t end, const std::string& path,
               bool overwrite, std::string* err_text, const ExportControl& control,
               CsvStyle style) {
    const char separator = style.decimal_comma ? ';' : ',';
    if (end > data.rows()) end = data.rows();
    if (begin > end) begin = end;
    ExportFile file;
    if (!file.Create(path, overwrite, err_text, data.path())) return false;
    std::string header = "Time (s)";
    for (const std::string& name : data.info().names) {
        header += separator;
        AppendCsvField(header, name, separator);
    }
    header += "\r\n";
    file.Write(header);

    const int channels = data.channels();
    std::vector<const double*> columns;
    for (int c = 0; c < channels; ++c) columns.push_back(data.column(c));
    // A fixed-notation double takes at most 309 digits before the point and 17 after.
    const size_t row_max = 34 + size_t(channels) * 330;
    std::vector<char> row(row_max);
    int last_percent = -1;
    for (size_t r = begin; r < end; ++r) {
        if ((r - begin) % 4096 == 0) {
            if (StopRequested(control.cancel)) {
                file.Discard();
                ReportError(err_text, "Cancelled");
                return false;
            }
            int percent = int((r - begin) * 100 / (end - begin));
            if (percent != last_percent && control.progress) control.progress(percent);
            last_percent = percent;
        }
        char* start = row.data();
        char* p = FormatSeconds(double(r) * data.step(), start);
        for (int c = 0; c < channels; ++c) {
            *p++ = separator;
            p = std::to_chars(p, start + row_max, columns[size_t(c)][r], std::chars_format::fixed)
                    .ptr;
        }
        // Every "." of the row is a decimal point: the separator is ";" then, and the
        // numbers hold no other (exponents, "inf" and "nan" have none).
        if (style.decimal_comma) std::replace(start, p, '.', ',');
        *p++ = '\r';
        *p++ = '\n';
        file.Write(std::string_view(start, size_t(p - start)));
    }
    if (!file.Commit(err_text)) return false;
    if (control.progress) control.progress(100);
    return true;
}

}  // namespace korvex
