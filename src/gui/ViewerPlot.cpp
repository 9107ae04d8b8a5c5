// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ViewerPlot.h"

#include <QFontMetrics>
#include <QRubberBand>
#include <algorithm>
#include <cmath>
#include <set>

#include "app/Language.h"
#include "app/StrPrintf.h"
#include "gui/EnvelopeGraph.h"
#include "gui/ViewerSession.h"

namespace korvex::gui {

namespace {

const QColor kCursorColour[2] = {QColor(200, 30, 30), QColor(30, 60, 200)};
const char* const kCursorName[2] = {"A", "B"};
// A wheel turn or key press this soon after the last one continues the same zoom: one
// step back undoes the whole gesture.
constexpr int kGestureGapMs = 600;
constexpr int kClickSlop = 3;   // pixels a click may move and stay a click
constexpr int kCursorGrab = 4;  // pixels from a cursor line that pick it up
constexpr int kLegendGap = 6;   // pixels between a pane and its legend

// The last line of a legend that names only the first channels of its pane: how many more
// the pane holds.
class MoreItem : public QCPAbstractLegendItem {
public:
    MoreItem(QCPLegend* legend, const QString& text) : QCPAbstractLegendItem(legend), text_(text) {
        setSelectable(false);
    }

    QSize minimumOuterSizeHint() const override {
        QSize text = QFontMetrics(mFont).size(Qt::TextSingleLine, text_);
        return QSize(text.width() + mMargins.left() + mMargins.right(),
                     std::max(text.height(), mParentLegend->iconSize().height()) + mMargins.top() +
                         mMargins.bottom());
    }

protected:
    void draw(QCPPainter* painter) override {
        painter->setFont(mFont);
        painter->setPen(QPen(mTextColor));
        painter->drawText(mRect, int(Qt::AlignLeft | Qt::AlignVCenter), text_);
    }

private:
    QString text_;
};

}  // namespace

const std::vector<QColor>& ViewerPlot::Palette() {
    // Dark and middle tones: against white the lightest, the sea green, still gives 3.4:1
    // (WCAG 2 contrast), and the light tones that vanish on white (yellow, cyan, light
    // orange, pink) are left out.
    static const std::vector<QColor> palette = {
        QColor(31, 119, 180),  QColor(214, 39, 40),  QColor(44, 140, 44),  QColor(217, 95, 2),
        QColor(148, 103, 189), QColor(140, 86, 75),  QColor(231, 41, 138), QColor(102, 102, 102),
        QColor(128, 128, 0),   QColor(0, 128, 128),  QColor(0, 0, 128),    QColor(128, 0, 0),
        QColor(0, 0, 0),       QColor(166, 118, 29), QColor(27, 158, 119), QColor(190, 0, 190),
        QColor(85, 107, 47)};
    return palette;
}

ViewerPlot::ViewerPlot(QWidget* parent) : QCustomPlot(parent) {
    setLocale(QLocale::c());
    setNotAntialiasedElements(QCP::aeAll);
    setPlottingHint(QCP::phCacheLabels, true);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setInteractions(QCP::Interactions());
    setAutoAddPlottableToLegend(false);  // each pane has a legend of its own
    setBackground(QBrush(Background()));
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    BuildPanes();
}

ViewerPlot::~ViewerPlot() = default;

void ViewerPlot::SetRecording(const ViewerSession* session, const std::vector<int>& panes,
                              const std::vector<QColor>& colours) {
    session_ = session && session->has_data() ? session : nullptr;
    files_.clear();
    if (session_) files_.push_back({session_, 0.0, 0});
    names_.clear();
    pane_of_ = panes;
    colours_ = colours;
    size_t n = session_ ? size_t(session_->data().channels()) : 0;
    pane_of_.resize(n, 0);
    colours_.resize(n, Qt::black);
    visible_.assign(n, true);
    cursor_[0] = cursor_[1] = -1;
    back_.clear();
    forward_.clear();
    analysis_marks_ = AnalysisMarks();
    BuildPanes();
    view_ = Clamped(QCPRange(0, session_ ? session_->data().duration() : 1.0));
    ApplyView();
    emit historyChanged();
    emit cursorsChanged();
}

void ViewerPlot::SetPanes(const std::vector<int>& panes) {
    pane_of_ = panes;
    pane_of_.resize(visible_.size(), 0);
    Rebuild();
}

void ViewerPlot::Rebuild() {
    std::vector<bool> auto_y;
    for (const Pane& p : panes_) auto_y.push_back(p.auto_y);
    BuildPanes();
    for (size_t p = 0; p < panes_.size() && p < auto_y.size(); ++p) panes_[p].auto_y = auto_y[p];
    DrawAnalysisMarks();     // in the channel's new pane
    view_ = Clamped(view_);  // the recordings' span may have changed
    ApplyView();
}

int ViewerPlot::AddRecording(const ViewerSession* session, double offset,
                             const std::vector<int>& panes, const std::vector<QColor>& colours,
                             const std::vector<QString>& names) {
    if (!session_ || !session || !session->has_data()) return -1;
    const size_t first = visible_.size(), n = size_t(session->data().channels());
    files_.push_back({session, offset, int(first)});
    names_.resize(first);
    for (size_t c = 0; c < n; ++c) {
        pane_of_.push_back(c < panes.size() ? panes[c] : 0);
        colours_.push_back(c < colours.size() ? colours[c] : QColor(Qt::black));
        visible_.push_back(true);
        names_.push_back(c < names.size() ? names[c] : QString());
    }
    Rebuild();
    return int(files_.size()) - 1;
}

void ViewerPlot::RemoveRecording(int file) {
    if (file < 1 || size_t(file) >= files_.size()) return;
    const auto first = ptrdiff_t(files_[size_t(file)].first);
    const auto last = std::min(first + files_[size_t(file)].session->data().channels(),
                               ptrdiff_t(visible_.size()));
    pane_of_.erase(pane_of_.begin() + first, pane_of_.begin() + last);
    colours_.erase(colours_.begin() + first, colours_.begin() + last);
    visible_.erase(visible_.begin() + first, visible_.begin() + last);
    if (names_.size() > size_t(first))
        names_.erase(names_.begin() + first,
                     names_.begin() + std::min(last, ptrdiff_t(names_.size())));
    for (size_t f = size_t(file) + 1; f < files_.size(); ++f) files_[f].first -= int(last - first);
    files_.erase(files_.begin() + file);
    Rebuild();
}

int ViewerPlot::FirstChannel(int file) const {
    return file >= 0 && size_t(file) < files_.size() ? files_[size_t(file)].first : -1;
}

int ViewerPlot::FileOf(int channel) const {
    if (channel < 0 || size_t(channel) >= visible_.size()) return -1;
    int file = 0;
    while (size_t(file) + 1 < files_.size() && files_[size_t(file) + 1].first <= channel) ++file;
    return file;
}

double ViewerPlot::offset(int file) const {
    return file >= 0 && size_t(file) < files_.size() ? files_[size_t(file)].offset : 0.0;
}

void ViewerPlot::SetOffset(int file, double seconds) {
    if (file < 1 || size_t(file) >= files_.size() || !std::isfinite(seconds)) return;
    files_[size_t(file)].offset = seconds;
    for (EnvelopeGraph* g : graphs_)
        if (FileOf(g->channel()) == file) g->SetOffset(seconds);
    view_ = Clamped(view_);
    ApplyView();
}

void ViewerPlot::SetNames(const std::vector<QString>& names) {
    names_ = names;
    for (EnvelopeGraph* g : graphs_) {
        const size_t c = size_t(g->channel());
        if (c < names_.size() && !names_[c].isEmpty()) g->setName(names_[c]);
    }
    FillLegends();
    replot(QCustomPlot::rpQueuedReplot);
}

QCPRange ViewerPlot::Span() const {
    if (!session_) return QCPRange(0, 1);
    double lower = 0, upper = session_->data().duration();
    for (size_t f = 1; f < files_.size(); ++f) {
        lower = std::min(lower, files_[f].offset);
        upper = std::max(upper, files_[f].offset + files_[f].session->data().duration());
    }
    return QCPRange(lower, upper);
}

void ViewerPlot::SetChannelVisible(int channel, bool visible) {
    if (channel < 0 || size_t(channel) >= visible_.size()) return;
    std::vector<bool> all = visible_;
    all[size_t(channel)] = visible;
    SetChannelsVisible(all);
}

void ViewerPlot::SetChannelsVisible(const std::vector<bool>& visible) {
    for (size_t c = 0; c < visible_.size() && c < visible.size(); ++c) visible_[c] = visible[c];
    for (EnvelopeGraph* g : graphs_) g->setVisible(visible_[size_t(g->channel())]);
    // Once for all channels: the value ranges are fitted over every shown graph.
    FillLegends();
    ApplyView();
}

void ViewerPlot::FillLegends() {
    for (size_t p = 0; p < panes_.size(); ++p) FillLegend(p);
}

void ViewerPlot::FillLegend(size_t p) {
    // A legend lays out anew the entries left after each one it removes, which for
    // thousands of entries took minutes on closing; kept short, it empties at once, here
    // and when the plot goes.
    Pane& pane = panes_[p];
    QCPLegend* legend = pane.legend;
    legend->clearItems();
    std::vector<EnvelopeGraph*> shown;
    for (EnvelopeGraph* g : graphs_) {
        size_t c = size_t(g->channel());
        if (visible_[c] && pane_of_[c] == int(p)) shown.push_back(g);
    }
    const int channels = int(shown.size());
    bool marks = seq_marks_ && p + 1 == panes_.size();
    int named = std::min(channels, kLegendChannels);
    if (named + (channels > named ? 1 : 0) + (marks ? 1 : 0) > pane.legend_lines) {
        // More than the pane's height holds: the last line counts the channels left out.
        marks = marks && pane.legend_lines >= 2;
        named = std::clamp(pane.legend_lines - 1 - (marks ? 1 : 0), 0, named);
    }
    for (int i = 0; i < named; ++i)
        legend->addItem(new QCPPlottableLegendItem(legend, shown[size_t(i)]));
    if (channels > named && pane.legend_lines > 0)
        legend->addItem(new MoreItem(
            legend,
            QString::fromUtf8(
                StrPrintf(Tr("\xe2\x80\xa6 и ещё %d", "\xe2\x80\xa6 and %d more"), channels - named)
                    .c_str())));
    if (marks) legend->addItem(new QCPPlottableLegendItem(legend, seq_marks_));
    legend->setVisible(legends_ && legend->itemCount() > 0);
}

bool ViewerPlot::FitLegends() {
    bool changed = false;
    int width = 0;
    for (size_t p = 0; p < panes_.size(); ++p) {
        Pane& pane = panes_[p];
        QCPLegend* legend = pane.legend;
        const int height = pane.rect->rect().height();
        if (height != pane.legend_height) {
            // The lines the pane's height holds, guessed from the font; the legend's own
            // size below has the last word.
            pane.legend_height = height;
            const QMargins m = legend->margins();
            const int line =
                std::max(QFontMetrics(legend->font()).height(), legend->iconSize().height()) +
                legend->rowSpacing();
            pane.legend_lines =
                std::max(0, (height - m.top() - m.bottom() + legend->rowSpacing()) / line);
            FillLegend(p);
            changed = true;
        }
        while (legend->itemCount() > 0 && legend->minimumOuterSizeHint().height() > height) {
            pane.legend_lines = std::min(pane.legend_lines, legend->itemCount()) - 1;
            FillLegend(p);
            changed = true;
        }
        legend->setVisible(legends_ && legend->itemCount() > 0);
        if (legend->visible()) width = std::max(width, legend->minimumOuterSizeHint().width());
    }
    // One column for the legends, as wide as the widest but at most a third of the plot (a
    // longer name is cut), none while they are hidden; each legend level with its pane's top.
    width = std::min(width, viewport().width() / 3);
    // The gap on both sides: the legend's frame is not cut by the plot's edge.
    const int gap = width > 0 ? kLegendGap : 0;
    const int column = width > 0 ? width + 2 * gap : 0;
    for (Pane& pane : panes_) {
        const QMargins margins(gap, pane.rect->rect().top() - pane.rect->outerRect().top(), gap, 0);
        QCPLayoutInset* box = pane.legend_box;
        if (box->margins() == margins && box->minimumSize().width() == column) continue;
        box->setMargins(margins);
        box->setMinimumSize(column, 0);
        box->setMaximumSize(column, QWIDGETSIZE_MAX);
        changed = true;
    }
    return changed;
}

void ViewerPlot::updateLayout() {
    QCustomPlot::updateLayout();
    // Once more when the legends changed: their column's width changes the panes'.
    if (FitLegends()) QCustomPlot::updateLayout();
}

bool ViewerPlot::ChannelVisible(int channel) const {
    return channel >= 0 && size_t(channel) < visible_.size() && visible_[size_t(channel)];
}

void ViewerPlot::BuildPanes() {
    clearPlottables();
    clearItems();
    graphs_.clear();
    seq_marks_ = nullptr;
    analysis_items_.clear();  // deleted with the others
    analysis_curve_ = nullptr;
    cursor_label_[0] = cursor_label_[1] = nullptr;
    plotLayout()->clear();              // deletes the axis rects and the legends
    plotLayout()->setColumnSpacing(0);  // the legends' column keeps its own gap
    panes_.clear();
    delete margins_;
    margins_ = new QCPMarginGroup(this);

    // Panes are numbered in order of use: a pane left without channels goes.
    std::set<int> used(pane_of_.begin(), pane_of_.end());
    std::vector<int> renumber(size_t(used.empty() ? 1 : *used.rbegin() + 1), 0);
    int n = 0;
    for (int p : used) renumber[size_t(p)] = n++;
    for (int& p : pane_of_) p = renumber[size_t(p)];
    panes_.resize(size_t(std::max(n, 1)));

    for (size_t p = 0; p < panes_.size(); ++p) {
        auto* rect = new QCPAxisRect(this);
        plotLayout()->addElement(int(p), 0, rect);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins_);
        rect->setRangeDrag(Qt::Orientations());
        rect->setRangeZoom(Qt::Orientations());
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        bool last = p + 1 == panes_.size();
        x->setTickLabels(last);
        if (last) x->setLabel(QString::fromUtf8(Tr("Время, с", "Time (s)")));
        rect->axis(QCPAxis::atLeft)->setNumberFormat(QStringLiteral("g"));
        // The legend in a cell of its own right of the pane, at its natural size at the
        // cell's top; FitLegends sizes the cells.
        auto* box = new QCPLayoutInset;
        plotLayout()->addElement(int(p), 1, box);
        box->setAutoMargins(QCP::msNone);
        box->setSizeConstraintRect(QCPLayoutElement::scrOuterRect);
        box->setMaximumSize(0, QWIDGETSIZE_MAX);
        auto* legend = new QCPLegend;
        box->addElement(legend, Qt::AlignLeft | Qt::AlignTop);
        legend->setLayer(QStringLiteral("legend"));
        legend->setVisible(false);  // until it has entries (FillLegends)
        legend->setBrush(QColor(255, 255, 255, 220));
        QFont f = font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        legend->setFont(f);
        panes_[p].rect = rect;
        panes_[p].legend_box = box;
        panes_[p].legend = legend;
        for (int k = 0; k < 2; ++k) {
            auto* line = new QCPItemStraightLine(this);
            line->setClipAxisRect(rect);
            line->point1->setAxes(x, rect->axis(QCPAxis::atLeft));
            line->point2->setAxes(x, rect->axis(QCPAxis::atLeft));
            line->setPen(QPen(kCursorColour[k], 1, Qt::DashLine));
            line->setVisible(false);
            panes_[p].cursor_line[k] = line;
        }
    }
    QCPAxisRect* top = panes_.front().rect;
    for (int k = 0; k < 2; ++k) {
        auto* label = new QCPItemText(this);
        label->setClipAxisRect(top);
        label->position->setAxes(top->axis(QCPAxis::atBottom), top->axis(QCPAxis::atLeft));
        label->position->setAxisRect(top);
        label->position->setTypeX(QCPItemPosition::ptPlotCoords);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(QString::fromLatin1(kCursorName[k]));
        label->setColor(kCursorColour[k]);
        QFont f = font();
        f.setBold(true);
        label->setFont(f);
        label->setPadding(QMargins(3, 1, 3, 1));
        label->setVisible(false);
        cursor_label_[k] = label;
    }

