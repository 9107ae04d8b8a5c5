// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RecorderSession.h"

#include "app/Viewer.h"
#include "link/ModBus.h"

namespace korvex::gui {

namespace {

// The poll's period; a poll that takes longer delays the next one.
constexpr auto kPollInterval = std::chrono::milliseconds(300);

}  // namespace

RecorderSession::RecorderSession(QObject* parent)
    : QObject(parent), said_([this](const QStringList& texts) { emit messages(texts); }) {
    qRegisterMetaType<korvex::RecorderPollResult>();
    qRegisterMetaType<korvex::RecorderReadResult>();
}

RecorderSession::~RecorderSession() {
    Close();
    if (link_thread_.joinable()) link_thread_.join();
    reader_.Join();
}

void RecorderSession::Start(const LinkSettings& settings) {
    if (link_thread_.joinable()) return;
    link_thread_ = std::thread([this, settings] { LinkThread(settings); });
}

void RecorderSession::Enter(State next) {
    // Ended is final, and a mode that is closing only ends.
    if (state_ == State::kEnded) return;
    if (state_ == State::kClosing && next != State::kEnded) return;
    state_ = next;
}

void RecorderSession::MessagesTaken() {
    said_.Taken();
}

void RecorderSession::LinkThread(LinkSettings settings) {
    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    const bool open = link.port != nullptr;
    if (open) {
        link_ = link;
        RS232_SetStopToken(link.port, &stop_);
    }
    QMetaObject::invokeMethod(
        this, [this, messages, open] { OnOpened(messages, open); }, Qt::QueuedConnection);
    if (!open) return;

    RecorderPoller poller(link.port);
    poller.set_stop(&stop_);
    using Clock = std::chrono::steady_clock;
    Clock::time_point next = Clock::now() + std::chrono::milliseconds(10);
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_.stop_requested()) {
        if (pending_write_ >= 0) {
            uint16_t value = uint16_t(pending_write_);
            pending_write_ = -1;
            lock.unlock();
            std::string err;
            // A failed write shows its message; the code is not kept, and the next poll
            // puts the check mark right if the state changed.
            if (ModBus_WriteSingleReg(link.port, kRecorderSlave, kRecorderSwitchReg, value, &err) &&
                !stop_.stop_requested())
                QMetaObject::invokeMethod(
                    this, [this, err] { said_.Say(std::vector<std::string>{err}); },
                    Qt::QueuedConnection);
            lock.lock();
            continue;
        }
        if (poll_shown_ || Clock::now() < next) {
            if (poll_shown_)
                wake_.wait(lock);
            else
                wake_.wait_until(lock, next);
            continue;
        }
        poll_shown_ = true;
        next = Clock::now() + kPollInterval;
        lock.unlock();
        RecorderPollResult r = poller.Poll();
        lock.lock();
        // A poll the close woke is no failure of the link: the exit message still goes.
        if (stop_.stop_requested()) break;
        link.link_status = r.link_status;
        QMetaObject::invokeMethod(
            this, [this, r] { OnPolled(r); }, Qt::QueuedConnection);
        if (r.close) {
            // The messages come before the close: the port stays open, and the window,
            // until the user has taken them (or the window is being closed).
            wake_.wait(lock, [this] { return !poll_shown_ || stop_.stop_requested(); });
            break;
        }
    }
    // The end: the reader stops first (woken by the token, or after its sector when the
    // link failed), then the link goes.
    lock.unlock();
    reader_.RequestStop();
    lock.lock();
    wake_.wait(lock, [this] { return !reader_runs_; });
    lock.unlock();
    RS232_SetStopToken(link.port, nullptr);
    messages.clear();
    CloseRecorder(&link, &messages);
    QMetaObject::invokeMethod(
        this, [this, messages] { OnLinkEnded(messages); }, Qt::QueuedConnection);
}

void RecorderSession::OnOpened(const std::vector<std::string>& messages, bool open) {
    said_.Say(messages, [this, open] {
        if (!open) {
            OnLinkEnded({});
            return;
        }
        if (closing()) return;
        Enter(State::kPolling);
        emit opened();
    });
}

