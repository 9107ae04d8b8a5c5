// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/TestReport.h"

#include <qcustomplot.h>

#include <QDateTime>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <exception>

#include "app/StrPrintf.h"
#include "app/Version.h"
#include "files/RecordingData.h"
#include "gui/AnalysisDock.h"
#include "gui/Texts.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"

namespace korvex::gui {

namespace {

constexpr int kDpi = 300;

QFont PageFont(double points, bool bold = false) {
    QFont f;
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Draws the page into `area` (device pixels) from its top down; the results table stops
// where the footer begins, so the report stays one page whatever it holds.
void DrawPage(QPainter* p, const QRectF& area, const TestReportPage& page) {
    const double gap = kDpi * 0.06;  // 1.5 mm
    double y = area.top();
    auto text = [&](const QRectF& box, const QString& s, int flags = Qt::TextWordWrap) {
        QRectF used = p->boundingRect(box, flags, s);
        p->drawText(box, flags, s);
        return used.height();
    };

    p->setFont(PageFont(16, true));
    y += text(QRectF(area.left(), y, area.width(), area.height()),
              T("Протокол испытания", "Test report")) +
         gap;
    if (!page.test_name.isEmpty()) {
        p->setFont(PageFont(13, true));
        y += text(QRectF(area.left(), y, area.width(), area.height()), page.test_name) + gap;
    }
    y += gap;

    // The particulars: labels in a column, values beside them.
    const std::pair<QString, QString> fields[] = {
        {T("Запись", "Recording"), page.file_name},
        {T("Время записи", "Recorded"), page.recorded},
        {T("Канал", "Channel"), page.channel},
        {T("Анализ", "Analysis"), page.analysis},
        {T("Окно", "Window"), page.window},
        {T("Зона установления", "Settling band"), page.band},
    };
    p->setFont(PageFont(10, true));
    double label_width = 0;
    for (const auto& [label, value] : fields)
        if (!value.isEmpty())
            label_width = std::max(label_width, p->boundingRect(area, 0, label + ':').width());
    label_width += kDpi * 0.1;
    for (const auto& [label, value] : fields) {
        if (value.isEmpty()) continue;
        p->setFont(PageFont(10, true));
        double h = text(QRectF(area.left(), y, label_width, area.height()), label + ':', 0);
        p->setFont(PageFont(10));
        h = std::max(
            h, text(QRectF(area.left() + label_width, y, area.width() - label_width, area.height()),
                    value));
        y += h + gap / 2;
    }
    y += gap;

    p->setFont(PageFont(8));
    const double footer = p->fontMetrics().height() + gap;
    const double bottom = area.bottom() - footer;
    if (!page.picture.isNull()) {
        QSizeF size = page.picture.size();
        size.scale(area.width(), std::clamp(bottom - y, 0.0, area.height() * 0.42),
                   Qt::KeepAspectRatio);
        QRectF target(area.left() + (area.width() - size.width()) / 2, y, size.width(),
                      size.height());
        p->drawImage(target, page.picture);
        p->setPen(QPen(QColor(160, 160, 160), 2));
        p->drawRect(target);
        y += size.height() + 2 * gap;
    }

    p->setPen(Qt::black);
    p->setFont(PageFont(11, true));
    y +=
        text(QRectF(area.left(), y, area.width(), area.height()), T("Результаты", "Results")) + gap;
    p->setFont(PageFont(10));
    double first = 0;
    for (const ResultRow& row : page.rows)
        first = std::max(first, p->boundingRect(area, 0, Q(row.label)).width());
    first = std::min(first + kDpi * 0.15, area.width() * 0.5);
    for (const ResultRow& row : page.rows) {
        QRectF label_box(area.left(), y, first, area.height());
        QRectF value_box(area.left() + first, y, area.width() - first, area.height());
        double h = std::max(p->boundingRect(label_box, Qt::TextWordWrap, Q(row.label)).height(),
                            p->boundingRect(value_box, Qt::TextWordWrap, Q(row.value)).height());
        if (y + h > bottom) break;  // no second page
        p->drawText(label_box, Qt::TextWordWrap, Q(row.label));
        p->drawText(value_box, Qt::TextWordWrap, Q(row.value));
        y += h + gap / 2;
        p->setPen(QPen(QColor(200, 200, 200), 1));
        p->drawLine(QPointF(area.left(), y - gap / 4), QPointF(area.right(), y - gap / 4));
        p->setPen(Qt::black);
    }

    p->setFont(PageFont(8));
    p->setPen(QColor(90, 90, 90));
    QRectF foot(area.left(), area.bottom() - footer + gap, area.width(), footer);
    p->drawText(foot, Qt::AlignLeft | Qt::AlignTop, page.program);
    p->drawText(foot, Qt::AlignRight | Qt::AlignTop, page.date);
}

}  // namespace

bool WriteTestReport(const QString& path, const TestReportPage& page, QString* err_text) {
    auto fail = [&] {
        if (err_text) *err_text = Q(StrPrintf("Write File '%s' error", path.toStdString().c_str()));
        return false;
    };
    try {
        // Written aside and put in place at the end: a failure leaves the old file whole.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return fail();
        {
            QPdfWriter pdf(&file);
            pdf.setResolution(kDpi);
            pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          QMarginsF(18, 15, 18, 12), QPageLayout::Millimeter));
            pdf.setTitle(T("Протокол испытания", "Test report"));
            pdf.setCreator(page.program);
            QPainter painter;
            if (!painter.begin(&pdf)) return fail();
            painter.setRenderHint(QPainter::Antialiasing);
            DrawPage(&painter, QRectF(0, 0, pdf.width(), pdf.height()), page);
            if (!painter.end()) return fail();
        }
        if (!file.commit()) return fail();
        return true;
    } catch (const std::exception&) {
        return fail();
    }
}

