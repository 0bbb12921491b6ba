// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLIAPP_H
#define TRACKFOLD_CLIAPP_H

#include <iosfwd>
#include <string>
#include <vector>

namespace trackfold::cli {

// Exit statuses of trackfold-cli.
enum ExitStatus : int {
    AllConverted = 0,
    SomeFailed = 1,
    WrongUsage = 2,
};

// Runs the command line converter on the arguments that follow the program
// name; reports go to out, errors to err.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace trackfold::cli

#endif
