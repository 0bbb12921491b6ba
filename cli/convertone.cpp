// SPDX-License-Identifier: MIT
#include "convertone.h"

#include "convertfile.h"
#include "fileio.h"
#include "format0writer.h"
#include "inputfile.h"
#include "options.h"
#include "report.h"
#include "texts.h"
#include "verify.h"

#include <cerrno>
#include <filesystem>
#include <istream>
#include <new>
#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

namespace trackfold::cli {

namespace fs = std::filesystem;

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

bool readStream(std::istream &in, std::string &data)
{
    data.clear();
    std::streambuf *source = in.rdbuf();
    if (!source)
        return false;
    char chunk[1 << 16];
    for (std::streamsize got; (got = source->sgetn(chunk, sizeof chunk)) > 0;)
        data.append(chunk, static_cast<std::size_t>(got));
    return true;
}

bool exists(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
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
    bool writeStandard(const std::string &image);
    bool makeFolders();
    bool cannotSave(const std::string &reason)
    {
        fail(m_job.output, std::string(tr(texts::CannotSave)).append(": ").append(reason));
        return false;
    }

    const Job &m_job;
    const JobSettings &m_settings;
    ConsoleHost &m_host;
    std::istream *m_in;
    std::ostream *m_data;
};

void Conversion::run()
{
    const bool toStandard = m_job.output == Standard;
    if (m_settings.noClobber && !toStandard && exists(m_job.output))
        return skip(m_job.output + tr(" esiste già"));

    m_host.messages.clear();
    auto conversionFailed = [this] {
        for (const Message &message : m_host.messages)
            fail(m_job.input, oneLine(message.text));
        fail(m_job.input, tr(texts::ConversionFailed));
    };
    // Only the table needs the grid.
    EventGrid *grid = m_settings.table ? &m_host.grid() : nullptr;
    FileJob job;
    job.input = m_job.input;
    job.output = m_job.output;
    job.options = m_settings.conversion;
    job.keepExisting = m_settings.noClobber;
    job.verify = m_settings.verify && !toStandard;

    FileConversion done;
    std::string piped; // standard input, read whole
    std::string sent; // what went to standard output, kept for --verify
    if (m_job.input == Standard) {
        if (!m_in || !readStream(*m_in, piped))
            return fail(m_job.input,
                std::string(tr(texts::CannotOpen)).append(": ").append(systemReason(EBADF)));
    }
    std::string_view image = piped;
    if (grid && m_job.input == Standard) {
        grid->adoptImage(std::move(piped));
        image = grid->image();
    }

    if (toStandard) {
        if (m_job.input != Standard) {
            std::string error;
            if (!m_host.input.open(m_job.input, error))
                return fail(
                    m_job.input, std::string(tr(texts::CannotOpen)).append(": ").append(error));
            image = m_host.input.bytes();
            if (grid) {
                grid->adoptImage(std::string(image));
                image = grid->image();
            }
        }
        ScannedInput scanned;
        if (!scanInput(image, m_host, m_host.clock, scanned, grid, m_settings.conversion.threads))
            return conversionFailed();
        StringSink sink(sent);
        done.result = writeFormat0(scanned, sink, m_host, m_settings.conversion, grid);
        if (!done.result.ok)
            return conversionFailed();
        if (!writeStandard(sent))
            return;
        done.status = FileStatus::Converted;
    } else {
        if (!makeFolders())
            return;
        done = m_job.input == Standard ? convertImageToFile(image, job, m_host, m_host.clock, grid)
                                       : convertFile(job, m_host.input, m_host, m_host.clock, grid);
        switch (done.status) {
        case FileStatus::CannotOpen:
            return fail(
                m_job.input, std::string(tr(texts::CannotOpen)).append(": ").append(done.error));
        case FileStatus::ConversionFailed:
            return conversionFailed();
        case FileStatus::CannotSave:
            return fail(
                m_job.output, std::string(tr(texts::CannotSave)).append(": ").append(done.error));
        case FileStatus::OutputExists:
            return skip(m_job.output + tr(" esiste già"));
        case FileStatus::Converted:
        case FileStatus::VerifyFailed:
            break;
        }
    }
    const std::int64_t seconds = elapsedSeconds(done.result.INIZIO, m_host.clock.seconds());

    if (grid) {
        if (m_data)
            writeTable(*grid, [this](const std::string &text) { *m_data << text; });
        else
            writeTable(*grid, [this](const std::string &text) { outcome.table += text; });
    }
    report(conversionReport(done.result.RIGHE, seconds, m_job.output, done.result.outputSize));

    if (m_settings.verify) {
        // A file was read back by the conversion; what went to standard
        // output is checked as it was sent.
        if (toStandard && !verifyConversion(image, sent, job.options, done.error))
            done.status = FileStatus::VerifyFailed;
        if (done.status == FileStatus::VerifyFailed)
            return fail(m_job.output,
                std::string(tr(texts::VerifyFailed)).append(": ").append(oneLine(done.error)));
        report(tr(texts::VerifyOk));
    }
    outcome.result = Result::Converted;
}

bool Conversion::writeStandard(const std::string &image)
{
    if (!m_data)
        return cannotSave(systemReason(EBADF));
    errno = 0;
    m_data->write(image.data(), static_cast<std::streamsize>(image.size()));
    m_data->flush();
    if (!*m_data)
        return cannotSave(systemReason(errno ? errno : EIO));
    return true;
}

bool Conversion::makeFolders()
{
    if (!m_settings.createFolders)
        return true;
    std::error_code ec;
    const fs::path folder = fs::path(m_job.output).parent_path();
    if (!folder.empty())
        fs::create_directories(folder, ec);
    if (ec)
        return cannotSave(systemReason(ec.value()));
    return true;
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
