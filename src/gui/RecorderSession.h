// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/StopToken.h"
#include "gui/MessageBoxes.h"
#include "link/LinkSettings.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecordingReader.h"

namespace korvex::gui {

// One run of the fault recorder mode, without widgets. It owns the ModBus link to the
// regulator, one stop token, and two workers:
//  - the link thread switches the regulator into ModBus at the recorder speed, checks
//    the recorder, then polls its header and file table every 300 ms (the exchanges of a
//    poll, up to 512 for a new table, never run on the GUI thread), writes the manual
//    recording switch when asked, and at the end takes the regulator out of ModBus mode,
//    or only closes the port after a link failure;
//  - the reader reads one recording sector by sector into a recording file.
// The stop token rides on the port: Close() wakes whatever exchange waits, at once, and
// the regulator is still taken out of ModBus mode. A poll's result is applied by the
// window, and no poll runs while the previous one is being shown. Messages travel as
// values: messages() hands the view one batch, and the session goes on (applies the poll,
// opens the viewer, ends) only after MessagesTaken(). Everything reaches the GUI thread
// as queued calls; no worker waits on it. GUI thread only, except where said.
class RecorderSession : public QObject {
    Q_OBJECT
public:
    // Opening: the regulator is being switched; Polling: the window shows the table;
    // Reading: as Polling, with a read open until its messages are taken; Closing: the
    // end was asked for or the link failed; Ended: the link is closed.
    enum class State { kOpening, kPolling, kReading, kClosing, kEnded };

    explicit RecorderSession(QObject* parent = nullptr);
    // Ends a mode still running and joins the workers (the regulator is left as Close
    // leaves it).
    ~RecorderSession() override;

    // Starts the mode; opened() or, when the regulator cannot be switched or has no
    // recorder, ended() follows (the messages first).
    void Start(const LinkSettings& settings);
    // The view has taken the batch of messages() last handed to it.
    void MessagesTaken();
    // The "Write" box: 1 or 0 into the recorder's manual switch, on the link thread.
    void SetWriting(bool on);

    // Starts reading recording `index` (the table row). Refused, with its message, for
    // an index beyond the table ("Недопустимый номер файла"), a recording of status 0
    // ("Файл нельзя считать") or one without sectors ("Файл пустой").
    bool StartReading(int index);
    // Asks the reader to stop after the sector in progress.
    void StopReading();
    // From StartReading until readFinished: a Stop pressed just as the reader ends is
    // still a Stop, never a new read.
    bool reading() const { return state_ == State::kReading; }

    // Ends the mode: the reader and the poll are woken (whole sectors are kept), then
    // the link is closed; ended() follows. Safe to call more than once.
    void Close();
    bool closing() const { return state_ == State::kClosing || state_ == State::kEnded; }
    bool is_ended() const { return state_ == State::kEnded; }
    State state() const { return state_; }

signals:
    // Texts to show in order; the session waits for MessagesTaken().
    void messages(const QStringList& texts);
    // The link is open and the recorder present: the window may show.
    void opened();
    // A poll's result, to be applied at once.
    void polled(const korvex::RecorderPollResult& result);
    void readStarted(int index);
    void readProgress(int percent);
    void readingText(const QString& text);
    void sectorTime(const QString& text);
    // The reader has ended: its messages have been taken and the viewer started on the
    // file when at least one sector was converted.
    void readFinished(const korvex::RecorderReadResult& result);
    // The mode is over and the link closed.
    void ended();

private:
    void LinkThread(LinkSettings settings);
    // The one place the state changes.
    void Enter(State next);
    void OnOpened(const std::vector<std::string>& messages, bool open);
    void OnPolled(const RecorderPollResult& result);
    void ApplyPoll(const RecorderPollResult& result);
    void OnReadDone(const RecorderReadResult& result);
    void OnLinkEnded(const std::vector<std::string>& messages);
    // The link thread may run the next poll.
    void PollApplied();

    StopToken stop_;
    std::thread link_thread_;
    RecorderReader reader_;
    RecorderLink link_;  // written by the link thread before OnOpened, read after
    State state_ = State::kOpening;
    MessageOrder said_;

    // The link thread's handshake with this thread, under mu_.
    std::mutex mu_;
    std::condition_variable wake_;
    bool poll_shown_ = false;   // a poll's result is on its way to the window
    int pending_write_ = -1;    // the "Write" value to send, -1 none
    bool reader_runs_ = false;  // the link thread closes the port only after the reader

    RecorderPollResult last_;
    // A failed poll that came while a read was open, applied after the read's end.
    std::optional<RecorderPollResult> deferred_close_;
};

}  // namespace korvex::gui

Q_DECLARE_METATYPE(korvex::RecorderPollResult)
Q_DECLARE_METATYPE(korvex::RecorderReadResult)
