// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/DiarySession.h"
#include "gui/LiveWindow.h"
#include "gui/RecorderSession.h"
#include "gui/StartDialog.h"

namespace korvex::gui {

// The oscilloscope mode: a session started live on the settings and its window, shown
// beside the start dialog (`parent`, which then owns it). Null when the stream did not
// open: its messages go into *messages, or without a list are shown over `parent`
// (opened, not waited for).
LiveWindow* OpenOscilloscope(const LinkSettings& settings, QWidget* parent = nullptr,
                             std::vector<std::string>* messages = nullptr);

// The fault recorder mode: its session starts switching the regulator; its window shows
// once the recorder answers. Returns the session, whose end ends the mode; it goes when
// the mode is over.
RecorderSession* OpenRecorder(const LinkSettings& settings, QWidget* parent);

// "Diary and Parameters": the read runs on its session's worker while the start dialog
// shows its progress bar and "Please wait ..."; the report opens in a report window at
// the end. Returns the session, which goes when the run is over.
DiarySession* OpenDiary(const LinkSettings& settings, StartDialog& dialog);

// A recording in the viewing mode's window. Null when it cannot be read: the reader's
// message goes into *messages, or without a list is shown over `parent`.
LiveWindow* OpenRecording(const std::string& path, QWidget* parent = nullptr,
                          std::vector<std::string>* messages = nullptr);

// The start dialog's modes of this build.
StartDialog::Modes ProgramModes();

}  // namespace korvex::gui
