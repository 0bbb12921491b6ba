// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLI_OPTIONS_H
#define TRACKFOLD_CLI_OPTIONS_H

#include "i18n.h"

#include <optional>
#include <string>
#include <vector>

namespace trackfold::cli {

inline constexpr const char *Program = "trackfold-cli";
// "-" as INPUT or as -o's FILE: standard input, standard output.
inline constexpr const char *Standard = "-";
// The most files converted at a time.
inline constexpr unsigned MaxJobs = 256;

struct Options
{
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    std::optional<std::string> outputDir;
    int format = 0; // of the written files: 0 folds, 1 splits
    bool noClobber = false;
    bool recursive = false;
    unsigned jobs = 0; // 0: one per processor
    bool table = false;
    bool verify = false;
    bool byteOrder = false;
    bool keepTitle = false;
    bool quiet = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments that follow the program name with getopt_long. On wrong
// usage returns false with the problem in the user's language.
bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &problem);

// Whether path names a folder (or a link to one).
bool isDirectory(const std::string &path);

// The processors this process may run on (at least 1, at most MaxJobs).
unsigned defaultJobs();

} // namespace trackfold::cli

#endif
