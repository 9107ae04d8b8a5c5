// SPDX-License-Identifier: GPL-3.0-or-later
// The fault recorder's file table entry, its texts, and the sectors of a recording:
// validated and converted as the reader does. Every row written has exactly its layout's
// columns, and rows come only from sectors that passed. Then the poll and a sector read
// against answers from the fuzzer.
#include <fstream>

#include "FuzzSupport.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecorderTexts.h"
#include "recorder/SectorConverter.h"
#include "recorder/SectorRead.h"

FUZZ_TARGET {
    if (in.ConsumeBool()) {
        AnsweringPort answers(in, 12);
        if (in.ConsumeBool()) {
            RecorderPollResult r = RecorderPoller(answers.port()).Poll();
            FUZZ_CHECK(r.table.size() <= kRecorderMaxFiles, "%zu entries", r.table.size());
            FUZZ_CHECK(r.close || r.table.size() == r.header.file_count, "%zu", r.table.size());
            for (size_t i = 0; i < r.table.size(); ++i)
                for (int c = 0; c < kRecorderColumns; ++c)
                    (void)RecorderCellText(r.table[i], int(i), c, i == r.header.current_file);
            return;
        }
        std::vector<uint16_t> words(kSectorWords + 8, 0xBEEF);
        std::string text;
        uint32_t code = AvOsc_ReadSector(answers.port(), words.data(), &text);
        FUZZ_CHECK(code == 0 || !text.empty(), "code %u without a text", code);
        for (int i = kSectorWords; i < kSectorWords + 8; ++i)
            FUZZ_CHECK(words[i] == 0xBEEF, "word %d written", i);
        return;
    }

    uint16_t entry_words[5];
    for (auto& w : entry_words) w = in.ConsumeIntegral<uint16_t>();
    RecorderFileEntry entry = DecodeFileEntry(entry_words);
    // Version, file count, state and current file, in this order.
    RecorderHeader header{in.ConsumeIntegral<uint16_t>(),
                          in.ConsumeIntegralInRange<uint16_t>(0, kRecorderMaxFiles),
                          in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint16_t>()};
    (void)RecorderStatusLine(header, in.ConsumeIntegral<uint32_t>());
    for (int c = 0; c < kRecorderColumns; ++c)
        (void)RecorderCellText(entry, 0, c, in.ConsumeBool());
    (void)RecorderFileBaseName(int(entry_words[0] % 512), entry);

    MemoryFile memory;
    FILE* out = std::fopen(memory.path().c_str(), "w");
    SectorConverter converter(0, entry);
    int passed = 0;
    std::string sector_time;
    for (int s = 0; in.remaining_bytes() >= 2 * kSectorWords / 8 && s < 6; ++s, ++passed) {
        uint16_t words[kSectorWords] = {};
        // The head from the input; the data words too where the input reaches.
        for (int i = 0; i < kSectorWords && in.remaining_bytes() >= 2; ++i)
            words[i] = in.ConsumeIntegral<uint16_t>();
        if (!converter.Convert(s, words, out, &sector_time).empty()) break;
    }
    converter.Flush(out);
    std::fclose(out);
    const int columns = entry.nchan() == 8 ? 11 : entry.nchan() == 10 ? 14 : 17;
    std::ifstream lines(memory.path());
    int rows = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        int fields = 1 + int(std::count(line.begin(), line.end(), ' '));
        FUZZ_CHECK(fields == columns, "%d values in '%s'", fields, line.c_str());
        ++rows;
    }
    FUZZ_CHECK(rows == passed * converter.samples_per_sector(), "%d rows, %d sectors", rows,
               passed);
}