    if (!session_) return;
    const RecordingData& data = session_->data();
    for (const File& file : files_) {
        const RecordingData& d = file.session->data();
        for (int c = 0; c < d.channels(); ++c) {
            const size_t channel = size_t(file.first + c);
            if (channel >= pane_of_.size()) break;
            Pane& pane = panes_[size_t(pane_of_[channel])];
            auto* g = new EnvelopeGraph(pane.rect->axis(QCPAxis::atBottom),
                                        pane.rect->axis(QCPAxis::atLeft), &d,
                                        &file.session->envelope(c), c, int(channel));
            g->SetOffset(file.offset);
            g->setPen(QPen(colours_[channel], 1));
            g->setName(channel < names_.size() && !names_[channel].isEmpty()
                           ? names_[channel]
                           : QString::fromStdString(d.info().names[size_t(c)]));
            g->setVisible(visible_[channel]);
            graphs_.push_back(g);
        }
    }
    // Sequence errors: red marks along the time axis of the lowest pane.
    if (!data.seq_errors().empty()) {
        QCPAxisRect* bottom = panes_.back().rect;
        QCPAxis* marks_axis = bottom->axis(QCPAxis::atRight);
        marks_axis->setRange(0, 1);
        seq_marks_ = addGraph(bottom->axis(QCPAxis::atBottom), marks_axis);
        QVector<double> keys, values;
        for (size_t row : data.seq_errors()) {
            keys.append(data.time(row));
            values.append(0.03);
        }
        seq_marks_->setData(keys, values, true);
        seq_marks_->setLineStyle(QCPGraph::lsNone);
        seq_marks_->setScatterStyle(
            QCPScatterStyle(QCPScatterStyle::ssTriangle, QColor(220, 0, 0), QColor(220, 0, 0), 7));
        seq_marks_->setName(QString::fromUtf8(Tr("Ошибки посл.", "Seq. errors")) +
                            StrPrintf(" (%zu)", data.seq_errors().size()).c_str());
    }
    FillLegends();
}

