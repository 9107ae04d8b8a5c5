// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/SectorConverter.h"

#include <cerrno>
#include <cmath>

#include "app/Single.h"
#include "app/StrPrintf.h"
#include "files/RecordingWriter.h"
#include "recorder/RecorderTexts.h"

namespace korvex {

namespace {

const char kInterrupted[] = "\nВозможно, запись была прервана.";

// Converted rows go to the file in batches of whole sectors, so that a read spends its
// time on the line, not in writes; a full disk keeps the batches before.
constexpr size_t kWriteBatch = 64 * 1024;

std::string TimeBegMessage(int s) {
    return StrPrintf("Ошибка: TimeBeg_file (сектор %d) отличается от TimeBeg_info.", s) +
           (s > 0 ? kInterrupted : "");
}

// The measured columns after the four status columns, by NCHAN; null for a count with
// no layout.
const char* MeasuredNames(int nchan) {
    switch (nchan) {
        case 8: return "Us Is If Uf Uexc P Q";
        case 10: return "Uab Ubc Uca Us Is If Uf Uexc P Q";
        case 12: return "Uab Ubc Uca Us Ia Ib Ic Is If Uf Uexc P Q";
        default: return nullptr;
    }
}

// A measured value: a signed 16-bit word times 0.0001, held in single precision.
float Value(uint16_t w) {
    return ToSingle(int16_t(w) * 0.0001);
}

// The root of the mean of three squares; the mean and the root rounded to single
// precision.
float RootMeanSquare(float a, float b, float c) {
    float mean = ToSingle((double(a) * a + double(b) * b + double(c) * c) / 3.0);
    return ToSingle(std::sqrt(double(mean)));
}

}  // namespace

std::string RecorderFileBaseName(int index, const RecorderFileEntry& e) {
    RecorderTime t = e.start();
    return StrPrintf("%4.4d_(%4.4d.%2.2d.%2.2d_%2.2d.%2.2d.%2.2d.%3.3d).trd", index + 1, t.year,
                     t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

std::string SectorConverter::Header(bool* known_layout) const {
    RecorderTime t = entry_.start();
    HeaderToWrite h;
    h.fault = true;
    h.info_value = StrPrintf("File : %4.4d_(%4.4d.%2.2d.%2.2d_%2.2d.%2.2d.%2.2d.%3.3d)", index_ + 1,
                             t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
    const char* measured = MeasuredNames(nchan_);
    *known_layout = measured != nullptr;
    if (measured) {
        // The flags' factors as recordings have always named them (see the class).
        h.names = {"State*0.1", "Write*0.15", "Prot*0.2", "RF*0.25"};
        for (const char* p = measured; *p;) {
            const char* q = p;
            while (*q && *q != ' ') ++q;
            h.names.emplace_back(p, size_t(q - p));
            p = *q ? q + 1 : q;
        }
        const int div = (flags_ >> 2) & 0x0F;
        h.step = div * 0.002;
        h.rate = 500.0 / div;
    }
    return RecordingHeaderText(h);
}

void SectorConverter::AppendRows(const uint16_t* w, std::string* rows) const {
    char num[340];
    double v[17];
    for (int k = 0; k < samples_; ++k) {
        const uint16_t* x = w + kSectorHeadWords + k * nchan_;
        const uint16_t status = x[0];
        int n = 0;
        v[n++] = (status & 0x0F) * 0.1;
        v[n++] = ((status >> 8) & 1) * 0.15;
        v[n++] = ((status >> 6) & 1) * 0.25;
        v[n++] = ((status >> 7) & 1) * 0.35;
        float ch[12];
        for (int c = 1; c < nchan_; ++c) ch[c] = Value(x[c]);
        if (nchan_ == 8) {
            for (int c = 1; c <= 7; ++c) v[n++] = ch[c];
        } else {
            v[n++] = ch[1];
            v[n++] = ch[8];
            v[n++] = ch[9];
            v[n++] = RootMeanSquare(ch[1], ch[8], ch[9]);
            v[n++] = ch[2];
            if (nchan_ == 12) {
                v[n++] = ch[10];
                v[n++] = ch[11];
                v[n++] = RootMeanSquare(ch[2], ch[10], ch[11]);
            }
            for (int c = 3; c <= 7; ++c) v[n++] = ch[c];
        }
        for (int i = 0; i < n; ++i) {
            if (i) rows->push_back(' ');
            rows->append(num, FormatFixed6(v[i], num));
        }
        rows->append("\r\n");
    }
}

std::string SectorConverter::Convert(int s, const uint16_t* w, FILE* out,
                                     std::string* sector_time) {
    if (w[8] != kSectorFormat)
        return StrPrintf("Ошибка: Неизвестный формат (0x%4.4X) сектора данных (сектор=%d).", w[8],
                         s) +
               (s > 0 ? kInterrupted : "");
    std::string text;
    if (s == 0) {
        RecorderFileEntry sector;
        sector.flags = w[1];
        if (sector.div() != entry_.div())
            return StrPrintf("Ошибка: DIV_file (сектор=%d) отличается от DIV_info.", s);
        if (sector.div() == 0) return StrPrintf("Ошибка: DIV_file (сектор=%d) равен 0.", s);
        if (sector.nchan() != entry_.nchan())
            return StrPrintf("Ошибка: NCHAN_file (сектор %d) отличается от NCHAN_info.", s);
        if (w[2] != entry_.time[0] || w[3] != entry_.time[1] || w[4] != entry_.time[2])
            return TimeBegMessage(s);
        nchan_ = sector.nchan();
        samples_ = kSectorDataWords / nchan_;
        flags_ = w[1];
        last_n_ = w[0];
        if (sector_time) *sector_time = SectorTimeText(DecodeRecorderTime(w[5], w[6], w[7]));
        bool known = false;
        text = Header(&known);
        if (!known) {
            // The file keeps its first two lines.
            AppendRow(out, text.data(), text.size());
            return StrPrintf("Ошибка: Неизвестный NCHAN (сектор %d).", s);
        }
    } else {
        if (w[2] != entry_.time[0] || w[3] != entry_.time[1] || w[4] != entry_.time[2])
            return TimeBegMessage(s);
        if (w[1] != flags_)
            return StrPrintf("Ошибка: FLAGS_file (сектор %d) отличается от FLAGS_info.", s) +
                   kInterrupted;
        uint16_t expected = uint16_t(last_n_ + 1);
        if (w[0] != expected)
            return StrPrintf(
                "Ошибка последовательности номеров секторов\n(сектор=%d: N=%d, предыдущий: "
                "N=%d).",
                s, w[0], last_n_);
        last_n_ = w[0];
    }
    pending_ += text;
    AppendRows(w, &pending_);
    if (pending_.size() >= kWriteBatch) return Flush(out);
    return {};
}

std::string SectorConverter::Flush(FILE* out) {
    if (pending_.empty()) return {};
    bool ok = AppendRow(out, pending_.data(), pending_.size());
    pending_.clear();
    if (!ok) return StrPrintf("Write File error: %s", ErrnoText(errno).c_str());
    return {};
}

}  // namespace korvex
