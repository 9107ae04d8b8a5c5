// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli recorder: the fault recorder's list, reads and manual recording switch.
#include "cli/CliFixture.h"

using RecorderCommandTest = SimCliTest;

TEST_F(RecorderCommandTest, ListReadAndWriteAsTheWindowDoes) {
    model.recorder->faults->busy_ms = 2;
    auto recorder = [this](const std::string& action) {
        return Cli("recorder", "--baud 230400 " + action);
    };
    // The window's status line, then its captions and cells; the regulator taken out of
    // ModBus mode at the end. (The texts themselves: RecorderTextsTest.)
    Result r = recorder("list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        r.out.starts_with("Version:0.1 \tFiles:4    \tSize : 4.000 Mb \tCurrent File : 4 "
                          "     \tWrite : Off      \nFile          Write           "))
        << r.out;
    EXPECT_EQ(sim.current_mode(), "normal");

    // A read: the path, the file; a failure keeps the sectors before it and exits 1.
    r = recorder("read 4");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("_0004_(2026.12.05_12.00.00.000).trd\n"), std::string::npos) << r.out;
    model.recorder->faults->bad_format_sector = 2;
    r = recorder("read 4");
    EXPECT_EQ(r.status, 1);
    // (The text and the rows kept: SectorConverterTest, RecordingReaderTest.)
    EXPECT_TRUE(r.err.starts_with("Ошибка: Неизвестный формат (0xFFFF)")) << r.err;
    EXPECT_TRUE(ReadFileBytes(FirstLine(r.out)).ends_with("\r\n"));
    EXPECT_EQ(recorder("read 9").StatusAndErr(), "1|Недопустимый номер файла\n");

    // Ctrl-C stops between sectors as Stop does, but a script can tell: exit status 3 and
    // a line that says after how many sectors; the path, whole sectors.
    model.recorder->faults->bad_format_sector = -1;
    model.recorder->faults->busy_ms = 20;
    std::string printed = data.path() + "/read-out", errors = data.path() + "/read-err";
    pid_t pid = Start(kCli + " recorder --baud 230400 --port " + sim.port_path() + " read 4",
                      printed, errors);
    for (int i = 0; i < 1000 && model.recorder->selected_sector() < 3; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 3);
    const std::string rec = ReadFileBytes(FirstLine(ReadFileBytes(printed)));
    size_t rows = 0;
    for (size_t p = 0; (p = rec.find("\r\n", p)) != std::string::npos; p += 2)
        rows += rec.compare(rec.rfind('\n', p - 1) + 1, 1, "#") != 0;
    const int per_sector = 240 / model.recorder->recording(3).nchan;
    const int sectors = model.recorder->recording(3).sectors;
    EXPECT_TRUE(rows % per_sector == 0 && rows > 0 && rows < size_t(per_sector * sectors)) << rows;
    EXPECT_TRUE(rec.ends_with("\r\n"));
    EXPECT_EQ(ReadFileBytes(errors), "korvex-cli recorder: read stopped after " +
                                         std::to_string(rows / per_sector) + " of " +
                                         std::to_string(sectors) + " sectors\n");
    ASSERT_TRUE(BackInNormalMode()) << "the exit message after the stop";
    model.recorder->faults->busy_ms = 2;

    EXPECT_EQ(recorder("write on").status, 0);
    EXPECT_EQ(model.recorder->state(), 1);
    EXPECT_EQ(recorder("write off").status, 0);
    EXPECT_EQ(model.recorder->state(), 0);
}
