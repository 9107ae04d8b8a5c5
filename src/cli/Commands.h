// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace korvex::cli {

// Each command takes its name (argv[0]) and the arguments after it, and returns the exit
// status: 0 done, 1 failed, 2 a usage error (ParseOptions, UsageError), 3 stopped
// (kStoppedStatus).
int PortsCommand(int argc, char** argv);
int ViewCommand(int argc, char** argv);
int SampleCommand(int argc, char** argv);
int ModBusCommand(int argc, char** argv);
int OscCommand(int argc, char** argv);
int RecorderCommand(int argc, char** argv);
int DiaryCommand(int argc, char** argv);
int StatsCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);
int AnalyzeCommand(int argc, char** argv);

}  // namespace korvex::cli
