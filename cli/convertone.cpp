// SPDX-License-Identifier: MIT
#include "convertone.h"

#include "fileio.h"
#include "options.h"
#include "report.h"
#include "texts.h"
#include "verify.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <istream>
#include <new>
#include <ostream>

#include <sys/stat.h>

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
    struct stat st
    { };
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
            outcome.lines.push_back(m_job.input + ": saltato, " + why);
    }
    void report(const std::string &text)
    {
        if (!m_settings.quiet)
            outcome.lines.push_back(m_settings.batch ? m_job.input + ": " + text : text);
    }
    bool write(const std::string &image);

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
        return skip(m_job.output + " esiste già");

    std::string image, error;
    if (m_job.input == Standard) {
        if (!m_in || !readStream(*m_in, image))
            return fail(m_job.input,
                std::string(texts::CannotOpen).append(": ").append(systemReason(EBADF)));
    } else if (!readWholeFile(m_job.input, image, error)) {
        return fail(m_job.input, std::string(texts::CannotOpen).append(": ").append(error));
    }

    m_host.messages.clear();
    std::string result = SalvaMidi0(std::move(image), m_host, m_settings.conversion);
    if (result.empty()) {
        for (const Message &message : m_host.messages)
            fail(m_job.input, oneLine(message.text));
        return fail(m_job.input, texts::ConversionFailed);
    }
    if (!write(result))
        return;
    const std::int64_t seconds = elapsedSeconds(m_host.INIZIO, m_host.timer());

    if (m_settings.table) {
        if (m_data)
            writeTable(m_host.grid(), [this](const std::string &text) { *m_data << text; });
        else
            writeTable(m_host.grid(), [this](const std::string &text) { outcome.table += text; });
    }
    report(conversionReport(m_host.RIGHE, seconds, m_job.output, result.size()));

    if (m_settings.verify) {
        // What counts is what reached the disk, so a file is read back; what
        // went to standard output is checked as it was sent.
        std::string written, difference;
        if (toStandard) {
            written = std::move(result);
        } else {
            // Written: the image's memory serves the check better.
            std::string().swap(result);
            if (!readWholeFile(m_job.output, written, error))
                return fail(
                    m_job.output, std::string(texts::VerifyFailed).append(": ").append(error));
        }
        if (!verifyConversion(m_host.grid(), std::move(written), difference))
            return fail(m_job.output,
                std::string(texts::VerifyFailed).append(": ").append(oneLine(difference)));
        report(texts::VerifyOk);
    }
    outcome.result = Result::Converted;
}

bool Conversion::write(const std::string &image)
{
    std::string error;
    auto cannotSave = [&](const std::string &reason) {
        fail(m_job.output, std::string(texts::CannotSave).append(": ").append(reason));
        return false;
    };

    if (m_job.output == Standard) {
        if (!m_data)
            return cannotSave(systemReason(EBADF));
        errno = 0;
        m_data->write(image.data(), static_cast<std::streamsize>(image.size()));
        m_data->flush();
        if (!*m_data)
            return cannotSave(systemReason(errno ? errno : EIO));
        return true;
    }

    if (m_settings.createFolders) {
        std::error_code ec;
        const fs::path folder = fs::path(m_job.output).parent_path();
        if (!folder.empty())
            fs::create_directories(folder, ec);
        if (ec)
            return cannotSave(systemReason(ec.value()));
    }
    if (m_settings.noClobber) {
        bool existed = false;
        if (writeFileIfAbsent(m_job.output, image, existed, error))
            return true;
        if (existed)
            skip(m_job.output + " esiste già");
        else
            cannotSave(error);
        return false;
    }
    if (!writeFileAtomically(m_job.output, image, error))
        return cannotSave(error);
    return true;
}

} // namespace

double ConsoleHost::timer()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

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
        conversion.outcome.lines.push_back(errorLine(job.input, texts::ConversionFailed));
    }
    return std::move(conversion.outcome);
}

} // namespace trackfold::cli
