#include "gui/ViewerSession.h"

#include <algorithm>

#include "files/ComtradeExport.h"
#include "files/CsvExport.h"

namespace korvex::gui {

namespace {

// The envelopes of all channels, the channels shared out over the processors.
std::vector<Envelope> BuildEnvelopes(const RecordingData& data) {
    std::vector<Envelope> envelopes(size_t(data.channels()));
    std::atomic<int> next{0};
    auto work = [&] {
        for (int c; (c = next.fetch_add(1)) < data.channels();)
            envelopes[size_t(c)].Build(data.column(c), data.rows());
    };
    unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && data.rows() * size_t(data.channels()) > (1u << 16); ++t)
        pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    return envelopes;
}

}  // namespace

ViewerSession::ViewerSession(QObject* parent) : QObject(parent) {}

ViewerSession::~ViewerSession() {
    cancel_ = true;
    cancel_export_ = true;
    JoinWorker();
}

void ViewerSession::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

void ViewerSession::Open(const QString& path) {
    if (loading_ || exporting_) return;
    JoinWorker();
    loading_ = true;
    cancel_ = false;
    std::string file = path.toStdString();
    worker_ = std::thread([this, path, file] {
        auto result = std::make_shared<Loaded>();
        result->data = std::make_unique<RecordingData>();
        RecordingData::Options options;
        options.cancel = &cancel_;
        if (result->data->Load(file, &result->error, options))
            result->envelopes = BuildEnvelopes(*result->data);
        else
            result->data.reset();
        QMetaObject::invokeMethod(
            this,
            [this, path, result] {
                JoinWorker();
                loading_ = false;
                if (result->data) {
                    // Views drop their graphs of the old recording on `loaded` before
                    // they draw again; until then the old columns must stay alive.
                    auto old_data = std::move(data_);
                    auto old_envelopes = std::move(envelopes_);
                    data_ = std::move(result->data);
                    envelopes_ = std::move(result->envelopes);
                    path_ = path;
                    emit loaded(QString());
                } else {
                    emit loaded(QString::fromStdString(result->error));
                }
            },
            Qt::QueuedConnection);
    });
}

bool ViewerSession::Export(ExportKind kind, const QString& path, size_t begin, size_t end,
                           bool overwrite) {
    if (loading_ || exporting_ || !data_) return false;
    JoinWorker();
    exporting_ = true;
    cancel_export_ = false;
    std::string out = path.toStdString();
    worker_ = std::thread([this, kind, out, begin, end, overwrite] {
        ExportControl control;
        control.cancel = &cancel_export_;
        control.progress = [this](int percent) {
            QMetaObject::invokeMethod(
                this, [this, percent] { emit exportProgress(percent); }, Qt::QueuedConnection);
        };
        std::string error;
        bool ok = kind == ExportKind::Csv
                      ? ExportCsv(*data_, begin, end, out, overwrite, &error, control)
                      : ExportComtrade(*data_, begin, end, out, kind == ExportKind::ComtradeBinary,
                                       overwrite, &error, control);
        QString message = ok ? QString() : QString::fromStdString(error);
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                JoinWorker();
                exporting_ = false;
                emit exportFinished(message);
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace korvex::gui
