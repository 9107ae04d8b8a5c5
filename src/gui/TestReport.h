// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <vector>

#include "analysis/ResultRows.h"

namespace korvex::gui {

class AnalysisDock;
class ViewerPlot;
class ViewerSession;

// What the one page of a test report says, every text in the program's language.
struct TestReportPage {
    QString test_name;  // as the user typed it; may be empty
    QString file_name;  // the recording's
    QString recorded;   // the clock time of its first row, else its "#INFO=" text, else empty
    QString channel;
    QString analysis;  // the analysis's name
    QString window;    // AnalysisWindowText
    QString band;      // a step response's settling band ("2.0 %"), else empty
    QImage picture;    // the plot with the analysis's marks
    std::vector<ResultRow> rows;
    QString program;  // "Korvex 1.3.1"
    QString date;     // of the report, "2026-11-25 14:03"
};

// Writes `page` as one A4 portrait page of PDF to `path`, replacing the file; a failed
// write leaves what was there. False with "Write File '%s' error". GUI thread only.
bool WriteTestReport(const QString& path, const TestReportPage& page, QString* err_text);

// The page for the dock's result: the recording and its plot (the dock's spectrum plot
// for a spectrum), the program's version and today's date.
TestReportPage MakeTestReportPage(const ViewerSession& session, ViewerPlot* plot,
                                  const AnalysisDock& dock);

}  // namespace korvex::gui