int ViewerPlot::PaneAt(const QPoint& pos) const {
    for (size_t p = 0; p < panes_.size(); ++p)
        if (panes_[p].rect->rect().contains(pos)) return int(p);
    return -1;
}

QCPRange ViewerPlot::Clamped(QCPRange r) const {
    // Within the span of all recordings; a single one spans 0 to its duration.
    double step = session_ ? session_->data().step() : 1.0;
    const QCPRange span = Span();
    const double begin = span.lower;
    double total = session_ ? std::max(span.upper - begin, step) : 1.0;
    double min_size = std::min(4 * step, total);
    double size = std::clamp(r.size(), min_size, total);
    // A range that fits is kept to the bit (A..B is the cursors' times exactly).
    if (size == r.size() && r.lower >= begin && r.upper <= begin + total) return r;
    double centre = std::isfinite(r.center()) ? r.center() : begin + total / 2;
    double lower = std::clamp(centre - size / 2, begin, begin + total - size);
    return QCPRange(lower, lower + size);
}

ViewerPlot::ViewState ViewerPlot::State() const {
    ViewState state{view_, {}};
    for (const Pane& p : panes_)
        state.panes.push_back({p.auto_y, p.rect->axis(QCPAxis::atLeft)->range()});
    return state;
}

void ViewerPlot::Restore(const ViewState& state) {
    view_ = Clamped(state.time);
    // Panes added or merged since keep their own.
    for (size_t p = 0; p < panes_.size() && p < state.panes.size(); ++p) {
        panes_[p].auto_y = state.panes[p].auto_y;
        panes_[p].rect->axis(QCPAxis::atLeft)->setRange(state.panes[p].range);
    }
    ApplyView();
}

