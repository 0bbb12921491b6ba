// SPDX-License-Identifier: MIT
#include "convertone.h"

#include "fileio.h"
#include "options.h"
#include "report.h"
#include "texts.h"

#include <cerrno>
#include <new>
#include <ostream>

namespace trackfold::cli {

namespace {

// Warnings hold CRLF between their lines; a terminal report keeps them on one.
std::string oneLine(const std::string &text)
{
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, texts::Crlf) == 0) {
            line += ' ';
            ++i;
        } else {
            line += text[i];
        }
    }
    return line;
}

// The grid as tab-separated text, handed to flush a chunk at a time.
template <typename Flush> void writeTable(const EventGrid &grid, Flush flush)
{
    std::string buffer;
    buffer.reserve(1 << 16);
    for (std::size_t r = 0; r < grid.rows(); ++r) {
        for (int c = 0; c < grid.cols(); ++c) {
            if (c > 0)
                buffer += '\t';
            buffer += grid.textMatrix(r, c);
        }
        buffer += '\n';
        if (buffer.size() > (1 << 16) - 256) {
            flush(buffer);
            buffer.clear();
        }
    }
    flush(buffer);
}

class Conversion
{
public:
    Conversion(const Job &job, const JobSettings &settings, ConsoleHost &host, std::istream *in,
        std::ostream *data)
        : m_job(job)
        , m_settings(settings)
        , m_host(host)
        , m_in(in)
        , m_data(data)
    { }

    void run();
    FileOutcome outcome;

private:
    void fail(const std::string &path, const std::string &text)
    {
        outcome.result = Result::Failed;
        outcome.lines.push_back(errorLine(path, text));
    }
    void skip(const std::string &why)
    {
        outcome.result = Result::Skipped;
        if (m_settings.verbose && !m_settings.quiet)
            outcome.lines.push_back(m_job.input + tr(": saltato, ") + why);
    }
    void report(const std::string &text)
    {
        if (!m_settings.quiet)
            outcome.lines.push_back(m_settings.batch ? m_job.input + ": " + text : text);
    }

    const Job &m_job;
    const JobSettings &m_settings;
    ConsoleHost &m_host;
    std::istream *m_in;
    std::ostream *m_data;
};

void Conversion::run()
{
    m_host.messages.clear();
    // Only the table needs the grid.
    EventGrid *grid = m_settings.table ? &m_host.grid() : nullptr;
    Source source = m_job.input == Standard ? Source::stream(m_in, m_job.input)
                                            : Source::file(m_job.input, &m_host.input);
    const Target target = m_job.output == Standard
        ? Target::stream(m_data)
        : Target::file(m_job.output, m_settings.createFolders);
    const ConversionResult done
        = convert(std::move(source), target, m_settings.conversion, m_host, m_host.clock, grid);

    switch (done.status) {
    case ConversionStatus::CannotOpen:
        return fail(
            m_job.input, std::string(tr(texts::CannotOpen)).append(": ").append(done.error));
    case ConversionStatus::Cancelled: // the command line never cancels
    case ConversionStatus::ConversionFailed:
        for (const Message &message : m_host.messages)
            fail(m_job.input, oneLine(message.text));
        return fail(m_job.input, tr(texts::ConversionFailed));
    case ConversionStatus::CannotSave:
        return fail(
            m_job.output, std::string(tr(texts::CannotSave)).append(": ").append(done.error));
    case ConversionStatus::OutputExists:
        return skip(m_job.output + tr(" esiste già"));
    case ConversionStatus::Converted:
    case ConversionStatus::VerifyFailed:
        break;
    }
    const std::int64_t seconds = elapsedSeconds(done.INIZIO, m_host.clock.seconds());

    if (grid) {
        if (m_data)
            writeTable(*grid, [this](const std::string &text) { *m_data << text; });
        else
            writeTable(*grid, [this](const std::string &text) { outcome.table += text; });
    }
    report(conversionReport(done.RIGHE, seconds, m_job.output, done.outputSize));
    if (!done.warning.empty())
        report(done.warning);

    if (m_settings.conversion.verify) {
        if (done.status == ConversionStatus::VerifyFailed)
            return fail(m_job.output,
                std::string(tr(texts::VerifyFailed)).append(": ").append(oneLine(done.error)));
        report(tr(texts::VerifyOk));
    }
    outcome.result = Result::Converted;
}

} // namespace

std::string errorLine(const std::string &path, const std::string &text)
{
    return std::string(Program).append(": ").append(path).append(": ").append(text);
}

FileOutcome convertOne(const Job &job, const JobSettings &settings, ConsoleHost &host,
    std::istream *in, std::ostream *data)
{
    Conversion conversion(job, settings, host, in, data);
    // A file too large for the memory fails alone; the run goes on.
    try {
        conversion.run();
    } catch (const std::bad_alloc &) {
        conversion.outcome = {};
        conversion.outcome.lines.push_back(errorLine(job.input, systemReason(ENOMEM)));
        conversion.outcome.lines.push_back(errorLine(job.input, tr(texts::ConversionFailed)));
    }
    return std::move(conversion.outcome);
}

} // namespace trackfold::cli
