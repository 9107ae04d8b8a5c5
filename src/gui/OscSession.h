// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "files/RecordingHeader.h"
#include "link/LinkSettings.h"
#include "osc/OscFollower.h"
#include "osc/OscStream.h"

namespace korvex::gui {

// One opening of the oscilloscope, live or viewing a recording, without widgets. It owns
// the link settings of the run, the stream state, the acquisition worker, the recording
// being written and the follower with its channel buffers and counters; windows are
// views of it. The recording file is the only path from the worker to the follower.
//
// Threads: everything here runs on the GUI thread. The worker never waits on it: the
// screen notifications and the worker's end arrive as queued calls, and the message the
// worker stopped with travels in stopped().
class OscSession : public QObject {
    Q_OBJECT
public:
    explicit OscSession(QObject* parent = nullptr);
    // Stops a running worker and joins it.
    ~OscSession() override;

    // Live: switches the regulator to streaming at the settings' port, speed and rate,
    // creates the recording and starts the worker and the 30 ms follower tick. False,
    // with the messages to show in order in *messages, when the stream could not be
    // opened.
    bool StartLive(const LinkSettings& settings, std::vector<std::string>* messages);
    // Viewing: reads a finished recording; its last line counts even without a line
    // end. False, with the reader's message in *err_text, when it cannot be read.
    bool OpenFile(const std::string& path, std::string* err_text);

    // "Write to File": on creates a new recording with a new time-stamped name and
    // follows it from its first row; off closes the recording and the follower, while
    // acquisition goes on. recordingChanged() follows a change. False, with "Open File
    // error" in *err_text and writing unchanged, when the new recording cannot be made.
    bool SetWriting(bool on, std::string* err_text);
    // A front-panel key for the worker to send with its next packet request; a key not
    // yet sent is replaced.
    void PressKey(uint8_t code);
    // Ends acquisition: the worker is woken, sends the stop byte, completes its last row,
    // closes the recording and the port, and is joined before this returns (a few
    // milliseconds). stopped() follows with an empty message. Safe to call twice.
    void Stop();

    // One follower tick (the 30 ms timer calls it): the complete rows added since the
    // last tick go into the buffers; dataChanged() when anything changed.
    void Tick();

    bool live() const { return live_; }
    bool running() const { return worker_.running(); }
    bool writing() const { return writing_; }
    const std::string& file() const { return link_.file_arg; }
    const std::string& port_name() const { return link_.port_name; }
    const RecordingHeader& header() const { return header_; }
    const OscFollower& follower() const { return follower_; }
    OscState& osc() { return osc_; }
    uint32_t ChannelColour(int c) const;
    // "File: %s ,  %d%s channels"
    QString FileLine() const;
    QString StatusLine() const;
    uint32_t NowMs() const;

signals:
    // After a tick that changed something; `tick` tells what.
    void dataChanged(const korvex::OscFollower::Tick& tick);
    // The regulator's front-panel text or cursor changed.
    void screenChanged();
    // Writing was switched, or a new recording started.
    void recordingChanged();
    // The worker has ended and been joined: `message` is what it stopped with, empty
    // when it was asked to stop.
    void stopped(const QString& message);

private:
    void OnWorkerEnded();
    bool FollowFromStart(uint64_t offset, bool finished, std::string* err_text);

    LinkSettings link_;
    OscState osc_;
    OscWorker worker_;
    OscFollower follower_;
    RecordingHeader header_;
    QTimer tick_;
    std::chrono::steady_clock::time_point start_;
    bool live_ = false;
    bool writing_ = false;
    bool ended_ = false;
};

}  // namespace korvex::gui

Q_DECLARE_METATYPE(korvex::OscFollower::Tick)
