// SPDX-License-Identifier: MIT
#include "convertone.h"

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
    bool writeStandard(const std::string &image);
    bool makeFolders();
    bool cannotSave(const std::string &reason)
    {
        fail(m_job.output, std::string(texts::CannotSave).append(": ").append(reason));
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
        return skip(m_job.output + " esiste già");

    // A large file is mapped, not copied; standard input is read whole.
    InputFile &file = m_host.input;
    std::string piped, error;
    std::string_view image;
    if (m_job.input == Standard) {
        if (!m_in || !readStream(*m_in, piped))
            return fail(m_job.input,
                std::string(texts::CannotOpen).append(": ").append(systemReason(EBADF)));
        image = piped;
    } else if (!file.open(m_job.input, error)) {
        return fail(m_job.input, std::string(texts::CannotOpen).append(": ").append(error));
    } else {
        image = file.bytes();
    }

    // Only the table needs the grid, which keeps its own copy of the input.
    EventGrid *grid = nullptr;
    if (m_settings.table) {
        grid = &m_host.grid();
        grid->clear();
        grid->setRows(1);
        grid->adoptImage(std::string(image));
        image = grid->image();
        file.close();
        std::string().swap(piped);
    }

    m_host.messages.clear();
    auto conversionFailed = [this] {
        for (const Message &message : m_host.messages)
            fail(m_job.input, oneLine(message.text));
        fail(m_job.input, texts::ConversionFailed);
    };
    ScannedInput scanned;
    if (!scanInput(image, m_host, m_host.clock, scanned, grid))
        return conversionFailed();

    // The output is written as the merge produces it.
    ConversionResult result;
    std::string sent; // what went to standard output, kept for --verify
    bool failedWhileWriting = false;
    auto convertInto = [&](OutputSink &sink) {
        result = writeFormat0(scanned, sink, m_host, m_settings.conversion, grid);
        failedWhileWriting = !result.ok;
        return result.ok;
    };
    if (toStandard) {
        StringSink sink(sent);
        if (!convertInto(sink))
            return conversionFailed();
        if (!writeStandard(sent))
            return;
    } else {
        if (!makeFolders())
            return;
        auto produce = [&](int fd) {
            // A device or FIFO cannot take the track length afterwards: the
            // whole output is made first.
            if (::lseek(fd, 0, SEEK_CUR) < 0) {
                std::string whole;
                StringSink sink(whole);
                return convertInto(sink) ? writeAllTo(fd, whole) : ECANCELED;
            }
            DescriptorSink sink(fd);
            return convertInto(sink) ? sink.error() : ECANCELED;
        };
        bool existed = false;
        if (!writeFileAtomicallyWith(m_job.output, produce, m_settings.noClobber, existed, error)) {
            if (failedWhileWriting)
                return conversionFailed();
            if (existed)
                return skip(m_job.output + " esiste già");
            return fail(m_job.output, std::string(texts::CannotSave).append(": ").append(error));
        }
    }
    const std::int64_t seconds = elapsedSeconds(scanned.INIZIO, m_host.clock.seconds());

    if (grid) {
        if (m_data)
            writeTable(*grid, [this](const std::string &text) { *m_data << text; });
        else
            writeTable(*grid, [this](const std::string &text) { outcome.table += text; });
    }
    report(conversionReport(result.RIGHE, seconds, m_job.output, result.outputSize));

    if (m_settings.verify) {
        // What counts is what reached the disk, so a file is read back; what
        // went to standard output is checked as it was sent.
        InputFile written;
        std::string_view check = sent;
        if (!toStandard) {
            if (!written.open(m_job.output, error))
                return fail(
                    m_job.output, std::string(texts::VerifyFailed).append(": ").append(error));
            check = written.bytes();
        }
        std::string difference;
        if (!verifyConversion(image, check, m_settings.conversion, difference))
            return fail(m_job.output,
                std::string(texts::VerifyFailed).append(": ").append(oneLine(difference)));
        report(texts::VerifyOk);
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
        conversion.outcome.lines.push_back(errorLine(job.input, texts::ConversionFailed));
    }
    return std::move(conversion.outcome);
}

} // namespace trackfold::cli
