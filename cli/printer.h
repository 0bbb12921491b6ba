// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLI_PRINTER_H
#define TRACKFOLD_CLI_PRINTER_H

#include "cliapp.h"
#include "convertone.h"

#include <chrono>
#include <cstddef>

namespace trackfold::cli {

// Prints outcomes in the order it is given them, counts them, and keeps the
// progress of a long batch on a terminal ("12/200", rewritten in place).
class Printer
{
public:
    // files: the outcomes that count, as the progress shows them.
    Printer(const Console &console, bool showProgress, std::size_t files);

    // Prints the outcome's table on the console's out, then its lines on err,
    // and keeps only its result.
    void print(FileOutcome &outcome);
    // done: files finished, in any order. Shows after the console's
    // progressAfter, and only when it changes.
    void progress(std::size_t done);
    // Erases the progress, then prints the summary when asked to.
    void finish(bool summary);

    std::size_t count(Result result) const { return m_counts[static_cast<std::size_t>(result)]; }
    // A table went to the console's out by another way than print().
    void wroteTable() { m_wroteTable = true; }
    bool hasWrittenTable() const { return m_wroteTable; }

private:
    void eraseProgress();

    const Console &m_console;
    const bool m_showProgress;
    const std::size_t m_files;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::size_t m_counts[3] = {};
    std::size_t m_progressWidth = 0;
    std::size_t m_progressDone = 0;
    bool m_wroteTable = false;
};

} // namespace trackfold::cli

#endif