void RecorderSession::OnPolled(const RecorderPollResult& result) {
    // A link that fails during a read fails the reader too (a pulled cable): the reader's
    // message about its sector comes first and the viewer opens what it read, then the
    // poll's message and the close. The link thread waits meanwhile.
    if (result.close && state_ == State::kReading) {
        deferred_close_ = result;
        return;
    }
    // The messages first, as the poll met them; no poll runs while they are open.
    said_.Say(result.messages, [this, result] { ApplyPoll(result); });
}

void RecorderSession::ApplyPoll(const RecorderPollResult& result) {
    last_ = result;
    if (!is_ended()) emit polled(result);
    if (result.close) Enter(State::kClosing);
    PollApplied();
}

void RecorderSession::PollApplied() {
    std::lock_guard<std::mutex> lock(mu_);
    poll_shown_ = false;
    wake_.notify_all();
}

void RecorderSession::SetWriting(bool on) {
    std::lock_guard<std::mutex> lock(mu_);
    pending_write_ = on ? 1 : 0;
    wake_.notify_all();
}

bool RecorderSession::StartReading(int index) {
    if (state_ != State::kPolling || !link_.port) return false;
    const auto& table = last_.table;
    const char* refused = nullptr;
    if (index < 0 || index >= int(table.size()))
        refused = "Недопустимый номер файла";
    else if (table[size_t(index)].status() == 0)
        refused = "Файл нельзя считать";
    else if (table[size_t(index)].sectors == 0)
        refused = "Файл пустой";
    if (refused) {
        said_.Say(std::vector<std::string>{refused});
        return false;
    }
    const RecorderFileEntry entry = table[size_t(index)];
    Enter(State::kReading);
    {
        std::lock_guard<std::mutex> lock(mu_);
        reader_runs_ = true;
    }
    emit readStarted(index);
    RecorderReadEvents events;
    events.progress = [this](int p) {
        QMetaObject::invokeMethod(
            this, [this, p] { emit readProgress(p); }, Qt::QueuedConnection);
    };
    events.reading_text = [this](const std::string& t) {
        QString text = QString::fromStdString(t);
        QMetaObject::invokeMethod(
            this, [this, text] { emit readingText(text); }, Qt::QueuedConnection);
    };
    events.sector_time = [this](const std::string& t) {
        QString text = QString::fromStdString(t);
        QMetaObject::invokeMethod(
            this, [this, text] { emit sectorTime(text); }, Qt::QueuedConnection);
    };
    reader_.Start(link_.port, index, entry, std::move(events), [this](const RecorderReadResult& r) {
        QMetaObject::invokeMethod(
            this, [this, r] { OnReadDone(r); }, Qt::QueuedConnection);
        std::lock_guard<std::mutex> lock(mu_);
        reader_runs_ = false;
        wake_.notify_all();
    });
    return true;
}

void RecorderSession::StopReading() {
    reader_.RequestStop();
}

void RecorderSession::OnReadDone(const RecorderReadResult& result) {
    reader_.Join();
    // The read counts as open until its messages are taken, so that a failed poll
    // arriving under them waits for them (OnPolled).
    said_.Say(result.messages, [this, result] {
        // The viewer opens the file when at least one sector was converted, after a stop
        // too; its own failure is one more message before the read ends.
        std::vector<std::string> more;
        std::string err;
        if (result.sectors > 0 && !closing() && RunViewer(result.path, &err) != 0)
            more.push_back(err);
        said_.Say(more, [this, result] {
            if (state_ == State::kReading) Enter(State::kPolling);
            emit readFinished(result);
            if (deferred_close_) {
                RecorderPollResult r = std::move(*deferred_close_);
                deferred_close_.reset();
                OnPolled(r);
            }
        });
    });
}

void RecorderSession::Close() {
    if (closing()) return;
    Enter(State::kClosing);
    reader_.RequestStop();
    std::lock_guard<std::mutex> lock(mu_);
    stop_.RequestStop();
    wake_.notify_all();
}

void RecorderSession::OnLinkEnded(const std::vector<std::string>& messages) {
    said_.Say(messages, [this] {
        if (link_thread_.joinable()) link_thread_.join();
        reader_.Join();
        Enter(State::kEnded);
        emit ended();
    });
}

}  // namespace korvex::gui
