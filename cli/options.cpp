// SPDX-License-Identifier: MIT
#include "options.h"

#include "clitexts.h"
#include "i18n.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <thread>

#include <getopt.h>
#include <sched.h>
#include <sys/stat.h>

namespace trackfold::cli {

namespace {

// Values of the options that have no short form.
enum LongOnly : int {
    OptTable = 256,
    OptVerify,
    OptByteOrder,
    OptKeepTitle,
};

constexpr option LongOptions[] = {
    { "output", required_argument, nullptr, 'o' },
    { "output-dir", required_argument, nullptr, 'd' },
    { "format", required_argument, nullptr, 'F' },
    { "no-clobber", no_argument, nullptr, 'n' },
    { "recursive", no_argument, nullptr, 'r' },
    { "jobs", required_argument, nullptr, 'j' },
    { "table", no_argument, nullptr, OptTable },
    { "verify", no_argument, nullptr, OptVerify },
    { "byte-order", no_argument, nullptr, OptByteOrder },
    { "keep-title", no_argument, nullptr, OptKeepTitle },
    { "quiet", no_argument, nullptr, 'q' },
    { "verbose", no_argument, nullptr, 'v' },
    { "help", no_argument, nullptr, 'h' },
    { "version", no_argument, nullptr, 'V' },
    { nullptr, 0, nullptr, 0 },
};
// The leading ':' makes a missing argument return ':' instead of '?'.
constexpr const char *ShortOptions = ":o:d:F:nrj:qvhV";

// "-o/--output" for a short option, "--table" for a long one.
std::string nameOf(int value)
{
    std::string name;
    if (value < 256)
        name.append("-").append(1, static_cast<char>(value)).append("/");
    for (const option &o : LongOptions) {
        if (o.name && o.val == value)
            return name.append("--").append(o.name);
    }
    return name;
}

bool knownOption(int value)
{
    return value >= 256 || (value > 0 && std::strchr(ShortOptions + 1, value) != nullptr);
}

} // namespace

bool isDirectory(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &problem)
{
    // getopt_long permutes argv's pointers; the strings stay in args.
    std::vector<char *> argv;
    argv.reserve(args.size() + 2);
    std::string program(Program);
    argv.push_back(program.data());
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size() + 1);

    // optind 0 restarts glibc's scanner, so run() can be called more than once.
    optind = 0;
    opterr = 0; // the messages below are translated and go to the caller's stream
    int value = 0;
    while ((value = getopt_long(argc, argv.data(), ShortOptions, LongOptions, nullptr)) != -1) {
        switch (value) {
        case 'o':
        case 'd': {
            std::optional<std::string> &target = value == 'o' ? options.output : options.outputDir;
            if (target) {
                problem = nameOf(value) + tr(clitexts::GivenTwice);
                return false;
            }
            target = optarg;
            break;
        }
        case 'F':
            if (std::strcmp(optarg, "0") != 0 && std::strcmp(optarg, "1") != 0) {
                problem = std::string(tr(clitexts::FormatValue)).append(optarg);
                return false;
            }
            options.format = optarg[0] - '0';
            break;
        case 'n':
            options.noClobber = true;
            break;
        case 'r':
            options.recursive = true;
            break;
        case 'j': {
            const char *end = optarg + std::strlen(optarg);
            unsigned jobs = 0;
            const auto [stop, failure] = std::from_chars(optarg, end, jobs);
            if (failure != std::errc() || stop != end || jobs < 1 || jobs > MaxJobs) {
                problem = tr(clitexts::JobsRange) + std::to_string(MaxJobs) + ": " + optarg;
                return false;
            }
            options.jobs = jobs;
            break;
        }
        case OptTable:
            options.table = true;
            break;
        case OptVerify:
            options.verify = true;
            break;
        case OptByteOrder:
            options.byteOrder = true;
            break;
        case OptKeepTitle:
            options.keepTitle = true;
            break;
        case 'q':
            options.quiet = true;
            break;
        case 'v':
            options.verbose = true;
            break;
        case 'h':
            options.help = true;
            break;
        case 'V':
            options.version = true;
            break;
        case ':':
            problem = nameOf(optopt) + tr(clitexts::NeedsArgument);
            return false;
        default:
            // An unknown short option sets optopt to its letter; a long option
            // that is unknown or ambiguous leaves 0 and has been stepped over;
            // a known one given an argument it does not take sets its value.
            if (optopt != 0 && !knownOption(optopt))
                problem
                    = std::string(tr(clitexts::UnknownOption)).append(1, static_cast<char>(optopt));
            else if (optopt != 0)
                problem = nameOf(optopt) + tr(clitexts::TakesNoArgument);
            else
                problem = std::string(tr(clitexts::UnknownOrAmbiguous)).append(argv[optind - 1]);
            return false;
        }
    }
    options.inputs.assign(argv.begin() + optind, argv.begin() + argc);

    if (options.help || options.version)
        return true;
    if (options.inputs.empty()) {
        problem = tr(clitexts::NoInput);
        return false;
    }
    if (options.output && options.outputDir) {
        problem = tr(clitexts::OutputWithOutputDir);
        return false;
    }
    if (options.output && options.inputs.size() != 1) {
        problem = tr(clitexts::OutputForOneInput);
        return false;
    }
    if (!options.output
        && std::find(options.inputs.begin(), options.inputs.end(), Standard)
            != options.inputs.end()) {
        problem = tr(clitexts::StandardInputNeedsOutput);
        return false;
    }
    if (options.output && *options.output == Standard && options.table) {
        problem = tr(clitexts::TableAndStandardOutput);
        return false;
    }
    if (options.byteOrder && options.format == 1) {
        problem = tr(clitexts::ByteOrderWithSplit);
        return false;
    }
    if (options.output && isDirectory(options.inputs.front())) {
        problem = tr(clitexts::OutputForFolder) + options.inputs.front();
        return false;
    }
    return true;
}

unsigned defaultJobs()
{
    // The processors this process may use (taskset, cgroup cpusets), as nproc counts them.
    unsigned count = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        count = static_cast<unsigned>(CPU_COUNT(&set));
    if (count == 0)
        count = std::thread::hardware_concurrency();
    return std::clamp(count, 1u, MaxJobs);
}

} // namespace trackfold::cli
