// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qcustomplot.h>

#include <vector>

#include "osc/ChannelBuffer.h"

namespace korvex::gui {

// A 0x00BBGGRR channel colour as a QColor.
QColor ChannelColour(uint32_t bbggrr);

// The main graph: one plot per shown channel drawn from its 4000-value buffer (X is the
// buffer index), the Y range with auto-scale, the X range and caption of the zoom, one
// white cursor at the newest sample. GUI thread only.
class OscGraph : public QCustomPlot {
    Q_OBJECT
public:
    explicit OscGraph(QWidget* parent = nullptr);

    void RemoveAllPlots();
    int AddPlot(QColor colour);  // returns the plot's index (channel k is plot k)
    void PlotY(int plot, const ChannelBuffer& buffer);
    void SetPlotVisible(int plot, bool visible);
    bool PlotVisible(int plot) const;
    int plot_count() const { return graphCount(); }

    void SetXRange(double min, double max);
    void SetXCaption(const QString& caption);
    void SetYRange(double min, double max);
    double YMin() const { return yAxis->range().lower; }
    double YMax() const { return yAxis->range().upper; }
    void SetAutoScale(bool on) { auto_scale_ = on; }

    // Fits the Y range to the visible data when auto-scale is on, then draws.
    void Redraw();

private:
    std::vector<double> keys_;
    QCPItemStraightLine* cursor_ = nullptr;
    bool auto_scale_ = true;
};

// A small legend graph under the main graph: the channel's colour and name.
class LegendGraph : public QCustomPlot {
    Q_OBJECT
public:
    explicit LegendGraph(QWidget* parent = nullptr);
    void Show(QColor colour, const QString& name, const ChannelBuffer& buffer);
    QString caption() const { return title_->text(); }

private:
    QCPItemText* title_;
};

}  // namespace korvex::gui
