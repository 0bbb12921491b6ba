// SPDX-License-Identifier: MIT
#include "cliapp.h"

#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "report.h"
#include "texts.h"
#include "verify.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <new>
#include <optional>
#include <ostream>

namespace trackfold::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char *Program = "trackfold-cli";

constexpr const char *Usage = "Uso: trackfold-cli [opzioni] INPUT...";

constexpr const char *Help
    = R"(Converte Standard MIDI File a più tracce (formato 1) in file a una sola
traccia (formato 0).

Ogni INPUT viene salvato come INPUT senza gli ultimi quattro caratteri
seguito da "_.mid" (song.mid -> song_.mid), oppure nel file indicato con -o.
Una cartella converte ogni file *.mid e *.midi che contiene; i nomi che
finiscono in "_.mid" sono considerati risultati precedenti e saltati.

Opzioni:
  -o, --output FILE   salva in FILE (con un solo INPUT)
  -r, --recursive     entra anche nelle sottocartelle
      --table         stampa prima la griglia finale (testo separato da tab)
      --verify        rilegge ogni file scritto e controlla che contenga ogni
                      evento al suo tempo ("Verifica: OK")
  -q, --quiet         stampa solo gli errori
  -h, --help          mostra questo aiuto
  -V, --version       mostra la versione

Stato di uscita: 0 tutti convertiti, 1 almeno un errore, 2 uso errato.
)";

struct Options
{
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    bool recursive = false;
    bool table = false;
    bool verify = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments; false with a message on wrong usage.
bool parse(const std::vector<std::string> &args, Options &options, std::string &problem)
{
    bool onlyInputs = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (onlyInputs || a.empty() || a[0] != '-' || a == "-") {
            options.inputs.push_back(a);
        } else if (a == "--") {
            onlyInputs = true;
        } else if (a == "-o" || a == "--output") {
            if (i + 1 == args.size()) {
                problem = std::string("manca il nome del file dopo ").append(a);
                return false;
            }
            if (options.output) {
                problem = "-o indicato più volte";
                return false;
            }
            options.output = args[++i];
        } else if (a.rfind("--output=", 0) == 0) {
            options.output = a.substr(9);
        } else if (a == "-r" || a == "--recursive") {
            options.recursive = true;
        } else if (a == "--table") {
            options.table = true;
        } else if (a == "--verify") {
            options.verify = true;
        } else if (a == "-q" || a == "--quiet") {
            options.quiet = true;
        } else if (a == "-h" || a == "--help") {
            options.help = true;
        } else if (a == "-V" || a == "--version") {
            options.version = true;
        } else {
            problem = std::string("opzione sconosciuta: ").append(a);
            return false;
        }
    }
    if (options.help || options.version)
        return true;
    if (options.inputs.empty()) {
        problem = "nessun INPUT";
        return false;
    }
    if (options.output && options.inputs.size() != 1) {
        problem = "-o vale per un solo INPUT";
        return false;
    }
    return true;
}

bool isMidiName(const fs::path &path)
{
    std::string ext = path.extension().string();
    std::transform(
        ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".mid" || ext == ".midi";
}

bool isEarlierOutput(const fs::path &path)
{
    const std::string name = path.filename().string();
    return name.size() >= 5 && name.compare(name.size() - 5, 5, "_.mid") == 0;
}

// The MIDI files of a folder, sorted by path so runs are repeatable.
std::vector<std::string> filesIn(const fs::path &dir, bool recursive, std::string &error)
{
    std::vector<std::string> files;
    std::error_code ec;
    auto take = [&files](const fs::directory_entry &entry) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && isMidiName(entry.path())
            && !isEarlierOutput(entry.path()))
            files.push_back(entry.path().string());
    };
    if (recursive) {
        for (fs::recursive_directory_iterator
                 it(dir, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec))
            take(*it);
    } else {
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            take(*it);
    }
    if (ec)
        error = ec.message();
    std::sort(files.begin(), files.end());
    return files;
}

// The engine's host on the command line: no window, a steady clock, and the
// warnings kept for the error report.
class ConsoleHost : public ConversionHost
{
public:
    EventGrid &grid() override { return m_grid; }
    void showStatus(const std::string &) override { }
    void showMessage(const Message &message) override { messages.push_back(message); }
    void setBusy(bool) override { }
    double timer() override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    void setRIGHE(std::int64_t rows) override { RIGHE = rows; }
    void setINIZIO(double seconds) override { INIZIO = seconds; }

