// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingWriter.h"

#include <errno.h>

#include <cmath>

#include "app/StrPrintf.h"
#include "files/FileAccess.h"

namespace korvex {

namespace {

bool PutLine(FILE* f, const std::string& line) {
    std::string s = line + "\r\n";
    return std::fwrite(s.data(), 1, s.size(), f) == s.size();
}

}  // namespace

std::string RecordingChannelName(const std::string& name) {
    // An empty name would leave two blanks in "#NAME=", which readers pass over as one,
    // and every later name would shift.
    if (name.empty()) return "_";
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) c = '_';
    return out;
}

bool WriteLiveHeader(FILE* f, const std::string& port_name, const std::vector<std::string>& names,
                     int rate_divider) {
    double rate = 500.0 / rate_divider;
    std::string name_line = "#NAME=";
    for (const auto& n : names) name_line += RecordingChannelName(n) + " ";
    bool ok = PutLine(f, "#FILE=" + port_name) &&
              PutLine(f, StrPrintf("#CHAN=%d", int(names.size()))) && PutLine(f, name_line) &&
              PutLine(f, "#XN=Time (sec)") && PutLine(f, StrPrintf("#F=%lf", rate)) &&
              PutLine(f, StrPrintf("#XX=0,%lf", 1.0 / rate));
    return std::fflush(f) == 0 && ok;
}

size_t FormatFixed6(double v, char* out) {
    // Fast path for the values a regulator sends: scale to millionths and round. It is
    // exact unless the scaled value lies near a rounding tie, where the product's own
    // rounding could decide; those, and everything large or not finite, go to printf.
    double a = std::fabs(v);
    if (a < 1e6) {
        double x = a * 1e6;
        double r = std::nearbyint(x);
        double frac = x - std::floor(x);
        if (std::fabs(frac - 0.5) > 1e-3) {
            uint64_t m = static_cast<uint64_t>(r);
            char digits[24];
            int nd = 0;
            do {
                digits[nd++] = char('0' + m % 10);
                m /= 10;
            } while (m);
            while (nd < 7) digits[nd++] = '0';
            size_t len = 0;
            if (std::signbit(v)) out[len++] = '-';
            for (int i = nd - 1; i >= 6; --i) out[len++] = digits[i];
            out[len++] = '.';
            for (int i = 5; i >= 0; --i) out[len++] = digits[i];
            out[len] = '\0';
            return len;
        }
    }
    int n = CSnprintf(out, 330, "%.6f", v);
    return n > 0 ? size_t(n) : 0;
}

size_t FormatLiveRow(const double* values, size_t n, char* out) {
    size_t len = 0;
    for (size_t i = 0; i < n; ++i) {
        len += FormatFixed6(values[i], out + len);
        out[len++] = '\t';
    }
    out[len++] = '\r';
    out[len++] = '\n';
    return len;
}

bool AppendRow(FILE* f, const char* row, size_t len) {
    if (std::fflush(f) != 0) return false;
    int fd = fileno(f);
    int64_t start = FilePosition(fd);
    size_t done = 0;
    while (done < len) {
        int64_t w = WriteBytes(fd, row + done, len - done);
        if (w > 0) {
            done += size_t(w);
            continue;
        }
        int error = w < 0 ? errno : ENOSPC;
        // Half a row would be read as a row with wrong values; the rows before it stay.
        if (done && start >= 0) CutFileTo(fd, uint64_t(start));
        errno = error;
        return false;
    }
    return true;
}

bool WriteLiveRow(FILE* f, const double* values, size_t n) {
    char stack[15 * kLiveRowBytesPerValue + 2];
    std::string heap;
    char* buf = stack;
    if (n > 15) {
        heap.resize(n * kLiveRowBytesPerValue + 2);
        buf = heap.data();
    }
    size_t len = FormatLiveRow(values, n, buf);
    return AppendRow(f, buf, len);
}

}  // namespace korvex
