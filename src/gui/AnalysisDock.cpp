// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AnalysisDock.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

#include "app/StrPrintf.h"
#include "gui/Texts.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"

namespace korvex::gui {

QString AnalysisWindowText(double from, double to, size_t samples) {
    return Q(StrPrintf(Tr("%.6f – %.6f с, отсчётов: %zu", "%.6f – %.6f s, %zu samples"), from, to,
                       samples));
}

AnalysisDock::AnalysisDock(ViewerSession* session, ViewerPlot* plot, QWidget* parent)
    : QDockWidget(T("Анализ", "Analysis"), parent), session_(session), plot_(plot) {
    setObjectName(QStringLiteral("analysisDock"));
    // The bottom of the window is kept for other panels.
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    analysis_ = new AnalysisSession(this);
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(kDelayMs);

    auto* body = new QWidget(this);
    channel_ = new QComboBox(body);
    channel_->setObjectName(QStringLiteral("analysisChannel"));
    channel_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    channel_->setMinimumContentsLength(12);
    kind_ = new QComboBox(body);
    kind_->setObjectName(QStringLiteral("analysisKind"));
    for (AnalysisKind k : {AnalysisKind::Step, AnalysisKind::Oscillation, AnalysisKind::Spectrum})
        kind_->addItem(KindName(k));
    band_ = new QDoubleSpinBox(body);
    band_->setObjectName(QStringLiteral("analysisBand"));
    band_->setLocale(QLocale::c());  // "2.0 %" whatever the desktop's language
    band_->setRange(0.1, 50);
    band_->setDecimals(1);
    band_->setSingleStep(0.5);
    band_->setValue(2);
    band_->setSuffix(QStringLiteral(" %"));
    at_a_ = new QCheckBox(T("Скачок в курсоре A", "Step at cursor A"), body);
    at_a_->setObjectName(QStringLiteral("stepAtA"));
    at_a_->setToolTip(
        T("Момент скачка - курсор A, уровень до него - по видимой части "
          "слева от A, конец окна - курсор B",
          "The step instant is cursor A, the level before it is read from the "
          "view left of A, the window ends at cursor B"));
    window_label_ = new QLabel(body);
    window_label_->setObjectName(QStringLiteral("analysisWindow"));
    window_label_->setWordWrap(true);
    status_ = new QLabel(body);
    status_->setObjectName(QStringLiteral("analysisStatus"));
    status_->setWordWrap(true);
    status_->setStyleSheet(QStringLiteral("color: #b00000"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_ = new QTableWidget(0, 2, body);
    table_->setObjectName(QStringLiteral("analysisTable"));
    table_->setHorizontalHeaderLabels({T("Величина", "Quantity"), T("Значение", "Value")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Long values (a mode's five figures) wrap under themselves rather than hide.
    table_->setWordWrap(true);
    spectrum_ = new QCustomPlot(body);
    spectrum_->setObjectName(QStringLiteral("spectrumPlot"));
    spectrum_->setLocale(QLocale::c());
    spectrum_->setMinimumHeight(180);
    spectrum_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    spectrum_->axisRect()->setRangeDrag(Qt::Horizontal);
    spectrum_->axisRect()->setRangeZoom(Qt::Horizontal);
    spectrum_->xAxis->setLabel(T("Частота, Гц", "Frequency (Hz)"));
    spectrum_->yAxis->setLabel(T("Амплитуда", "Amplitude"));
    spectrum_->yAxis->setNumberFormat(QStringLiteral("g"));
    log_scale_ = new QCheckBox(T("Логарифмическая шкала", "Log scale"), body);
    log_scale_->setObjectName(QStringLiteral("spectrumLog"));
    test_name_ = new QLineEdit(body);
    test_name_->setObjectName(QStringLiteral("testName"));

    auto* choices = new QFormLayout;
    choices->addRow(T("Канал", "Channel"), channel_);
    choices->addRow(T("Анализ", "Analysis"), kind_);
    choices->addRow(T("Зона установления", "Settling band"), band_);
    choices->addRow(QString(), at_a_);
    auto* report = new QFormLayout;
    report->addRow(T("Название испытания", "Test name"), test_name_);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addLayout(choices);
    layout->addWidget(window_label_);
    layout->addWidget(status_);
    layout->addWidget(table_, 1);
    layout->addWidget(spectrum_, 1);
    layout->addWidget(log_scale_);
    layout->addLayout(report);
    // Wide enough for a quantity and its value side by side.
    body->setMinimumWidth(340);
    setWidget(body);
    spectrum_->hide();
    log_scale_->hide();

    connect(timer_, &QTimer::timeout, this, &AnalysisDock::Compute);
    connect(analysis_, &AnalysisSession::finished, this, &AnalysisDock::OnFinished);
    connect(plot_, &ViewerPlot::cursorsChanged, this, &AnalysisDock::Schedule);
    connect(plot_, &ViewerPlot::viewChanged, this, [this] {
        if (WindowIsView() || (at_a_->isChecked() && at_a_->isEnabled())) Schedule();
    });
    connect(channel_, &QComboBox::currentIndexChanged, this, &AnalysisDock::Schedule);
    connect(kind_, &QComboBox::currentIndexChanged, this, [this](int k) {
        bool spectrum = k == int(AnalysisKind::Spectrum);
        band_->setEnabled(k == int(AnalysisKind::Step));
        at_a_->setEnabled(k == int(AnalysisKind::Step));
        spectrum_->setVisible(spectrum);
        log_scale_->setVisible(spectrum);
        Schedule();
    });
    connect(band_, &QDoubleSpinBox::valueChanged, this, &AnalysisDock::Schedule);
    connect(at_a_, &QCheckBox::toggled, this, &AnalysisDock::Schedule);
    connect(log_scale_, &QCheckBox::toggled, this, &AnalysisDock::ShowSpectrum);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown) {
            Schedule();
            return;
        }
        // Hidden: nothing computed and nothing left on the plot.
        timer_->stop();
        analysis_->Cancel();
        asked_ = Key();
        window_label_->clear();
        status_->clear();
        ClearResult();
    });
}

AnalysisDock::~AnalysisDock() {
    // The window's plot may already be gone: nothing may reach it from here on.
    disconnect(this, &QDockWidget::visibilityChanged, this, nullptr);
}

QString AnalysisDock::KindName(AnalysisKind kind) {
    switch (kind) {
        case AnalysisKind::Step: return T("Переходная характеристика", "Step response");
        case AnalysisKind::Oscillation: return T("Колебательные моды", "Oscillation modes");
        case AnalysisKind::Spectrum: break;
    }
    return T("Спектр", "Spectrum");
}

const char* AnalysisDock::KindFileWord(AnalysisKind kind) {
    switch (kind) {
        case AnalysisKind::Step: return "step";
        case AnalysisKind::Oscillation: return "oscillation";
        case AnalysisKind::Spectrum: break;
    }
    return "spectrum";
}

QString AnalysisDock::test_name() const {
    return test_name_->text().trimmed();
}

QString AnalysisDock::channel_name(int channel) const {
    return channel >= 0 && channel < channel_->count() ? channel_->itemText(channel) : QString();
}

void AnalysisDock::RecordingChanged() {
    timer_->stop();
    analysis_->Cancel();
    asked_ = Key();
    QString chosen = channel_->currentText();
    {
        QSignalBlocker block(channel_);
        QStringList names;
        if (session_->has_data())
            for (const std::string& name : session_->data().info().names) names << Q(name);
        channel_->clear();
        channel_->addItems(names);  // at once: a recording may have thousands
        // A reload keeps the channel by its name.
        channel_->setCurrentIndex(std::max(0, channel_->findText(chosen)));
    }
    window_label_->clear();
    status_->clear();
    ClearResult();
    Schedule();
}

bool AnalysisDock::WindowIsView() const {
    return plot_->cursor(ViewerPlot::kCursorA) < 0 || plot_->cursor(ViewerPlot::kCursorB) < 0;
}

void AnalysisDock::Schedule() {
    // Restarted by every change: a cursor dragged or a view scrolled is computed once it
    // rests.
    if (isVisible() && session_->has_data()) timer_->start();
}

void AnalysisDock::Compute() {
    if (!isVisible() || !session_->has_data()) return;
    const RecordingData& data = session_->data();
    const int channel = channel_->currentIndex();
    if (channel < 0 || channel >= data.channels()) return;
    const size_t rows = data.rows();
    size_t begin = 0, end = 0;
    bool view = WindowIsView();
    if (!view) {
        long a = plot_->cursor(ViewerPlot::kCursorA), b = plot_->cursor(ViewerPlot::kCursorB);
        begin = size_t(std::min(a, b));
        end = std::min(rows, size_t(std::max(a, b)) + 1);
    } else if (rows) {
        // The rows whose time lies in the view.
        QCPRange v = plot_->view();
        double step = data.step() > 0 ? data.step() : 1.0;
        double first = std::ceil(v.lower / step - 1e-9), last = std::floor(v.upper / step + 1e-9);
        begin = size_t(std::clamp(first, 0.0, double(rows)));
        end = size_t(std::clamp(last + 1, 0.0, double(rows)));
        end = std::max(begin, end);
    }
    const AnalysisKind kind = AnalysisKind(kind_->currentIndex());
    // The step at cursor A: the window runs from the view's left edge (the level before
    // the step) to cursor B.
    const bool at_a = kind == AnalysisKind::Step && at_a_->isChecked() && !view;
    const long cursor_a = plot_->cursor(ViewerPlot::kCursorA);
    if (at_a) {
        const double left = std::ceil(plot_->view().lower / data.step() - 1e-9);
        begin = std::min(size_t(std::clamp(left, 0.0, double(rows))), begin);
    }
    Key key{int(kind), channel, begin, end, kind == AnalysisKind::Step ? band_->value() : 0.0,
            view,      at_a};
    if (key == asked_) return;
    asked_ = key;

    QString where =
        view   ? T("Окно (видимая область): ", "Window (the view): ")
        : at_a ? T("Окно (от края вида до B, скачок в A): ", "Window (view edge to B, step at A): ")
               : T("Окно (курсоры A–B): ", "Window (cursors A–B): ");
    double last = end > begin ? data.time(end - 1) : data.time(begin);
    window_label_->setText(where + AnalysisWindowText(data.time(begin), last, end - begin));
    AnalysisRequest request;
    request.kind = kind;
    request.channel = channel;
    request.step = data.step();
    request.start = data.time(begin);
    request.band_pct = band_->value();
    if (at_a) request.at = data.time(size_t(cursor_a));
    request.max_items = kind == AnalysisKind::Oscillation ? 4 : 5;
    try {
        request.values.assign(data.column(channel) + begin, data.column(channel) + end);
    } catch (const std::exception&) {
        status_->setText(Q(NoMemoryToAnalyseText()));
        return;
    }
    analysis_->Run(std::move(request));
}

void AnalysisDock::ClearResult() {
    bool had = result_.has_value();
    result_.reset();
    rows_.clear();
    table_->setRowCount(0);
    plot_->ClearAnalysisMarks();
    ShowSpectrum();
    if (had) emit resultChanged();
}

void AnalysisDock::OnFinished(const AnalysisResult& result) {
    if (!isVisible()) return;
    rows_.clear();
    try {
        result_ = result;
        if (result.step) rows_ = StepRows(*result.step);
        if (result.oscillation) rows_ = OscillationRows(*result.oscillation);
        if (result.spectrum) rows_ = SpectrumRows(*result.spectrum);
    } catch (const std::exception&) {
        status_->setText(Q(NoMemoryToAnalyseText()));
        ClearResult();
        return;
    }
    status_->setText(Q(result.error));
    table_->setRowCount(int(rows_.size()));
    for (size_t i = 0; i < rows_.size(); ++i) {
        table_->setItem(int(i), 0, new QTableWidgetItem(Q(rows_[i].label)));
        table_->setItem(int(i), 1, new QTableWidgetItem(Q(rows_[i].value)));
    }
    // The quantities as wide as they need, but never so wide that no room is left for
    // their values; what is longer wraps.
    table_->resizeColumnToContents(0);
    table_->setColumnWidth(0, std::min(table_->columnWidth(0), table_->viewport()->width() / 2));
    table_->resizeRowsToContents();

    AnalysisMarks marks;
    if (result.step) {
        const StepResult& s = *result.step;
        marks.channel = result.channel;
        marks.lines = {{s.t0, QStringLiteral("t0")},
                       {s.t10, QStringLiteral("10 %")},
                       {s.t50, QStringLiteral("50 %")},
                       {s.t90, QStringLiteral("90 %")}};
        // Settling and the peak are read from t0.
        if (s.settling_time) marks.lines.push_back({s.t0 + *s.settling_time, T("tп", "ts")});
        double half = s.band_pct / 100.0 * std::fabs(s.step);
        marks.levels = {s.final_value - half, s.final_value + half};
        marks.has_point = true;
        marks.point_x = s.t0 + s.peak_time;
        marks.point_y = s.peak;
        if (s.overshoot_pct > 0) marks.point_label = Q(StrPrintf("%.1f %%", s.overshoot_pct));
    } else if (result.oscillation) {
        marks.channel = result.channel;
        marks.curve_x = QVector<double>(result.fit_x.begin(), result.fit_x.end());
        marks.curve_y = QVector<double>(result.fit_y.begin(), result.fit_y.end());
    }
    plot_->SetAnalysisMarks(marks);
    ShowSpectrum();
    emit resultChanged();
}

void AnalysisDock::ShowSpectrum() {
    spectrum_->clearGraphs();
    spectrum_->clearItems();
    const SpectrumResult* s = result_ && result_->spectrum ? &*result_->spectrum : nullptr;
    const bool log = log_scale_->isChecked();
    spectrum_->yAxis->setScaleType(log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (log)
        spectrum_->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else
        spectrum_->yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    if (!s || s->amplitude.empty()) {
        spectrum_->replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    double top = *std::max_element(s->amplitude.begin(), s->amplitude.end());
    if (!(top > 0)) top = 1;
    // A logarithmic axis has no place for 0: what lies six decades below the largest line
    // is drawn at its floor.
    const double floor = top * 1e-6;
    QVector<double> x, y;
    try {
        x.reserve(qsizetype(s->amplitude.size()));
        y.reserve(qsizetype(s->amplitude.size()));
        for (size_t k = 0; k < s->amplitude.size(); ++k) {
            x.append(double(k) * s->resolution_hz);
            y.append(log ? std::max(s->amplitude[k], floor) : s->amplitude[k]);
        }
    } catch (const std::exception&) {
        return;
    }
    QCPGraph* graph = spectrum_->addGraph();
    graph->setData(x, y, true);
    graph->setPen(QPen(QColor(31, 119, 180), 1));
    for (const SpectrumPeak& p : s->peaks) {
        auto* label = new QCPItemText(spectrum_);
        label->setObjectName(QStringLiteral("spectrumPeak"));
        label->position->setCoords(p.frequency_hz,
                                   log ? std::max(p.amplitude, floor) : p.amplitude);
        label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        label->setText(Q(StrPrintf(Tr("%.4g Гц", "%.4g Hz"), p.frequency_hz)));
        label->setColor(QColor(0, 120, 60));
        label->setClipToAxisRect(false);
    }
    // The frequencies that matter: up to four times the highest peak shown (the wheel and
    // a drag reach the rest), else the whole range.
    double right = x.last();
    double highest = 0;
    for (const SpectrumPeak& p : s->peaks) highest = std::max(highest, p.frequency_hz);
    if (highest > 0) right = std::min(right, std::max(4 * highest, 20 * s->resolution_hz));
    spectrum_->xAxis->setRange(0, std::max(right, s->resolution_hz));
    if (log)
        spectrum_->yAxis->setRange(floor, top * 10);
    else
        spectrum_->yAxis->setRange(0, top * 1.3);
    spectrum_->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace korvex::gui