    std::vector<Message> messages;
    std::int64_t RIGHE = 0;
    double INIZIO = 0;

private:
    EventGrid m_grid;
};

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

void printTable(const EventGrid &grid, std::ostream &out)
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
            out << buffer;
            buffer.clear();
        }
    }
    out << buffer;
}

class Converter
{
public:
    Converter(const Options &options, std::ostream &out, std::ostream &err)
        : m_options(options)
        , m_out(out)
        , m_err(err)
    { }

    // Converts one file; false when it failed (already reported).
    bool convert(const std::string &input, const std::string &output);

private:
    bool convertFile(const std::string &input, const std::string &output);
    bool problem(const std::string &path, const std::string &text)
    {
        m_err << Program << ": " << path << ": " << text << '\n';
        return false;
    }

    const Options &m_options;
    std::ostream &m_out;
    std::ostream &m_err;
};

bool Converter::convert(const std::string &input, const std::string &output)
{
    // A file too large for the memory fails alone; the run goes on.
    try {
        return convertFile(input, output);
    } catch (const std::bad_alloc &) {
        problem(input, std::generic_category().message(ENOMEM));
        return problem(input, texts::ConversionFailed);
    }
}

bool Converter::convertFile(const std::string &input, const std::string &output)
{
    std::error_code ec;
    if (!fs::exists(input, ec) || fs::is_directory(input, ec))
        return problem(input, texts::MissingInput);

    std::string image, error;
    if (!readWholeFile(input, image, error))
        return problem(input, std::string(texts::CannotOpen).append(": ").append(error));

    ConsoleHost host;
    std::string result = SalvaMidi0(std::move(image), host);
    if (result.empty()) {
        for (const Message &message : host.messages)
            problem(input, oneLine(message.text));
        return problem(input, texts::ConversionFailed);
    }
    if (!writeFileAtomically(output, result, error))
        return problem(output, std::string(texts::CannotSave).append(": ").append(error));
    const std::int64_t seconds = elapsedSeconds(host.INIZIO, host.timer());

    if (!m_options.quiet) {
        if (m_options.table)
            printTable(host.grid(), m_out);
        m_out << conversionReport(host.RIGHE, seconds, output, result.size()) << '\n';
    }
    // Written: the image's memory serves the check below better.
    std::string().swap(result);
    if (m_options.verify) {
        // What counts is what reached the disk, so the file is read back.
        std::string written, difference;
        if (!readWholeFile(output, written, error))
            return problem(output, std::string(texts::VerifyFailed).append(": ").append(error));
        if (!verifyConversion(host.grid(), std::move(written), difference))
            return problem(
                output, std::string(texts::VerifyFailed).append(": ").append(oneLine(difference)));
        if (!m_options.quiet)
            m_out << texts::VerifyOk << '\n';
    }
    return true;
}

} // namespace

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    Options options;
    std::string problem;
    if (!parse(args, options, problem)) {
        err << Program << ": " << problem << '\n'
            << Usage << '\n'
            << "Per l'aiuto: trackfold-cli --help\n";
        return WrongUsage;
    }
    if (options.help) {
        out << Usage << "\n\n" << Help;
        return AllConverted;
    }
    if (options.version) {
        out << Program << ' ' << texts::Version << '\n';
        return AllConverted;
    }

    Converter converter(options, out, err);
    bool allConverted = true;
    for (const std::string &input : options.inputs) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            if (options.output) {
                err << Program << ": -o non vale per una cartella: " << input << '\n';
                return WrongUsage;
            }
            std::string error;
            const std::vector<std::string> files = filesIn(input, options.recursive, error);
            if (!error.empty() || files.empty()) {
                err << Program << ": " << input << ": "
                    << (error.empty() ? "nessun midifile da convertire" : error) << '\n';
                allConverted = false;
            }
            for (const std::string &file : files)
                allConverted = converter.convert(file, proposedOutputName(file)) && allConverted;
            continue;
        }
        const std::string output = options.output ? *options.output : proposedOutputName(input);
        allConverted = converter.convert(input, output) && allConverted;
    }
    return allConverted ? AllConverted : SomeFailed;
}

} // namespace trackfold::cli
