// SPDX-License-Identifier: MIT
#include "printer.h"

#include "clitexts.h"
#include "report.h"

#include <ostream>
#include <string>

namespace trackfold::cli {

namespace {

// "mm:ss", or "h:mm:ss" from the first hour on.
std::string formatDuration(std::chrono::steady_clock::duration elapsed)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    if (seconds < 3600)
        return FormatElapsed(seconds);
    return std::to_string(seconds / 3600) + ":" + FormatElapsed(seconds % 3600);
}

} // namespace

Printer::Printer(const Console &console, bool showProgress, std::size_t files)
    : m_console(console)
    , m_showProgress(showProgress)
    , m_files(files)
{ }

void Printer::print(FileOutcome &outcome)
{
    if (outcome.result != Result::Note)
        ++m_counts[static_cast<std::size_t>(outcome.result)];
    if (outcome.table.empty() && outcome.lines.empty())
        return;
    eraseProgress();
    if (!outcome.table.empty()) {
        m_console.out << outcome.table;
        m_wroteTable = true;
    }
    std::string text;
    for (const std::string &line : outcome.lines)
        text.append(line).append(1, '\n');
    if (!text.empty()) {
        // The table before the lines that follow it, also on one terminal.
        if (m_wroteTable)
            m_console.out.flush();
        m_console.err << text;
    }
    outcome = { outcome.result, {}, {} };
}

void Printer::progress(std::size_t done)
{
    if (!m_showProgress || std::chrono::steady_clock::now() - m_start < m_console.progressAfter)
        return;
    std::string text(1, '\r');
    text.append(std::to_string(done)).append(1, '/').append(std::to_string(m_files));
    if (text.size() - 1 == m_progressWidth && done == m_progressDone)
        return;
    m_console.err << text << std::flush;
    m_progressWidth = text.size() - 1;
    m_progressDone = done;
}

void Printer::finish(bool summary)
{
    eraseProgress();
    if (summary) {
        m_console.err << tr(clitexts::SummaryConverted) << count(Result::Converted)
                      << tr(clitexts::SummaryFailed) << count(Result::Failed)
                      << tr(clitexts::SummarySkipped) << count(Result::Skipped)
                      << tr(clitexts::SummaryTime)
                      << formatDuration(std::chrono::steady_clock::now() - m_start) << '\n';
    }
}

void Printer::eraseProgress()
{
    if (m_progressWidth == 0)
        return;
    m_console.err << '\r' << std::string(m_progressWidth, ' ') << '\r' << std::flush;
    m_progressWidth = 0;
    m_progressDone = 0;
}

} // namespace trackfold::cli
