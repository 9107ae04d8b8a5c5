// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/OscSession.h"

#include "app/StrPrintf.h"

namespace korvex::gui {

namespace {

// The follower reads the recording every 30 ms whatever the sample rate.
constexpr int kTickMs = 30;

}  // namespace

OscSession::OscSession(QObject* parent)
    : QObject(parent), start_(std::chrono::steady_clock::now()) {
    qRegisterMetaType<korvex::OscFollower::Tick>();
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, &OscSession::Tick);
}

OscSession::~OscSession() {
    tick_.stop();
    // Joined first: the worker may be calling its callbacks. What they post to this
    // object is discarded with it.
    worker_.Stop();
    OSC_CloseWriter(osc_);
}

uint32_t OscSession::NowMs() const {
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start_)
                        .count());
}

bool OscSession::StartLive(const LinkSettings& settings, std::vector<std::string>* messages) {
    link_ = settings;
    link_.live_mode = 1;
    live_ = true;
    osc_.Reset();
    if (OSC_Open(link_, osc_, messages) != 0) return false;
    // The worker posts; it never waits for this thread.
    osc_.on_screen_changed = [this] {
        QMetaObject::invokeMethod(this, &OscSession::screenChanged, Qt::QueuedConnection);
    };
    osc_.on_stopped = [this] {
        QMetaObject::invokeMethod(this, &OscSession::OnWorkerEnded, Qt::QueuedConnection);
    };
    worker_.Start(link_, osc_);
    writing_ = true;
    uint64_t consumed = 0;
    std::string err;
    if (ReadRecordingHeader(link_.file_arg, &header_, &consumed, &err) != 0 ||
        !FollowFromStart(consumed, false, &err)) {
        Stop();
        messages->push_back(err);
        return false;
    }
    return true;
}

bool OscSession::OpenFile(const std::string& path, std::string* err_text) {
    link_.file_arg = path;
    link_.live_mode = 0;
    live_ = false;
    uint64_t consumed = 0;
    if (ReadRecordingHeader(path, &header_, &consumed, err_text, true) != 0) return false;
    return FollowFromStart(consumed, true, err_text);
}

bool OscSession::FollowFromStart(uint64_t offset, bool finished, std::string* err_text) {
    double rate = live_ ? osc_.sample_rate : 1.0;
    if (!follower_.Open(link_.file_arg, offset, header_.shown, rate, NowMs(), err_text, finished))
        return false;
    tick_.start();
    return true;
}

uint32_t OscSession::ChannelColour(int c) const {
    return c < int(osc_.channels.size()) ? osc_.channels[size_t(c)].colour
                                         : DefaultChannelColour(c);
}

QString OscSession::FileLine() const {
    std::string extra =
        header_.num_chan > header_.shown ? StrPrintf(" (%d)", header_.num_chan) : "";
    return QString::fromStdString(StrPrintf("File: %s ,  %d%s channels", link_.file_arg.c_str(),
                                            header_.shown, extra.c_str()));
}

QString OscSession::StatusLine() const {
    return QString::fromStdString(follower_.StatusLine(NowMs()));
}

void OscSession::Tick() {
    OscFollower::Tick t = follower_.Poll(NowMs());
    if (t.display_changed || t.rate_changed || t.status_changed || t.error_changed || t.captions)
        emit dataChanged(t);
}

bool OscSession::SetWriting(bool on, std::string* err_text) {
    if (!live_ || !worker_.running() || on == writing_) return true;
    if (on) {
        if (OSC_FileHeader(link_, osc_, err_text) != 0) return false;
        writing_ = true;
        // The worker writes the new file even when the screen cannot follow it: writing is
        // on, and the message says why no rows come.
        if (!follower_.Open(link_.file_arg, 0, header_.shown, osc_.sample_rate, NowMs(),
                            err_text)) {
            emit recordingChanged();
            return false;
        }
    } else {
        writing_ = false;
        follower_.Close();
        OSC_CloseWriter(osc_);
    }
    emit recordingChanged();
    return true;
}

void OscSession::PressKey(uint8_t code) {
    osc_.pending_key = code;
}

void OscSession::Stop() {
    if (!worker_.running()) return;
    worker_.Stop();
    OnWorkerEnded();
}

// The worker has ended, by a stop or by an error: join it and tell the views once.
void OscSession::OnWorkerEnded() {
    if (ended_ || !osc_.done) return;
    ended_ = true;
    worker_.Join();
    tick_.stop();
    Tick();  // the rows written before the stop
    follower_.Close();
    OSC_CloseWriter(osc_);
    writing_ = false;
    emit stopped(QString::fromStdString(osc_.StopMessage()));
}

}  // namespace korvex::gui
