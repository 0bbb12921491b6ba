// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLI_CONVERTONE_H
#define TRACKFOLD_CLI_CONVERTONE_H

#include "conversion.h"
#include "eventgrid.h"
#include "inputfile.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace trackfold::cli {

// One file to convert.
struct Job
{
    std::string input; // as given or found in a folder; "-": standard input
    std::string output; // "-": standard output
};

// How every file of a run is converted and reported.
struct JobSettings
{
    bool batch = false; // reports name their input
    bool createFolders = false; // for the output, as -d needs
    bool table = false;
    bool quiet = false;
    bool verbose = false;
    // Tie order, threads, --verify and -n: what the engine is asked to do.
    ConversionJob conversion;
};

enum class Result : std::uint8_t {
    Converted,
    Failed,
    Skipped,
    Note, // a remark that is not about one file
};

// What a file's conversion has to say, for the caller to print in order.
struct FileOutcome
{
    Result result = Result::Failed;
    std::vector<std::string> lines; // for standard error, without their '\n'
    std::string table; // for standard output, when --table has no stream to go to
};

// What the engine reports on the command line: no window, the warnings kept
// for the error report; the clock is the caller's. One serves a thread's
// files in turn, with the grid --table needs.
class ConsoleHost : public ConversionObserver
{
public:
    explicit ConsoleHost(Clock &clock)
        : clock(clock)
    { }
    EventGrid &grid() { return m_grid; }
    void showStatus(const std::string &) override { }
    void showMessage(const Message &message) override { messages.push_back(message); }
    void setBusy(bool) override { }

    Clock &clock;
    std::vector<Message> messages;
    // The input of the file being converted; its buffer serves file after file.
    InputFile input;

private:
    EventGrid m_grid;
};

// Reads, converts, writes and (with --verify) checks one file. Standard input
// is read from in and standard output written to data; the table goes to data
// too when it is given, into the outcome's table otherwise. Safe to run on
// several threads at once, each with its own host.
FileOutcome convertOne(const Job &job, const JobSettings &settings, ConsoleHost &host,
    std::istream *in, std::ostream *data);

// "trackfold-cli: path: text", the form of every error line.
std::string errorLine(const std::string &path, const std::string &text);

} // namespace trackfold::cli

#endif