TestReportPage MakeTestReportPage(const ViewerSession& session, ViewerPlot* plot,
                                  const AnalysisDock& dock) {
    TestReportPage page;
    const AnalysisResult* r = dock.result();
    if (!r || !session.has_data()) return page;
    const RecordingInfo& info = session.data().info();
    page.test_name = dock.test_name();
    page.file_name = QFileInfo(session.path()).fileName();
    if (info.has_start)
        page.recorded = Q(FormatClock(ClockSeconds(info.start)));
    else
        page.recorded = Q(info.info_value);
    page.channel = dock.channel_name(r->channel);
    page.analysis = AnalysisDock::KindName(r->kind);
    page.window = AnalysisWindowText(r->start, r->end, r->samples);
    if (r->kind == AnalysisKind::Step) page.band = Q(StrPrintf("%.1f %%", r->band_pct));
    page.rows = dock.rows();

    // The plot as the user sees it, drawn at twice its size for print; the spectrum at a
    // size of its own, the dock being narrow.
    QCustomPlot* source = r->kind == AnalysisKind::Spectrum ? dock.spectrum_plot() : plot;
    int w = r->kind == AnalysisKind::Spectrum ? 900 : std::max(plot->width(), 400);
    int h = r->kind == AnalysisKind::Spectrum ? 420 : std::max(plot->height(), 200);
    page.picture = source->toPixmap(w, h, 2.0).toImage();
    source->replot(QCustomPlot::rpQueuedReplot);  // its layout back to the screen's size

    std::string version = VersionText("Korvex");
    page.program = Q(version.substr(0, version.find('\n')));
    QDateTime now = QDateTime::currentDateTime();
    page.date = Q(StrPrintf("%04d-%02d-%02d %02d:%02d", now.date().year(), now.date().month(),
                            now.date().day(), now.time().hour(), now.time().minute()));
    return page;
}

}  // namespace korvex::gui
