// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RecorderSession.h"

#include <QPointer>

#include "app/ErrorReport.h"
#include "app/Viewer.h"
#include "link/ModBus.h"

namespace korvex::gui {

namespace {

// The poll's period; a poll that takes longer delays the next one.
constexpr auto kPollInterval = std::chrono::milliseconds(300);

}  // namespace

RecorderSession::RecorderSession(QObject* parent) : QObject(parent) {
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

void RecorderSession::PostMessages(const std::vector<std::string>& messages) {
    if (messages.empty()) return;
    QMetaObject::invokeMethod(
        this,
        [messages] {
            for (const auto& m : messages) ShowError(m);
        },
        Qt::QueuedConnection);
}

void RecorderSession::LinkThread(LinkSettings settings) {
    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    PostMessages(messages);
    if (!link.port) {
        QMetaObject::invokeMethod(this, &RecorderSession::OnLinkEnded, Qt::QueuedConnection);
        return;
    }
    link_ = link;
    QMetaObject::invokeMethod(this, &RecorderSession::opened, Qt::QueuedConnection);

    RecorderPoller poller(link.port);
    poller.set_abort(&poll_abort_);
    using Clock = std::chrono::steady_clock;
    Clock::time_point next = Clock::now() + std::chrono::milliseconds(10);
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
        if (pending_write_ >= 0) {
            uint16_t value = uint16_t(pending_write_);
            pending_write_ = -1;
            lock.unlock();
            std::string err;
            // A failed write shows its message; the code is not kept, and the next poll
            // puts the check mark right if the state changed.
            if (ModBus_WriteSingleReg(link.port, 1, kRecorderSwitchReg, value, &err))
                PostMessages({err});
            lock.lock();
            continue;
        }
        if (busy_ || Clock::now() < next) {
            if (busy_)
                wake_.wait(lock);
            else
                wake_.wait_until(lock, next);
            continue;
        }
        busy_ = true;
        next = Clock::now() + kPollInterval;
        lock.unlock();
        RecorderPollResult r = poller.Poll();
        link.link_status = r.link_status;
        QMetaObject::invokeMethod(
            this, [this, r] { OnPolled(r); }, Qt::QueuedConnection);
        lock.lock();
        if (r.close) {
            // The messages come before the close: the port stays open, and the window,
            // until the user has taken them (or the window is being closed).
            wake_.wait(lock, [this] { return !busy_ || stop_; });
            break;
        }
    }
    // The end: the reader finishes its sector first, then the link goes.
    stop_ = true;
    lock.unlock();
    reader_.RequestStop();
    lock.lock();
    wake_.wait(lock, [this] { return !reading_; });
    lock.unlock();
    messages.clear();
    CloseRecorder(&link, &messages);
    PostMessages(messages);
    QMetaObject::invokeMethod(this, &RecorderSession::OnLinkEnded, Qt::QueuedConnection);
}

void RecorderSession::OnPolled(const RecorderPollResult& result) {
    // A link that fails during a read fails the reader too (a pulled cable): the reader's
    // message about its sector comes first and the viewer opens what it read, then the
    // poll's message and the close. The link thread waits meanwhile (busy).
    if (result.close && read_open_) {
        deferred_close_ = result;
        return;
    }
    // The messages first, as the poll met them; no poll runs while they are open.
    for (const auto& m : result.messages) ShowError(m);
    last_ = result;
    emit polled(result);
    if (result.close) closing_ = true;
    PollApplied();
}

void RecorderSession::PollApplied() {
    std::lock_guard<std::mutex> lock(mu_);
    busy_ = false;
    wake_.notify_all();
}

void RecorderSession::SetWriting(bool on) {
    std::lock_guard<std::mutex> lock(mu_);
    pending_write_ = on ? 1 : 0;
    wake_.notify_all();
}

bool RecorderSession::StartReading(int index) {
    if (read_open_ || closing_ || ended_ || !link_.port) return false;
    const auto& table = last_.table;
    if (index < 0 || index >= int(table.size())) {
        ShowError("Недопустимый номер файла");
        return false;
    }
    const RecorderFileEntry entry = table[size_t(index)];
    if (entry.status() == 0) {
        ShowError("Файл нельзя считать");
        return false;
    }
    if (entry.sectors == 0) {
        ShowError("Файл пустой");
        return false;
    }
    reading_ = true;
    read_open_ = true;
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
        reading_ = false;
        wake_.notify_all();
    });
    return true;
}

void RecorderSession::StopReading() {
    reader_.RequestStop();
}

void RecorderSession::OnReadDone(const RecorderReadResult& result) {
    reader_.Join();
    // A message box runs queued work: a window closed meanwhile may end the mode and
    // delete this session under it. The read counts as open until its messages are taken,
    // so that a failed poll arriving under them waits for them (OnPolled).
    QPointer<RecorderSession> self(this);
    for (const auto& m : result.messages) {
        ShowError(m);
        if (!self) return;
    }
    // The viewer opens the file when at least one sector was converted, after a stop too.
    if (result.sectors > 0 && !closing_) RunViewer(result.path);
    if (!self) return;
    read_open_ = false;
    emit readFinished(result);
    if (deferred_close_) {
        RecorderPollResult r = std::move(*deferred_close_);
        deferred_close_.reset();
        OnPolled(r);
    }
}

void RecorderSession::Close() {
    if (ended_) return;
    closing_ = true;
    poll_abort_ = true;
    reader_.RequestStop();
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
    wake_.notify_all();
}

void RecorderSession::OnLinkEnded() {
    if (link_thread_.joinable()) link_thread_.join();
    reader_.Join();
    closing_ = true;
    ended_ = true;
    emit ended();
}

}  // namespace korvex::gui