void ViewerPlot::Remember() {
    back_.push_back(State());
    if (back_.size() > 200) back_.erase(back_.begin());
    forward_.clear();
    emit historyChanged();
}

void ViewerPlot::SetView(QCPRange range, bool remember) {
    range = Clamped(range);
    if (range == view_) return;
    if (remember) Remember();
    view_ = range;
    ApplyView();
}

bool ViewerPlot::DataGrew(size_t old_rows) {
    if (!session_) return false;
    const RecordingData& data = session_->data();
    // The end of all recordings before the rows came, the others' ends included.
    double old_end = old_rows ? data.time(old_rows - 1) : 0.0;
    for (size_t f = 1; f < files_.size(); ++f)
        old_end = std::max(old_end, files_[f].offset + files_[f].session->data().duration());
    // Within half a row of the old end: the user watches the end.
    if (view_.upper >= old_end - data.step() / 2) {
        // A view of the whole span stays so; a narrower one keeps its width.
        const QCPRange span = Span();
        const double end = span.upper;
        const double width = view_.lower <= span.lower ? span.size() : view_.size();
        view_ = Clamped(QCPRange(std::max(span.lower, end - width), end));
        ApplyView();
        return true;
    }
    FitY(view_);
    replot(QCustomPlot::rpQueuedReplot);
    return false;
}

