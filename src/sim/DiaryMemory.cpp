// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/DiaryMemory.h"

#include <ctime>

#include "app/CodePages.h"
#include "diary/DiaryBlock.h"
#include "link/ModBus.h"

namespace korvex::sim {

namespace {

constexpr uint16_t kBlock = kDiaryBlockReg;
// The window's extent in the simulator: room for 1024 records.
constexpr int kWindowRegs = 0x1000;

std::vector<std::string> StandardTexts() {
    // What an excitation regulator writes into its diaries; codes repeat in the diaries.
    const char* const utf8[] = {
        "Пуск регулятора",     "Останов регулятора",   "Возбуждение включено",
        "Возбуждение снято",   "Форсировка",           "Снижение Uсети",
        "Перегрузка ротора",   "Ограничение Imin",     "Ограничение Imax",
        "Защита от КЗ",        "Потеря возбуждения",   "Переход на резерв",
        "Канал 2 ведущий",     "Уставка Ug изменена",  "Частота вне нормы",
        "Обрыв цепей ТН",      "Обрыв цепей ТТ",       "Автомат гашения откл",
        "Перегрев тиристоров", "Вентилятор неиспр.",   "Связь с АСУ потеряна",
        "Связь восстановлена", "Самотестирование ОК",  "Сброс аварии",
        "Ручной режим",        "Автоматический режим",
    };
    std::vector<std::string> texts;
    for (const char* t : utf8) texts.push_back(Utf8ToCp1251(t));
    return texts;
}

}  // namespace

SimDiary MakeDiary(uint16_t capacity, int records, const std::vector<uint16_t>& codes,
                   int step_ms) {
    SimDiary d;
    d.capacity = capacity;
    d.places.assign(capacity, SimDiaryRecord{});
    std::tm start{};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 10;
    start.tm_mday = 28;
    start.tm_hour = 6;
    const int64_t t0 = int64_t(timegm(&start)) * 1000;
    for (int k = 0; k < records; ++k) {
        int64_t ms = t0 + int64_t(k) * step_ms;
        std::time_t secs = std::time_t(ms / 1000);
        std::tm tm{};
        gmtime_r(&secs, &tm);
        SimDiaryRecord& r = d.places[size_t(k % capacity)];
        r.code = codes.empty() ? 0 : codes[size_t(k) % codes.size()];
        r.year = tm.tm_year + 1900;
        r.month = tm.tm_mon + 1;
        r.day = tm.tm_mday;
        r.hour = tm.tm_hour;
        r.minute = tm.tm_min;
        r.second = tm.tm_sec;
        r.millisecond = int(ms % 1000);
    }
    d.fill =
        records > capacity ? uint16_t(kDiaryWrapped | (records % capacity)) : uint16_t(records);
    return d;
}

DiaryMemory::DiaryMemory() {
    texts_ = StandardTexts();
    text_reads_.assign(texts_.size(), 0);
    // Diary 1 has wrapped: 105 records in 100 places, the oldest at place 5. The codes
    // repeat, with one beyond the texts (a code without a text).
    diaries_.push_back(MakeDiary(100, 105, {0, 2, 13, 5, 4, 13, 3, 1, 0, 2, 22, 24}, 37000));
    diaries_.push_back(MakeDiary(200, 40, {9, 10, 17, 23, 11, 12, 16, 15, 40, 25}, 91000));
}

void DiaryMemory::SetDiaries(std::vector<SimDiary> diaries) {
    std::lock_guard<std::mutex> lock(mu_);
    diaries_ = std::move(diaries);
}

void DiaryMemory::SetTexts(std::vector<std::string> texts) {
    std::lock_guard<std::mutex> lock(mu_);
    texts_ = std::move(texts);
    text_reads_.assign(texts_.size(), 0);
}

std::vector<SimDiary> DiaryMemory::diaries() {
    std::lock_guard<std::mutex> lock(mu_);
    return diaries_;
}

std::vector<std::string> DiaryMemory::texts() {
    std::lock_guard<std::mutex> lock(mu_);
    return texts_;
}

int DiaryMemory::text_reads(uint16_t code) {
    std::lock_guard<std::mutex> lock(mu_);
    return code < text_reads_.size() ? text_reads_[code] : 0;
}

// One register of the block or the window (the lock is held).
uint16_t DiaryMemory::Register(uint16_t reg, bool input) {
    const bool variant = faults->input_variant;
    switch (reg) {
        case kDiaryCountReg: return uint16_t(variant && !input ? 0 : diaries_.size());
        case kDiaryWindowBaseReg: return kWindowBase;
        case kDiaryTextCountReg:
            return uint16_t(faults->text_count >= 0 ? faults->text_count.load() : texts_.size());
        case kDiarySelectorReg: return selector_;
        case kDiaryCapacityReg:
            return selector_ < diaries_.size() ? diaries_[selector_].capacity : uint16_t(0);
        case kDiaryFillReg:
        case kDiaryFillReg + 1: {
            size_t d = size_t(reg - kDiaryFillReg);
            return d < diaries_.size() ? diaries_[d].fill : uint16_t(0);
        }
        default: break;
    }
    if (reg < kWindowBase) return 0;
    const int offset = reg - kWindowBase;
    if (selector_ >= kDiaryTextSelect) {
        size_t code = size_t(selector_ - kDiaryTextSelect);
        if (offset >= kDiaryTextWords || code >= texts_.size()) return 0;
        const std::string& t = texts_[code];
        uint8_t lo = size_t(2 * offset) < t.size() ? uint8_t(t[size_t(2 * offset)]) : 0;
        uint8_t hi = size_t(2 * offset + 1) < t.size() ? uint8_t(t[size_t(2 * offset + 1)]) : 0;
        // The input registers carry a high byte 1 lower after a low byte of 0x80 or more.
        if (variant && input && lo >= 0x80 && lo) hi = uint8_t(hi - 1);
        return uint16_t(hi << 8 | lo);
    }
    if (selector_ >= diaries_.size()) return 0;
    const SimDiary& d = diaries_[selector_];
    const size_t place = size_t(offset / kDiaryRecordWords);
    if (place >= d.places.size()) return 0;
    const SimDiaryRecord& r = d.places[place];
    switch (offset % kDiaryRecordWords) {
        case 0: return r.code;
        case 1: return uint16_t(r.second << 10 | (r.millisecond & 0x3FF));
        case 2: return uint16_t(r.day << 11 | r.hour << 6 | r.minute);
        default: return uint16_t(((r.year - 2000) & 0xFFF) << 4 | r.month);
    }
}

int DiaryMemory::Read(uint16_t reg, uint16_t num, uint16_t* out, bool input) {
    const uint32_t last = uint32_t(reg) + num - 1;
    if (reg < kBlock || last >= kWindowBase + kWindowRegs) return kNotMine;
    if (reg < kWindowBase && last >= kBlock + kDiaryBlockWords) return kModBusIllegalDataAddress;
    std::lock_guard<std::mutex> lock(mu_);
    if (reg >= kWindowBase) {
        int limit = faults->fail_after_reads;
        if (limit >= 0 && window_reads_ >= limit) return kModBusSlaveDeviceFailure;
        ++window_reads_;
    }
    // The input-register variant answers its first four registers both ways (as holding
    // registers with 0 diaries), everything after them only as input registers.
    if (faults->input_variant && !input && reg >= kBlock + 4) return kModBusIllegalDataAddress;
    for (uint16_t k = 0; k < num; ++k) out[k] = Register(uint16_t(reg + k), input);
    return 0;
}

int DiaryMemory::Write(uint16_t reg, uint16_t value) {
    if (reg < kBlock || reg >= kWindowBase + kWindowRegs) return kNotMine;
    if (reg != kDiarySelectorReg) return kModBusIllegalDataAddress;
    std::lock_guard<std::mutex> lock(mu_);
    selector_ = value;
    if (value >= kDiaryTextSelect && size_t(value - kDiaryTextSelect) < text_reads_.size())
        ++text_reads_[value - kDiaryTextSelect];
    return 0;
}

}  // namespace korvex::sim
