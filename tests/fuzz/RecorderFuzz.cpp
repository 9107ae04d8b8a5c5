// SPDX-License-Identifier: GPL-3.0-or-later
// The fault recorder's file table entry, its texts, and the sectors of a recording:
// validated and converted as the reader does. Every row written has exactly its layout's
// columns, and rows come only from sectors that passed. Then the poll and a sector read
// against answers from the fuzzer.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "FuzzSupport.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecorderTexts.h"
#include "recorder/SectorConverter.h"
#include "recorder/SectorRead.h"

using namespace korvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Silence();
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        fuzz::AnsweringPort answers(in, 12);
        if (in.ConsumeBool()) {
            RecorderPoller poller(answers.port());
            RecorderPollResult r = poller.Poll();
            FUZZ_CHECK(r.table.size() <= kRecorderMaxFiles, "%zu entries", r.table.size());
            FUZZ_CHECK(r.close || r.table.size() == r.header.file_count, "table of %zu for %u",
                       r.table.size(), r.header.file_count);
            for (size_t i = 0; i < r.table.size(); ++i)
                for (int c = 0; c < kRecorderColumns; ++c)
                    (void)RecorderCellText(r.table[i], int(i), c, i == r.header.current_file);
        } else {
            uint16_t words[kSectorWords + 8];
            for (auto& w : words) w = 0xBEEF;
            std::string text;
            uint32_t code = AvOsc_ReadSector(answers.port(), words, &text);
            FUZZ_CHECK(code == 0 || !text.empty(), "code %u without a text", code);
            for (int i = kSectorWords; i < kSectorWords + 8; ++i)
                FUZZ_CHECK(words[i] == 0xBEEF, "word %d written", i);
        }
        return 0;
    }

    uint16_t entry_words[5];
    for (auto& w : entry_words) w = in.ConsumeIntegral<uint16_t>();
    RecorderFileEntry entry = DecodeFileEntry(entry_words);
    RecorderHeader header;
    header.version = in.ConsumeIntegral<uint16_t>();
    header.file_count = in.ConsumeIntegralInRange<uint16_t>(0, kRecorderMaxFiles);
    header.state = in.ConsumeIntegral<uint16_t>();
    header.current_file = in.ConsumeIntegral<uint16_t>();
    (void)RecorderStatusLine(header, in.ConsumeIntegral<uint32_t>());
    for (int c = 0; c < kRecorderColumns; ++c)
        (void)RecorderCellText(entry, 0, c, in.ConsumeBool());
    (void)RecorderFileBaseName(int(entry_words[0] % 512), entry);

    fuzz::MemoryFile memory;
    FILE* out = std::fopen(memory.path().c_str(), "w");
    SectorConverter converter(0, entry);
    int passed = 0;
    std::string sector_time;
    for (int s = 0; in.remaining_bytes() >= 2 * kSectorWords / 8 && s < 6; ++s) {
        uint16_t words[kSectorWords] = {};
        // The head from the input; the data words too where the input reaches.
        for (int i = 0; i < kSectorWords && in.remaining_bytes() >= 2; ++i)
            words[i] = in.ConsumeIntegral<uint16_t>();
        if (!converter.Convert(s, words, out, &sector_time).empty()) break;
        ++passed;
    }
    converter.Flush(out);
    std::fclose(out);
    std::string file;
    if (FILE* in_file = std::fopen(memory.path().c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in_file)) > 0;)
            file.append(chunk, n);
        std::fclose(in_file);
    }
    const int columns = entry.nchan() == 8 ? 11 : entry.nchan() == 10 ? 14 : 17;
    std::istringstream lines(file);
    int rows = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        int fields = 1 + int(std::count(line.begin(), line.end(), ' '));
        FUZZ_CHECK(fields == columns, "a row of %d values, %d expected: '%s'", fields, columns,
                   line.c_str());
        ++rows;
    }
    FUZZ_CHECK(rows == passed * converter.samples_per_sector(), "%d rows from %d sectors of %d",
               rows, passed, converter.samples_per_sector());
    return 0;
}
