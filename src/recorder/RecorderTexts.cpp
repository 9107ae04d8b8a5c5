// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderTexts.h"

#include "app/Language.h"
#include "app/SampleRate.h"
#include "app/StrPrintf.h"

namespace korvex {

namespace {

struct Column {
    const char *english, *russian, *english_sample, *russian_sample;
};

const Column kColumns[kRecorderColumns] = {
    {"File", "Файл", "File          ", "File          "},
    {"Write", "Запись", "Write           ", "Запись             "},
    {"Reason", "Запуск", "Reason            ", "Запуск            "},
    {"F,Hz", "F (Гц)", "F,Hz          ", "F (Гц)        "},
    {"Chan", "Кан.", "Chan      ", "Кан.      "},
    {"Start Date", "Дата начала", "Start Date       ", "Дата начала      "},
    {"Start Time", "Время начала", "Start Time            ", "Время начала        "},
    {"Size,Mb", "Размер (Mb)", "Size,Mb         ", "Размер (Mb)     "},
    {"Time,sec", "Время (сек)", "Time,sec        ", "Время (сек)     "},
};

const char* StatusText(int status) {
    static const char* const kRussian[4] = {"Нет", "ЗАПИСЬ", "Да", "Прерв."};
    static const char* const kEnglish[4] = {"No", "WRITE", "Yes", "Break"};
    return Tr(kRussian[status & 3], kEnglish[status & 3]);
}

const char* ReasonText(int reason) {
    // The Russian text of code 2 has a Latin "c" after the point, as the regulator's
    // users have always seen it; in English codes 7 and 8 both read "Ch. If".
    static const char* const kRussian[12] = {"Ручной",    "Циклич.",   "Изм.cост.", "Изм.Us(0)",
                                             "Изм.Us(1)", "Изм.Us(2)", "Изм.Is",    "Изм.Uf",
                                             "Изм.If",    "Защита",    "Форсир.",   "Сигнал"};
    static const char* const kEnglish[12] = {"Manual",    "Cycle",     "State",   "Ch. Us(0)",
                                             "Ch. Us(1)", "Ch. Us(2)", "Ch. Is",  "Ch. If",
                                             "Ch. If",    "Protect",   "Forsage", "Input"};
    if (reason < 0 || reason > 11) return "?????";
    return Tr(kRussian[reason], kEnglish[reason]);
}

}  // namespace

std::string RecorderColumnCaption(int column) {
    if (column < 0 || column >= kRecorderColumns) return {};
    return Tr(kColumns[column].russian, kColumns[column].english);
}

std::string RecorderColumnWidthSample(int column) {
    if (column < 0 || column >= kRecorderColumns) return {};
    return Tr(kColumns[column].russian_sample, kColumns[column].english_sample);
}

std::string RecorderCellText(const RecorderFileEntry& e, int row, int column, bool current) {
    if (column == kRecorderColFile) return StrPrintf("%3d", row + 1);
    if (column == kRecorderColWrite)
        return StrPrintf("%s%s", current ? ">> " : "     ", StatusText(e.status()));
    if (e.status() == 0) return {};
    const int div = e.div() ? e.div() : 1;
    const RecorderTime t = e.start();
    switch (column) {
        case kRecorderColReason:
            return std::string(e.marker() ? "# " : "") + ReasonText(e.reason());
        case kRecorderColRate: return StrPrintf("%.2f", SampleRateOf(div));
        case kRecorderColChannels: return StrPrintf("%d", e.nchan());
        case kRecorderColDate: return StrPrintf("%4.4d-%2.2d-%2.2d", t.year, t.month, t.day);
        case kRecorderColTime:
            return StrPrintf("%2.2d:%2.2d:%2.2d:%3.3d", t.hour, t.minute, t.second, t.millisecond);
        case kRecorderColSize: return StrPrintf("%.3lf", e.sectors / 2048.0);
        case kRecorderColSeconds: return StrPrintf("%.2f", e.sectors * 0.06 * div * 8 / e.nchan());
        default: return {};
    }
}

std::string RecorderStatusLine(const RecorderHeader& h, uint32_t size_sectors) {
    std::string s =
        StrPrintf(Tr("Версия : %d.%d \t", "Version:%d.%d \t"), h.version >> 8, h.version & 0xFF);
    s += StrPrintf(Tr("Файлов : %d    \t", "Files:%d    \t"), int(h.file_count));
    if (h.file_count >= 1) {
        s += StrPrintf(Tr("Размер : %.3lf Mb \t", "Size : %.3lf Mb \t"), size_sectors / 2048.0);
        s += StrPrintf(Tr("Текущий файл : %d     \t", "Current File : %d      \t"),
                       h.current_file + 1);
    }
    switch (h.state & 3) {
        case 1: s += Tr("Запись : Вкл (ручн)", "Write : On (manu)"); break;
        case 3: s += Tr("Запись : Вкл (авто)", "Write : On (auto)"); break;
        default: s += Tr("Запись : Откл      ", "Write : Off      "); break;
    }
    return s;
}

std::string RecorderReadingText(int number) {
    return StrPrintf("Чтение файла %d", number);
}

std::string SectorTimeText(const RecorderTime& t) {
    return StrPrintf("%4.4d-%2.2d-%2.2d     %2.2d:%2.2d:%2.2d:%3.3d", t.year, t.month, t.day,
                     t.hour, t.minute, t.second, t.millisecond);
}

}  // namespace korvex
