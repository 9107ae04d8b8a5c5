// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli recorder: the fault recorder's list, reads and manual recording switch.
#include "cli/CliFixture.h"

using RecorderCommandTest = SimCliTest;

TEST_F(RecorderCommandTest, ListReadAndWriteAsTheWindowDoes) {
    model.recorder->faults->busy_ms = 2;
    auto recorder = [this](const std::string& action) {
        return Cli("recorder", "--baud 230400 " + action);
    };
    // The window's status line, captions and cells; the regulator taken out of ModBus
    // mode at the end. (The Russian texts are the recorder's texts' own tests.)
    Result r = recorder("list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out.substr(0, r.out.find("Reason")),
        "Version:0.1 \tFiles:4    \tSize : 4.000 Mb \tCurrent File : 4      \tWrite : Off      "
        "\nFile          Write           ");
    EXPECT_NE(
        r.out.find("\n  1                Yes        # Protect         500.00        12        "
                   "2026-11-18       14:22:07:315          0.029           2.40\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(sim.current_mode(), "normal");

    // A read: the path, the file; a failure keeps the sectors before it and exits 1.
    r = recorder("read 4");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("_0004_(2026.12.05_12.00.00.000).trd\n"), std::string::npos) << r.out;
    model.recorder->faults->bad_format_sector = 2;
    r = recorder("read 4");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=2).\nВозможно, запись "
              "была прервана.\n");
    std::string rec = ReadFileBytes(r.out.substr(0, r.out.find('\n')));
    EXPECT_NE(rec.find("#F=250.000000\r\n"), std::string::npos);
    EXPECT_EQ(rec.substr(rec.size() - 2), "\r\n");
    r = recorder("read 9");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Недопустимый номер файла\n");

    // Ctrl-C stops between sectors as Stop does, but a script can tell: exit status 3 and
    // a line that says after how many sectors; the path, whole sectors.
    model.recorder->faults->bad_format_sector = -1;
    model.recorder->faults->busy_ms = 20;
    std::string printed = data.path() + "/read-out", errors = data.path() + "/read-err";
    pid_t pid = Start({"recorder", "--port", sim.port_path(), "--baud", "230400", "read", "4"},
                      printed, errors);
    for (int i = 0; i < 1000 && model.recorder->selected_sector() < 3; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 3);
    std::string stopped = ReadFileBytes(printed);
    ASSERT_FALSE(stopped.empty());
    rec = ReadFileBytes(stopped.substr(0, stopped.find('\n')));
    size_t rows = 0;
    for (size_t p = 0; (p = rec.find("\r\n", p)) != std::string::npos; p += 2)
        rows += rec.compare(rec.rfind('\n', p - 1) + 1, 1, "#") != 0;
    const int per_sector = 240 / model.recorder->recording(3).nchan;
    EXPECT_EQ(rows % per_sector, 0u) << rows;
    EXPECT_GT(rows, 0u);
    EXPECT_LT(rows, size_t(per_sector * model.recorder->recording(3).sectors));
    EXPECT_EQ(rec.substr(rec.size() - 2), "\r\n");
    EXPECT_EQ(ReadFileBytes(errors),
              "korvex-cli recorder: read stopped after " + std::to_string(rows / per_sector) +
                  " of " + std::to_string(model.recorder->recording(3).sectors) + " sectors\n");
    ASSERT_TRUE(BackInNormalMode()) << "the exit message after the stop";
    model.recorder->faults->busy_ms = 2;

    r = recorder("write on");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Write : On (manu)"), std::string::npos) << r.out;
    EXPECT_EQ(model.recorder->state(), 1);
    r = recorder("write off");
    EXPECT_EQ(model.recorder->state(), 0);
}