void ViewerPlot::FitAll() {
    const QCPRange all = Clamped(Span());
    bool auto_y = true;
    for (const Pane& p : panes_) auto_y = auto_y && p.auto_y;
    if (all == view_ && auto_y) return;
    Remember();  // with the value ranges before they are fitted
    for (Pane& p : panes_) p.auto_y = true;
    view_ = all;
    ApplyView();
}

bool ViewerPlot::ZoomToCursors() {
    if (!session_ || cursor_[kCursorA] < 0 || cursor_[kCursorB] < 0) return false;
    const RecordingData& data = session_->data();
    double a = data.time(size_t(cursor_[kCursorA])), b = data.time(size_t(cursor_[kCursorB]));
    SetView(QCPRange(std::min(a, b), std::max(a, b)));
    return true;
}

void ViewerPlot::ZoomAround(double factor, double centre, bool remember) {
    QCPRange r = view_;
    SetView(QCPRange(centre - (centre - r.lower) * factor, centre + (r.upper - centre) * factor),
            remember);
}

void ViewerPlot::PanBy(double fraction, bool remember) {
    double d = view_.size() * fraction;
    SetView(QCPRange(view_.lower + d, view_.upper + d), remember);
}

bool ViewerPlot::Back() {
    if (back_.empty()) return false;
    forward_.push_back(State());
    ViewState state = std::move(back_.back());
    back_.pop_back();
    Restore(state);
    emit historyChanged();
    return true;
}

bool ViewerPlot::Forward() {
    if (forward_.empty()) return false;
    back_.push_back(State());
    ViewState state = std::move(forward_.back());
    forward_.pop_back();
    Restore(state);
    emit historyChanged();
    return true;
}

void ViewerPlot::SetAutoY(int pane, bool on) {
    if (pane < 0 || size_t(pane) >= panes_.size()) return;
    panes_[size_t(pane)].auto_y = on;
    ApplyView();
}

bool ViewerPlot::AutoY(int pane) const {
    return pane >= 0 && size_t(pane) < panes_.size() && panes_[size_t(pane)].auto_y;
}

void ViewerPlot::SetAllAutoY(bool on) {
    for (Pane& p : panes_) p.auto_y = on;
    ApplyView();
}

void ViewerPlot::ApplyView() {
    for (Pane& p : panes_) p.rect->axis(QCPAxis::atBottom)->setRange(view_);
    FitY(view_);
    PlaceCursorItems();
    emit viewChanged(view_);
    replot(QCustomPlot::rpQueuedReplot);
}

void ViewerPlot::FitY(const QCPRange& keys) {
    for (size_t p = 0; p < panes_.size(); ++p) {
        if (!panes_[p].auto_y) continue;
        double lo = INFINITY, hi = -INFINITY;
        for (EnvelopeGraph* g : graphs_) {
            if (!g->visible() || pane_of_[size_t(g->channel())] != int(p)) continue;
            double a, b;
            if (g->ValueRange(keys, &a, &b)) {
                lo = std::min(lo, a);
                hi = std::max(hi, b);
            }
        }
        if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) continue;
        double pad = hi > lo ? (hi - lo) * 0.05 : (lo != 0 ? std::fabs(lo) * 0.05 : 1.0);
        panes_[p].rect->axis(QCPAxis::atLeft)->setRange(lo - pad, hi + pad);
    }
}

