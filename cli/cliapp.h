// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLIAPP_H
#define TRACKFOLD_CLIAPP_H

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

namespace trackfold {
class Clock;
}

namespace trackfold::cli {

// Exit statuses of trackfold-cli; an interrupted run ends with 128 + the
// signal's number (130 for SIGINT, 143 for SIGTERM).
enum ExitStatus : int {
    AllConverted = 0,
    SomeFailed = 1,
    WrongUsage = 2,
};

// Where a run reads and writes. Data goes through in ("-" as INPUT) and out
// (--table, -o -); reports, the summary and errors go to err.
struct Console
{
    std::istream &in;
    std::ostream &out;
    std::ostream &err;
    // Whether a long batch shows its progress ("12/200", rewritten in place) on
    // err; only for a terminal.
    bool progress = false;
    // How long a batch runs before its progress shows.
    std::chrono::milliseconds progressAfter { 1000 };
    // The clock of the elapsed times in reports; nullptr: the system's steady
    // clock. Shared by the threads of a batch.
    Clock *clock = nullptr;
};

// Runs the command line converter on the arguments that follow the program name.
int run(const std::vector<std::string> &args, const Console &console);

// The same, reading standard input, without progress.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// Handles SIGINT and SIGTERM (unless they are ignored, as in a background job):
// the temporary files of the writes in progress are removed and the process
// ends with 128 + the signal's number.
void installInterruptHandlers();

} // namespace trackfold::cli

#endif
