// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingWriter.h"

#include <errno.h>

#include <cmath>

#include "app/StrPrintf.h"
#include "files/FileAccess.h"

namespace korvex {

std::string RecordingChannelName(const std::string& name) {
    // An empty name would leave two blanks in "#NAME=", which readers pass over as one,
    // and every later name would shift.
    if (name.empty()) return "_";
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) c = '_';
    return out;
}

std::string RecordingHeaderText(const HeaderToWrite& h) {
    std::string names = "#NAME=";
    for (size_t i = 0; i < h.names.size(); ++i) {
        // The live writer ends every name with a blank; the recorder only separates them.
        if (h.fault && i) names += ' ';
        names += RecordingChannelName(h.names[i]);
        if (!h.fault) names += ' ';
    }
    names += "\r\n";
    const std::string file = "#FILE=" + h.file_value + "\r\n";
    const std::string chan = StrPrintf("#CHAN=%d\r\n", int(h.names.size()));
    const std::string rate = StrPrintf("#F=%lf\r\n", h.rate);
    const std::string step = StrPrintf("#XX=0,%lf\r\n", h.step);
    const char* axis = "#XN=Time (sec)\r\n";
    if (!h.fault) return file + chan + names + axis + rate + step;
    const std::string info = "#INFO=" + h.info_value + "\r\n";
    if (h.names.empty()) return file + info;
    return file + info + names + chan + axis + step + rate;
}

bool WriteLiveHeader(FILE* f, const std::string& port_name, const std::vector<std::string>& names,
                     int rate_divider) {
    HeaderToWrite h;
    h.file_value = port_name;
    h.names = names;
    h.rate = 500.0 / rate_divider;
    h.step = 1.0 / h.rate;
    const std::string text = RecordingHeaderText(h);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
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
