// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ViewerSession.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>

#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/ComtradeExport.h"
#include "files/CsvExport.h"

namespace korvex::gui {

namespace {

// RecordingData's message for a recording that does not fit in memory, word for word.
std::string NoMemory(size_t rows, int channels) {
    return StrPrintf(Tr("Не хватает памяти для %zu строк по %d каналов",
                        "Not enough memory for %zu rows of %d channels"),
                     rows, channels);
}

// The envelopes of all channels, the channels shared out over the processors; false when
// memory ran out on the way (`envelopes` are then not to be used). A thread that cannot
// be started leaves its share to the others.
bool BuildEnvelopes(const RecordingData& data, std::vector<Envelope>* envelopes) {
    try {
        envelopes->resize(size_t(data.channels()));
    } catch (const std::exception&) {
        return false;
    }
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    // An exception must not leave a std::thread: it would end the program.
    auto work = [&]() noexcept {
        for (int c; !failed && (c = next.fetch_add(1)) < data.channels();)
            if (!(*envelopes)[size_t(c)].Build(data.column(c), data.rows())) failed = true;
    };
    unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && data.rows() * size_t(data.channels()) > (1u << 16); ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::exception&) {
            break;  // no memory or no thread for another worker: fewer do the work
        }
    }
    work();
    for (auto& t : pool) t.join();
    return !failed;
}

// The follow reads the file this often, and hands on at most this many values a batch
// (1 MB) with at most this many batches on their way to the GUI thread.
constexpr auto kFollowPeriod = std::chrono::milliseconds(200);
constexpr size_t kBatchValues = size_t(1) << 17;
constexpr int kMaxBatchesPosted = 4;
// A file whose time stamp is younger than this is taken as still written.
constexpr int64_t kGrowingSeconds = 5;

QString FollowText(const char* russian, const char* english, const std::string& path) {
    return QString::fromStdString(StrPrintf(Tr(russian, english), path.c_str()));
}

}  // namespace

ViewerSession::ViewerSession(QObject* parent) : QObject(parent) {}

ViewerSession::~ViewerSession() {
    cancel_.RequestStop();
    cancel_export_.RequestStop();
    StopFollow();
    JoinWorker();
}

void ViewerSession::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

void ViewerSession::Open(const QString& path) {
    if (loading_ || exporting_) return;
    if (following_) {
        // The rows followed belong to the recording about to be replaced.
        StopFollow();
        emit followEnded(QString());
    }
    JoinWorker();
    cancel_.Reset();
    try {
        std::string file = path.toStdString();
        auto result = std::make_shared<Loaded>();
        // The worker fills `result` and posts `deliver`, which hands it over here.
        auto deliver = [this, path, result] {
            JoinWorker();
            loading_ = false;
            if (result->data) {
                // Views drop their graphs of the old recording on `loaded` before they
                // draw again; until then the old columns must stay alive.
                auto old_data = std::move(data_);
                auto old_envelopes = std::move(envelopes_);
                data_ = std::move(result->data);
                envelopes_ = std::move(result->envelopes);
                path_ = path;
                emit loaded(QString());
            } else {
                emit loaded(QString::fromStdString(result->error));
            }
        };
        loading_ = true;
        worker_ = std::thread([this, file, result, deliver, side = comtrade_side_] {
            try {
                result->data = std::make_unique<RecordingData>();
                RecordingData::Options options;
                options.cancel = &cancel_;
                options.comtrade_side = side;
                if (!result->data->Load(file, &result->error, options)) {
                    result->data.reset();
                } else if (!BuildEnvelopes(*result->data, &result->envelopes)) {
                    result->error = NoMemory(result->data->rows(), result->data->channels());
                    result->data.reset();
                    result->envelopes = std::vector<Envelope>();
                }
                QMetaObject::invokeMethod(this, deliver, Qt::QueuedConnection);
            } catch (const std::exception&) {
                // Memory ran out outside the load's own care (its message, the
                // envelopes' vector, the call posted back). The columns go first, which
                // makes room for the message and the post.
                size_t rows = result->data ? result->data->rows() : 0;
                int channels = result->data ? result->data->channels() : 0;
                result->data.reset();
                result->envelopes = std::vector<Envelope>();
                try {
                    result->error = NoMemory(rows, channels);
                    QMetaObject::invokeMethod(this, deliver, Qt::QueuedConnection);
                } catch (const std::exception&) {
                    // Nothing left to say it with; the session stays busy until destroyed.
                }
            }
        });
    } catch (const std::exception&) {
        // No memory or no thread for the load: said at once, the recording shown stays.
        loading_ = false;
        emit loaded(
            QString::fromUtf8(StrPrintf(Tr("Не хватает ресурсов системы, чтобы прочесть '%s'",
                                           "Not enough system resources to read '%s'"),
                                        path.toStdString().c_str())
                                  .c_str()));
    }
}

