// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "link/LinkSettings.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecordingReader.h"

namespace korvex::gui {

// One run of the fault recorder mode, without widgets. It owns the ModBus link to the
// regulator and two workers:
//  - the link thread switches the regulator into ModBus at the recorder speed, checks
//    the recorder, then polls its header and file table every 300 ms (the exchanges of a
//    poll, up to 512 for a new table, never run on the GUI thread), writes the manual
//    recording switch when asked, and at the end takes the regulator out of ModBus mode,
//    or only closes the port after a link failure;
//  - the reader reads one recording sector by sector into a recording file.
// A poll's result is applied by the window, which then calls PollApplied(): like the
// regulator's own dialog, no poll runs while the previous one is being shown (its
// messages open). Everything reaches the GUI thread as queued signals; no worker waits
// on it. GUI thread only, except where said.
class RecorderSession : public QObject {
    Q_OBJECT
public:
    explicit RecorderSession(QObject* parent = nullptr);
    // Ends a mode still running and joins the workers (the regulator is left as Close
    // leaves it).
    ~RecorderSession() override;

    // Starts the mode; opened() or, when the regulator cannot be switched or has no
    // recorder, ended() follows (the messages shown first).
    void Start(const LinkSettings& settings);
    // The window has applied the last poll's result; the next poll may run.
    void PollApplied();
    // The "Write" box: 1 or 0 into the recorder's manual switch, on the link thread.
    void SetWriting(bool on);

    // Starts reading recording `index` (the table row). Refused, with its message, for
    // an index beyond the table ("Недопустимый номер файла"), a recording of status 0
    // ("Файл нельзя считать") or one without sectors ("Файл пустой").
    bool StartReading(int index);
    // Asks the reader to stop before its next sector.
    void StopReading();
    // From StartReading until readFinished: a Stop pressed just as the reader ends is
    // still a Stop, never a new read. GUI thread.
    bool reading() const { return read_open_; }

    // Ends the mode: the reader is asked to stop (it finishes its sector), the polls end,
    // then the link is closed; ended() follows. Safe to call more than once.
    void Close();
    bool is_ended() const { return ended_; }

    // The table of the last applied poll.
    const RecorderPollResult& last_poll() const { return last_; }

signals:
    // The link is open and the recorder present: the window may show.
    void opened();
    // A poll's result, to be applied, then PollApplied().
    void polled(const korvex::RecorderPollResult& result);
    void readStarted(int index);
    void readProgress(int percent);
    void readingText(const QString& text);
    void sectorTime(const QString& text);
    // The reader has ended: its messages have been shown and the viewer started on the
    // file when at least one sector was converted.
    void readFinished(const korvex::RecorderReadResult& result);
    // The mode is over and the link closed.
    void ended();

private:
    void LinkThread(LinkSettings settings);
    void OnPolled(const RecorderPollResult& result);
    void OnReadDone(const RecorderReadResult& result);
    void OnLinkEnded();
    // Posts messages to be shown on the GUI thread, in order.
    void PostMessages(const std::vector<std::string>& messages);

    std::thread link_thread_;
    RecorderReader reader_;
    RecorderLink link_;  // written by the link thread before opened(), read after

    std::mutex mu_;
    std::condition_variable wake_;
    bool stop_ = false;  // the mode is to end
    bool busy_ = false;  // a poll's result is being shown
    int pending_write_ = -1;
    bool link_done_ = false;

    std::atomic<bool> reading_{false};  // the reader thread runs (the link thread waits on it)
    bool read_open_ = false;
    std::atomic<bool> poll_abort_{false};
    bool ended_ = false;
    bool closing_ = false;
    RecorderPollResult last_;
    // A failed poll that came while a read was open, applied after the read's end.
    std::optional<RecorderPollResult> deferred_close_;
};

}  // namespace korvex::gui

Q_DECLARE_METATYPE(korvex::RecorderPollResult)
Q_DECLARE_METATYPE(korvex::RecorderReadResult)