void ViewerPlot::PlaceCursorItems() {
    if (!session_) return;
    const RecordingData& data = session_->data();
    for (int k = 0; k < 2; ++k) {
        bool on = cursor_[k] >= 0;
        double t = on ? data.time(size_t(cursor_[k])) : 0;
        // The active cursor, the one the keys move, is drawn bolder.
        const QPen pen(kCursorColour[k], k == active_ ? 2 : 1, Qt::DashLine);
        for (Pane& p : panes_) {
            p.cursor_line[k]->setVisible(on);
            p.cursor_line[k]->setPen(pen);
            p.cursor_line[k]->point1->setCoords(t, 0);
            p.cursor_line[k]->point2->setCoords(t, 1);
        }
        cursor_label_[k]->setVisible(on);
        cursor_label_[k]->position->setCoords(t, 0);
    }
}

void ViewerPlot::SetCursor(int which, long row) {
    if (which < 0 || which > 1) return;
    if (row >= 0 && session_ && session_->data().rows())
        row = std::min(row, long(session_->data().rows() - 1));
    else
        row = -1;
    if (cursor_[which] == row) return;
    cursor_[which] = row;
    PlaceCursorItems();
    replot(QCustomPlot::rpQueuedReplot);
    emit cursorsChanged();
}

void ViewerPlot::ClearCursors() {
    SetCursor(kCursorA, -1);
    SetCursor(kCursorB, -1);
}

void ViewerPlot::SetLegendsVisible(bool on) {
    legends_ = on;  // hidden, their column goes and the panes take its width (FitLegends)
    for (Pane& p : panes_) p.legend->setVisible(on && p.legend->itemCount() > 0);
    replot(QCustomPlot::rpQueuedReplot);
}

bool ViewerPlot::SavePicture(const QString& path, QCPRange range, const QString& caption) {
    // Drawn with the range asked for, then put back: neither the view, nor its history, nor
    // whoever follows the view sees the change.
    range = Clamped(range);
    std::vector<QCPRange> values;
    for (Pane& p : panes_) values.push_back(p.rect->axis(QCPAxis::atLeft)->range());
    for (Pane& p : panes_) p.rect->axis(QCPAxis::atBottom)->setRange(range);
    FitY(range);
    const bool legends = legends_;
    legends_ = true;  // a picture names its channels whatever the window shows
    QCPTextElement* text = nullptr;
    if (!caption.isEmpty()) {
        text = new QCPTextElement(this, caption, font());
        plotLayout()->addElement(plotLayout()->rowCount(), 0, text);
        text->setTextFlags(int(Qt::AlignLeft | Qt::AlignVCenter));
    }
    bool ok = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
                  ? savePdf(path, kPictureWidth, kPictureHeight)
                  : savePng(path, kPictureWidth, kPictureHeight);
    if (text) {
        plotLayout()->remove(text);
        plotLayout()->simplify();
    }
    legends_ = legends;
    for (size_t p = 0; p < panes_.size(); ++p) {
        panes_[p].rect->axis(QCPAxis::atBottom)->setRange(view_);
        panes_[p].rect->axis(QCPAxis::atLeft)->setRange(values[p]);
    }
    // Laid out for the plot's own size at once: the mouse finds the panes where they are
    // drawn; the drawing follows.
    updateLayout();
    replot(QCustomPlot::rpQueuedReplot);
    return ok;
}

void ViewerPlot::SetAnalysisMarks(const AnalysisMarks& marks) {
    analysis_marks_ = marks;
    DrawAnalysisMarks();
    replot(QCustomPlot::rpQueuedReplot);
}

