// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ViewerSession.h"

#include <algorithm>
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

}  // namespace

ViewerSession::ViewerSession(QObject* parent) : QObject(parent) {}

ViewerSession::~ViewerSession() {
    cancel_.RequestStop();
    cancel_export_.RequestStop();
    JoinWorker();
}

void ViewerSession::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

void ViewerSession::Open(const QString& path) {
    if (loading_ || exporting_) return;
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
        worker_ = std::thread([this, file, result, deliver] {
            try {
                result->data = std::make_unique<RecordingData>();
                RecordingData::Options options;
                options.cancel = &cancel_;
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
                ok = kind == ExportKind::Csv
                         ? ExportCsv(*data_, begin, end, out, overwrite, &error, control)
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

}  // namespace korvex::gui