bool ViewerSession::Export(ExportKind kind, const QString& path, size_t begin, size_t end,
                           bool overwrite) {
    if (loading_ || exporting_ || !data_) return false;
    JoinWorker();
    cancel_export_.Reset();
    try {
        std::string out = path.toStdString();
        exporting_ = true;
        worker_ = std::thread([this, kind, out, begin, end, overwrite] {
            ExportControl control;
            control.cancel = &cancel_export_;
            control.progress = [this](int percent) {
                // A progress step that cannot be posted is left out; the next one shows.
                try {
                    QMetaObject::invokeMethod(
                        this, [this, percent] { emit exportProgress(percent); },
                        Qt::QueuedConnection);
                } catch (const std::exception&) {
                }
            };
            std::string error;
            bool ok = false, no_memory = false;
            try {
                ok = kind == ExportKind::Csv || kind == ExportKind::CsvDecimalComma
                         ? ExportCsv(*data_, begin, end, out, overwrite, &error, control,
                                     CsvStyle{kind == ExportKind::CsvDecimalComma})
                         : ExportComtrade(*data_, begin, end, out,
                                          kind == ExportKind::ComtradeBinary, overwrite, &error,
                                          control);
            } catch (const std::exception&) {
                // The export's own buffers (a header of thousands of names, a row) did not
                // fit; its file removes the temporary as for any failed export.
                no_memory = true;
            }
            try {
                if (no_memory)
                    error = StrPrintf(Tr("Не хватает памяти для экспорта в '%s'",
                                         "Not enough memory to export to '%s'"),
                                      out.c_str());
                QString message = ok ? QString() : QString::fromStdString(error);
                QMetaObject::invokeMethod(
                    this,
                    [this, message] {
                        JoinWorker();
                        exporting_ = false;
                        AppendHeldRows();
                        emit exportFinished(message);
                    },
                    Qt::QueuedConnection);
            } catch (const std::exception&) {
                // Nothing left to say it with; the session stays busy until destroyed.
            }
        });
    } catch (const std::exception&) {
        exporting_ = false;
        return false;
    }
    return true;
}

bool ViewerSession::growing() const {
    if (!data_ || !data_->can_follow()) return false;
    return data_->pending_bytes() > 0 ||
           int64_t(std::time(nullptr)) - data_->modified() < kGrowingSeconds;
}

void ViewerSession::SetFollow(bool on) {
    if (!on) {
        StopFollow();
        return;
    }
    if (following_ || loading_ || !data_ || !data_->can_follow()) return;
    cancel_follow_.Reset();
    const unsigned generation = ++follow_generation_;
    try {
        auto tail = std::make_shared<RecordingTail>(*data_);
        following_ = true;
        follow_worker_ = std::thread([this, tail, generation] { FollowWork(*tail, generation); });
    } catch (const std::exception&) {
        following_ = false;
        try {
            emit followEnded(FollowText("Не хватает ресурсов системы, чтобы следить за '%s'",
                                        "Not enough system resources to follow '%s'",
                                        data_->path()));
        } catch (const std::exception&) {
        }
    }
}

