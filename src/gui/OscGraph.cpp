// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/OscGraph.h"

namespace korvex::gui {

QColor ChannelColour(uint32_t v) {
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

namespace {

void DarkAxes(QCustomPlot* p) {
    // Tick labels are numbers on a fixed screen: "." as the decimal point in any locale.
    p->setLocale(QLocale::c());
    p->setBackground(QBrush(QColor(16, 20, 24)));
    for (QCPAxis* a : {p->xAxis, p->yAxis}) {
        a->setBasePen(QPen(QColor(150, 150, 150)));
        a->setTickPen(QPen(QColor(150, 150, 150)));
        a->setSubTickPen(QPen(QColor(110, 110, 110)));
        a->setTickLabelColor(QColor(200, 200, 200));
        a->setLabelColor(QColor(200, 200, 200));
        a->grid()->setPen(QPen(QColor(60, 66, 72), 0, Qt::DotLine));
    }
}

}  // namespace

OscGraph::OscGraph(QWidget* parent) : QCustomPlot(parent), keys_(ChannelBuffer::kSize) {
    for (size_t i = 0; i < keys_.size(); ++i) keys_[i] = double(i);
    DarkAxes(this);
    setNotAntialiasedElements(QCP::aeAll);
    setPlottingHint(QCP::phFastPolylines, true);
    xAxis->setRange(0, 3999);
    yAxis->setRange(-1.0, 1.0);
    cursor_ = new QCPItemStraightLine(this);
    cursor_->setPen(QPen(Qt::white));
    cursor_->point1->setCoords(3999, 0);
    cursor_->point2->setCoords(3999, 1);
}

void OscGraph::RemoveAllPlots() {
    clearGraphs();
}

int OscGraph::AddPlot(QColor colour) {
    QCPGraph* g = addGraph();
    g->setPen(QPen(colour));
    g->setAdaptiveSampling(true);
    return graphCount() - 1;
}

void OscGraph::PlotY(int plot, const ChannelBuffer& buffer) {
    QCPGraph* g = graph(plot);
    if (!g) return;
    QVector<QCPGraphData> data(int(ChannelBuffer::kSize));
    std::vector<double> values(ChannelBuffer::kSize);
    buffer.CopyOut(values.data());
    for (int i = 0; i < data.size(); ++i)
        data[i] = QCPGraphData(keys_[size_t(i)], values[size_t(i)]);
    g->data()->set(data, true);
}

void OscGraph::SetPlotVisible(int plot, bool visible) {
    if (QCPGraph* g = graph(plot)) g->setVisible(visible);
}

bool OscGraph::PlotVisible(int plot) const {
    QCPGraph* g = graph(plot);
    return g && g->visible();
}

void OscGraph::SetXRange(double min, double max) {
    xAxis->setRange(min, max);
}
void OscGraph::SetXCaption(const QString& caption) {
    xAxis->setLabel(caption);
}
void OscGraph::SetYRange(double min, double max) {
    yAxis->setRange(min, max);
}

void OscGraph::Redraw() {
    if (auto_scale_) {
        bool found = false;
        QCPRange all;
        for (int i = 0; i < graphCount(); ++i) {
            if (!graph(i)->visible()) continue;
            bool ok = false;
            QCPRange r = graph(i)->getValueRange(ok, QCP::sdBoth, xAxis->range());
            if (!ok) continue;
            all = found ? QCPRange(qMin(all.lower, r.lower), qMax(all.upper, r.upper)) : r;
            found = true;
        }
        if (found) {
            // A flat trace still gets a range to be drawn in.
            if (all.size() < 1e-9) all = QCPRange(all.lower - 0.5, all.upper + 0.5);
            double pad = all.size() * 0.05;
            yAxis->setRange(all.lower - pad, all.upper + pad);
        }
    }
    replot();
}

LegendGraph::LegendGraph(QWidget* parent) : QCustomPlot(parent) {
    DarkAxes(this);
    xAxis->setVisible(false);
    yAxis->setVisible(false);
    axisRect()->setAutoMargins(QCP::msNone);
    axisRect()->setMargins(QMargins(3, 0, 3, 0));
    // The name across the top, the channel's trace in its colour below it.
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.85);
    title_ = new QCPItemText(this);
    title_->position->setType(QCPItemPosition::ptAxisRectRatio);
    title_->position->setCoords(0.5, 0.02);
    title_->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
    title_->setFont(small);
    title_->setColor(QColor(220, 220, 220));
    addGraph();
}

void LegendGraph::Show(QColor colour, const QString& name, const ChannelBuffer& buffer) {
    graph(0)->setPen(QPen(colour, 2));
    std::vector<double> values(ChannelBuffer::kSize);
    buffer.CopyOut(values.data());
    QVector<double> k(int(values.size())), v(int(values.size()));
    for (int i = 0; i < k.size(); ++i) {
        k[i] = i;
        v[i] = values[size_t(i)];
    }
    graph(0)->setData(k, v, true);
    xAxis->setRange(0, 3999);
    yAxis->setRange(-1.5, 1);
    title_->setText(name);
    replot();
}

}  // namespace korvex::gui
