// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/EnvelopeGraph.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace korvex::gui {

namespace {

// A pixel position kept within what the painter can take, for infinite values.
double Pixel(QCPAxis* axis, double coord) {
    return std::clamp(axis->coordToPixel(coord), -1e6, 1e6);
}

}  // namespace

EnvelopeGraph::EnvelopeGraph(QCPAxis* key_axis, QCPAxis* value_axis, const RecordingData* data,
                             const Envelope* envelope, int column, int channel)
    : QCPAbstractPlottable(key_axis, value_axis),
      data_(data),
      envelope_(envelope),
      column_(column),
      channel_(channel < 0 ? column : channel) {
    setAntialiased(false);
    setSelectable(QCP::stNone);
}

bool EnvelopeGraph::ValueRange(const QCPRange& keys, double* lo, double* hi) const {
    size_t rows = data_->rows();
    if (rows == 0) return false;
    double step = data_->step();
    const double lower = keys.lower - offset_, upper = keys.upper - offset_;
    double first = std::ceil(lower / step - 1e-9), last = std::floor(upper / step + 1e-9);
    first = std::max(first, 0.0);
    last = std::min(last, double(rows - 1));
    if (first > last) {
        // Between two rows: the line joining them is what shows.
        first = std::clamp(std::floor(lower / step), 0.0, double(rows - 1));
        last = std::clamp(std::ceil(upper / step), 0.0, double(rows - 1));
    }
    return envelope_->MinMax(size_t(first), size_t(last) + 1, lo, hi);
}

double EnvelopeGraph::selectTest(const QPointF&, bool, QVariant*) const {
    return -1;
}

QCPRange EnvelopeGraph::getKeyRange(bool& found, QCP::SignDomain) const {
    found = data_->rows() > 0;
    return QCPRange(offset_, offset_ + data_->duration());
}

QCPRange EnvelopeGraph::getValueRange(bool& found, QCP::SignDomain, const QCPRange& keys) const {
    double lo = 0, hi = 0;
    QCPRange all(offset_, offset_ + data_->duration());
    found = ValueRange(keys == QCPRange() ? all : keys, &lo, &hi);
    return QCPRange(lo, hi);
}

void EnvelopeGraph::draw(QCPPainter* painter) {
    QCPAxis* key = keyAxis();
    QCPAxis* value = valueAxis();
    size_t rows = data_->rows();
    if (!key || !value || rows == 0) return;
    const double step = data_->step();
    const double* v = data_->column(column_);
    const QRect area = key->axisRect()->rect();
    const int x0 = area.left(), x1 = area.right() + 1;
    // Rows whose time falls in the visible key range, with one more on each side so that
    // the line runs on to the edges.
    const QCPRange range(key->range().lower - offset_, key->range().upper - offset_);
    double first = std::clamp(std::floor(range.lower / step) - 1, 0.0, double(rows - 1));
    double last = std::clamp(std::ceil(range.upper / step) + 1, 0.0, double(rows - 1));
    const double rows_per_pixel = range.size() / step / std::max(1, area.width());

    QPolygonF line;
    if (rows_per_pixel <= 2.0) {
        line.reserve(int(last - first) + 1);
        for (size_t r = size_t(first); r <= size_t(last); ++r) {
            if (std::isnan(v[r])) continue;
            line.append(QPointF(key->coordToPixel(offset_ + double(r) * step), Pixel(value, v[r])));
        }
    } else {
        // Each pixel column [x, x + 1) covers the rows whose time falls in it and is drawn
        // as one upright run of pixels from its minimum to its maximum, stretched where
        // needed to meet the column before, so the trace has no gaps.
        auto row_at = [&](double px) {
            double r = std::ceil((key->pixelToCoord(px) - offset_) / step - 1e-9);
            return size_t(std::clamp(r, 0.0, double(rows)));
        };
        struct Run {
            int x, top, bottom;
        };
        std::vector<Run> runs;
        runs.reserve(size_t(x1 - x0 + 2));
        auto column = [&](int x, double ya, double yb) {
            int top = int(std::floor(std::min(ya, yb))), bottom = int(std::floor(std::max(ya, yb)));
            if (!runs.empty() && runs.back().x == x - 1) {
                top = std::min(top, runs.back().bottom);
                bottom = std::max(bottom, runs.back().top);
            }
            runs.push_back({x, top, bottom});
        };
        size_t from = row_at(x0);
        if (from > 0 && !std::isnan(v[from - 1])) {  // the row before the left edge
            double y = Pixel(value, v[from - 1]);
            column(x0 - 1, y, y);
        }
        for (int x = x0; x < x1; ++x) {
            size_t to = row_at(x + 1);
            double lo, hi;
            if (to > from && envelope_->MinMax(from, to, &lo, &hi))
                column(x, Pixel(value, lo), Pixel(value, hi));
            from = std::max(from, to);
        }
        // Neighbouring runs mostly share a core (noise fills much the same pixels column
        // after column): the core goes in one wide rectangle, which the rasteriser fills
        // by scanlines, and only the ends that differ in narrow ones. The same pixels as
        // a rectangle per column, a fraction of the work for a busy trace.
        std::vector<QRect> rects;
        rects.reserve(runs.size() * 3);
        for (size_t a = 0; a < runs.size();) {
            int core_top = runs[a].top, core_bottom = runs[a].bottom;
            size_t b = a + 1;
            while (b < runs.size() && runs[b].x == runs[b - 1].x + 1) {
                int t = std::max(core_top, runs[b].top), m = std::min(core_bottom, runs[b].bottom);
                // The core must stay most of each run it joins.
                if (4 * (m - t + 1) < 3 * (runs[b].bottom - runs[b].top + 1)) break;
                core_top = t;
                core_bottom = m;
                ++b;
            }
            rects.emplace_back(runs[a].x, core_top, int(b - a), core_bottom - core_top + 1);
            for (size_t k = a; k < b; ++k) {
                if (runs[k].top < core_top)
                    rects.emplace_back(runs[k].x, runs[k].top, 1, core_top - runs[k].top);
                if (runs[k].bottom > core_bottom)
                    rects.emplace_back(runs[k].x, core_bottom + 1, 1, runs[k].bottom - core_bottom);
            }
            a = b;
        }
        applyDefaultAntialiasingHint(painter);
        painter->setPen(Qt::NoPen);
        painter->setBrush(mPen.color());
        painter->drawRects(rects.data(), int(rects.size()));
        return;
    }
    if (line.isEmpty()) return;
    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPolyline(line);
}

void EnvelopeGraph::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
    painter->setPen(mPen);
    painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
}

}  // namespace korvex::gui