void ViewerSession::FollowWork(RecordingTail& tail, unsigned generation) {
    // Runs on the follow worker: reads the file and posts; never touches data_, never waits
    // on the GUI thread.
    QString ended;
    try {
        const size_t max_rows =
            std::max<size_t>(1, kBatchValues / size_t(std::max(1, tail.channels())));
        while (!cancel_follow_.stop_requested()) {
            // 200 ms from the start of one read to the next, however long the read took.
            const auto next = std::chrono::steady_clock::now() + kFollowPeriod;
            // With batches still on their way (the GUI thread busy) the file waits for the
            // next tick, so the queue stays short whatever the backlog.
            while (batches_posted_ < kMaxBatchesPosted) {
                auto batch = std::make_shared<RecordingData::RowBatch>();
                const uint64_t before = tail.read_end();
                RecordingTail::Result result = tail.Poll(batch.get(), max_rows);
                if (result == RecordingTail::Result::kCutShort) {
                    ended = FollowText("Файл '%s' укорочен или заменён: слежение остановлено",
                                       "'%s' was cut short or replaced: following stopped",
                                       tail.path());
                    break;
                }
                if (result == RecordingTail::Result::kReadError) {
                    ended = FollowText("Ошибка чтения '%s': слежение остановлено",
                                       "Read error in '%s': following stopped", tail.path());
                    break;
                }
                // Lines read, "#" lines alone included, move the read end the data keeps.
                if (tail.read_end() == before) break;
                ++batches_posted_;
                QMetaObject::invokeMethod(
                    this,
                    [this, batch, generation] {
                        try {
                            ReceiveRows(batch, generation);
                        } catch (const std::exception&) {
                            EndFollowOutOfMemory();
                        }
                    },
                    Qt::QueuedConnection);
                if (batch->rows < max_rows) break;
            }
            if (!ended.isEmpty()) break;
            std::unique_lock lock(follow_mutex_);
            follow_wake_.wait_until(lock, next, [this] { return cancel_follow_.stop_requested(); });
        }
    } catch (const std::exception&) {
        // A batch or the call posting it did not fit.
        try {
            ended = FollowText("Не хватает памяти, чтобы следить за '%s'",
                               "Not enough memory to follow '%s'", tail.path());
        } catch (const std::exception&) {
        }
    }
    if (ended.isEmpty() || cancel_follow_.stop_requested()) return;
    try {
        QMetaObject::invokeMethod(
            this,
            [this, ended, generation] {
                if (following_ && generation == follow_generation_) EndFollow(ended);
            },
            Qt::QueuedConnection);
    } catch (const std::exception&) {
        // Nothing left to say it with; the follow stays on without reading until turned off.
    }
}

void ViewerSession::ReceiveRows(const std::shared_ptr<RecordingData::RowBatch>& batch,
                                unsigned generation) {
    --batches_posted_;
    if (!following_ || generation != follow_generation_) return;
    if (exporting_) {
        // The export's worker reads the columns, which appending may move.
        held_.push_back(batch);
        return;
    }
    AppendRows(*batch);
}

void ViewerSession::AppendHeldRows() {
    auto held = std::move(held_);
    held_.clear();
    try {
        for (const auto& batch : held)
            if (following_) AppendRows(*batch);
    } catch (const std::exception&) {
        EndFollowOutOfMemory();
    }
}

void ViewerSession::AppendRows(const RecordingData::RowBatch& batch) {
    const size_t old_rows = data_->rows();
    std::string error;
    if (!data_->Append(batch, &error)) {
        EndFollow(QString::fromStdString(error));
        return;
    }
    bool envelopes_fit = true;
    for (int c = 0; c < data_->channels(); ++c)
        envelopes_fit =
            envelopes_[size_t(c)].Extend(data_->column(c), data_->rows()) && envelopes_fit;
    if (data_->rows() != old_rows) emit grew(old_rows);
    // A channel whose envelope did not fit draws nothing until the recording is read again.
    if (!envelopes_fit) EndFollowOutOfMemory();
}

void ViewerSession::StopFollow() {
    cancel_follow_.RequestStop();
    {
        // Taken so that the worker is either before its wait (and sees the stop) or in it.
        std::lock_guard lock(follow_mutex_);
    }
    follow_wake_.notify_all();
    if (follow_worker_.joinable()) follow_worker_.join();
    following_ = false;
    held_.clear();
    // Whatever the stopped worker posted and is still queued is dropped on arrival.
    ++follow_generation_;
}

void ViewerSession::EndFollow(const QString& message) {
    StopFollow();
    emit followEnded(message);
}

void ViewerSession::EndFollowOutOfMemory() {
    StopFollow();
    try {
        emit followEnded(QString::fromStdString(NoMemory(data_->rows(), data_->channels())));
    } catch (const std::exception&) {
        // No room for the message: the follow has ended all the same.
    }
}

}  // namespace korvex::gui