void ViewerPlot::DrawAnalysisMarks() {
    for (QCPAbstractItem* item : analysis_items_) removeItem(item);
    analysis_items_.clear();
    if (analysis_curve_) removePlottable(analysis_curve_);
    analysis_curve_ = nullptr;
    const AnalysisMarks& m = analysis_marks_;
    if (m.channel < 0 || size_t(m.channel) >= pane_of_.size()) return;
    QCPAxisRect* rect = panes_[size_t(pane_of_[size_t(m.channel)])].rect;
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    const QColor colour(0, 120, 60);
    auto place = [&](QCPItemPosition* p) {
        p->setAxes(x, y);
        p->setAxisRect(rect);
    };
    for (size_t i = 0; i < m.lines.size(); ++i) {
        auto* line = new QCPItemStraightLine(this);
        line->setObjectName(QStringLiteral("analysisLine"));
        line->setClipAxisRect(rect);
        place(line->point1);
        place(line->point2);
        line->point1->setCoords(m.lines[i].seconds, 0);
        line->point2->setCoords(m.lines[i].seconds, 1);
        line->setPen(QPen(colour, 1, Qt::DotLine));
        analysis_items_.push_back(line);
        auto* label = new QCPItemText(this);
        label->setObjectName(QStringLiteral("analysisLabel"));
        label->setClipAxisRect(rect);
        place(label->position);
        label->position->setTypeX(QCPItemPosition::ptPlotCoords);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        // Staggered down the pane: the 10, 50 and 90 % crossings lie close together, and
        // the cursors' names take the top.
        label->position->setCoords(m.lines[i].seconds, 0.08 + 0.07 * double(i % 3));
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(m.lines[i].label);
        label->setColor(colour);
        label->setBrush(QColor(255, 255, 255, 200));
        label->setPadding(QMargins(2, 0, 2, 0));
        analysis_items_.push_back(label);
    }
    for (double level : m.levels) {
        auto* line = new QCPItemStraightLine(this);
        line->setClipAxisRect(rect);
        place(line->point1);
        place(line->point2);
        line->point1->setCoords(0, level);
        line->point2->setCoords(1, level);
        line->setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        analysis_items_.push_back(line);
    }
    if (m.has_point) {
        auto* tracer = new QCPItemTracer(this);
        tracer->setClipAxisRect(rect);
        place(tracer->position);
        tracer->position->setCoords(m.point_x, m.point_y);
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setSize(9);
        tracer->setPen(QPen(colour, 2));
        analysis_items_.push_back(tracer);
        if (!m.point_label.isEmpty()) {
            auto* label = new QCPItemText(this);
            label->setClipAxisRect(rect);
            place(label->position);
            label->position->setCoords(m.point_x, m.point_y);
            label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
            label->setPadding(QMargins(8, 0, 0, 4));
            label->setText(m.point_label);
            label->setColor(colour);
            analysis_items_.push_back(label);
        }
    }
    if (!m.curve_x.isEmpty()) {
        analysis_curve_ = addGraph(x, y);
        analysis_curve_->setData(m.curve_x, m.curve_y, true);
        analysis_curve_->setPen(QPen(Qt::black, 2, Qt::DashLine));
    }
}

double ViewerPlot::TimeAt(double x) const {
    return panes_.front().rect->axis(QCPAxis::atBottom)->pixelToCoord(x);
}

long ViewerPlot::RowAt(double seconds) const {
    if (!session_ || session_->data().rows() == 0) return -1;
    return long(session_->data().RowAt(seconds));
}

int ViewerPlot::CursorNear(const QPoint& pos) const {
    if (!session_) return -1;
    QCPAxis* x = panes_.front().rect->axis(QCPAxis::atBottom);
    for (int k = 1; k >= 0; --k) {
        if (cursor_[k] < 0) continue;
        double px = x->coordToPixel(session_->data().time(size_t(cursor_[k])));
        if (std::fabs(px - pos.x()) <= kCursorGrab) return k;
    }
    return -1;
}

void ViewerPlot::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton || !session_) return;
    press_at_ = event->pos();
    press_mods_ = event->modifiers();
    press_view_ = view_;
    press_pane_ = PaneAt(event->pos());
    if (press_pane_ < 0) return;
    drag_cursor_ = (press_mods_ & Qt::ControlModifier) || box_mode_ ? -1 : CursorNear(event->pos());
    drag_ = drag_cursor_ >= 0 ? Drag::Cursor : Drag::Pending;
    if (drag_cursor_ >= 0) active_ = drag_cursor_;
}

void ViewerPlot::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->pos();
    emit hovered(PaneAt(pointer_) >= 0 && session_ ? TimeAt(pointer_.x()) : NAN);
    if (drag_ == Drag::None) {
        setCursor(CursorNear(pointer_) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    QPoint moved = event->pos() - press_at_;
    if (drag_ == Drag::Pending && moved.manhattanLength() > kClickSlop) {
        if (box_mode_ || (press_mods_ & Qt::ControlModifier)) {
            drag_ = Drag::Box;
            band_->show();
        } else {
            drag_ = Drag::Pan;
            Remember();
        }
    }
    if (drag_ == Drag::Pan) {
        QCPAxis* x = panes_.front().rect->axis(QCPAxis::atBottom);
        double dt = x->pixelToCoord(press_at_.x()) - x->pixelToCoord(event->pos().x());
        // From the view at the press, so that the pan follows the pointer exactly.
        QCPRange r = Clamped(QCPRange(press_view_.lower + dt, press_view_.upper + dt));
        if (r != view_) {
            view_ = r;
            ApplyView();
        }
    } else if (drag_ == Drag::Box) {
        band_->setGeometry(QRect(press_at_, event->pos()).normalized());
    } else if (drag_ == Drag::Cursor) {
        SetCursor(drag_cursor_, RowAt(TimeAt(event->pos().x())));
    }
}

void ViewerPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    Drag drag = drag_;
    drag_ = Drag::None;
    if (drag == Drag::Pending) {
        // A click: cursor A, or B with Shift.
        int which = (press_mods_ & Qt::ShiftModifier) ? kCursorB : kCursorA;
        clicked_cursor_ = which;
        clicked_cursor_was_ = cursor_[which];
        active_ = which;
        SetCursor(which, RowAt(TimeAt(press_at_.x())));
        PlaceCursorItems();  // drawn as the active one even where it stayed
        replot(QCustomPlot::rpQueuedReplot);
    } else if (drag == Drag::Box) {
        band_->hide();
        QRect box = QRect(press_at_, event->pos()).normalized();
        if (box.width() < 5) return;
        Remember();
        if (box.height() >= 5 && press_pane_ >= 0) {
            Pane& pane = panes_[size_t(press_pane_)];
            QCPAxis* y = pane.rect->axis(QCPAxis::atLeft);
            pane.auto_y = false;
            y->setRange(y->pixelToCoord(box.bottom()), y->pixelToCoord(box.top()));
        }
        SetView(QCPRange(TimeAt(box.left()), TimeAt(box.right())), false);
        replot(QCustomPlot::rpQueuedReplot);
    }
}

void ViewerPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || PaneAt(event->pos()) < 0) return;
    drag_ = Drag::None;
    // The double click fits the view; it does not move a cursor.
    if (clicked_cursor_ >= 0) SetCursor(clicked_cursor_, clicked_cursor_was_);
    clicked_cursor_ = -1;
    FitAll();
}

void ViewerPlot::wheelEvent(QWheelEvent* event) {
    if (!session_) return;
    QPoint pos = event->position().toPoint();
    int pane = PaneAt(pos);
    double notches = event->angleDelta().y() / 120.0;
    double factor = std::pow(0.8, notches);
    if (event->modifiers() & Qt::ControlModifier) {
        if (pane < 0) return;
        QCPAxis* y = panes_[size_t(pane)].rect->axis(QCPAxis::atLeft);
        panes_[size_t(pane)].auto_y = false;
        y->scaleRange(factor, y->pixelToCoord(pos.y()));
        replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    if (!last_wheel_.isValid() || last_wheel_.elapsed() > kGestureGapMs) Remember();
    last_wheel_.start();
    if (event->angleDelta().y() != 0)
        ZoomAround(factor, TimeAt(pos.x()), false);
    else if (event->angleDelta().x() != 0)
        PanBy(-event->angleDelta().x() / 1200.0, false);
    event->accept();
}

void ViewerPlot::KeyGesture() {
    if (!last_wheel_.isValid() || last_wheel_.elapsed() > kGestureGapMs) Remember();
    last_wheel_.start();
}

void ViewerPlot::StepCursor(long rows) {
    const RecordingData& data = session_->data();
    long row = std::clamp(cursor_[active_] + rows, 0L, long(data.rows()) - 1);
    SetCursor(active_, row);
    // The view follows a cursor moved off it, just far enough to show it at its edge.
    double t = data.time(size_t(row));
    double shift = t < view_.lower ? t - view_.lower : t > view_.upper ? t - view_.upper : 0.0;
    if (shift == 0) return;
    KeyGesture();
    SetView(QCPRange(view_.lower + shift, view_.upper + shift), false);
}

bool ViewerPlot::focusNextPrevChild(bool next) {
    return session_ ? false : QCustomPlot::focusNextPrevChild(next);
}

void ViewerPlot::keyPressEvent(QKeyEvent* event) {
    if (!session_) return QCustomPlot::keyPressEvent(event);
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right: {
            // Alt+arrows are Back and Forward, and do nothing here when there is no step.
            if (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) break;
            const int sign = event->key() == Qt::Key_Right ? 1 : -1;
            if (cursor_[active_] < 0) {
                KeyGesture();
                PanBy(0.1 * sign, false);
            } else if (shift) {
                long rows = std::lround(view_.size() * 0.1 / session_->data().step());
                StepCursor(sign * std::max(rows, 1L));
            } else {
                StepCursor(sign);
            }
            break;
        }
        case Qt::Key_PageUp:
            KeyGesture();
            PanBy(-1.0, false);
            break;
        case Qt::Key_PageDown:
            KeyGesture();
            PanBy(1.0, false);
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (event->modifiers() & Qt::ControlModifier) {
                // Ctrl+Tab takes the focus on, as Tab does elsewhere.
                QCustomPlot::focusNextPrevChild(event->key() == Qt::Key_Tab && !shift);
                break;
            }
            active_ = active_ == kCursorA ? kCursorB : kCursorA;
            PlaceCursorItems();
            replot(QCustomPlot::rpQueuedReplot);
            break;
        case Qt::Key_A:
        case Qt::Key_B: {
            double t = PaneAt(pointer_) >= 0 ? TimeAt(pointer_.x()) : view_.center();
            active_ = event->key() == Qt::Key_A ? kCursorA : kCursorB;
            SetCursor(active_, RowAt(t));
            PlaceCursorItems();
            replot(QCustomPlot::rpQueuedReplot);
            break;
        }
        default: QCustomPlot::keyPressEvent(event); return;
    }
    event->accept();
}

void ViewerPlot::leaveEvent(QEvent* event) {
    pointer_ = QPoint(-1, -1);
    emit hovered(NAN);
    QCustomPlot::leaveEvent(event);
}

void ViewerPlot::contextMenuEvent(QContextMenuEvent* event) {
    emit contextMenuRequestedAt(event->globalPos(), PaneAt(event->pos()));
}

}  // namespace korvex::gui
