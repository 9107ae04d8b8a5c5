// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qcustomplot.h>

#include "files/Envelope.h"
#include "files/RecordingData.h"

namespace korvex::gui {

// One channel of a whole recording drawn against time. Where a pixel column covers more
// than a couple of rows it is drawn as the column's minimum-to-maximum span taken from
// the channel's envelope, so a frame costs the same for 100 rows or 600,000 and no
// single-row spike falls between columns; closer in, the rows themselves are joined.
// Row r of the recording stands at offset + r × step on the time axis, so that
// recordings of one event laid over each other line up. The recording and envelope must
// outlive the graph. GUI thread only.
class EnvelopeGraph : public QCPAbstractPlottable {
    Q_OBJECT
public:
    EnvelopeGraph(QCPAxis* key_axis, QCPAxis* value_axis, const RecordingData* data,
                  const Envelope* envelope, int column, int channel = -1);

    // The channel's number in the viewer (its row in the channel list); the column's own
    // number when not given.
    int channel() const { return channel_; }
    int column() const { return column_; }
    const RecordingData* data() const { return data_; }
    // Seconds added to every row's time.
    double offset() const { return offset_; }
    void SetOffset(double seconds) { offset_ = seconds; }
    // Extremes over the rows whose time (offset included) lies in `keys`; false when there
    // are none.
    bool ValueRange(const QCPRange& keys, double* lo, double* hi) const;

    double selectTest(const QPointF& pos, bool only_selectable,
                      QVariant* details = nullptr) const override;
    QCPRange getKeyRange(bool& found, QCP::SignDomain domain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool& found, QCP::SignDomain domain = QCP::sdBoth,
                           const QCPRange& keys = QCPRange()) const override;

protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

private:
    const RecordingData* data_;
    const Envelope* envelope_;
    int column_;
    int channel_;
    double offset_ = 0;
};

}  // namespace korvex::gui
