// SPDX-License-Identifier: MIT
#include "cliapp.h"

#include "clitexts.h"
#include "conversion.h"
#include "convertone.h"
#include "execute.h"
#include "fileio.h"
#include "options.h"
#include "plan.h"
#include "printer.h"
#include "texts.h"

#include <algorithm>
#include <iostream>

#include <csignal>
#include <unistd.h>

namespace trackfold::cli {

namespace {

extern "C" void onInterrupt(int signal)
{
    removeLiveTemporaryFiles();
    ::_exit(128 + signal);
}

} // namespace

int run(const std::vector<std::string> &args, const Console &console)
{
    Options options;
    std::string problem;
    if (!parseOptions(args, options, problem)) {
        console.err << Program << ": " << problem << '\n'
                    << tr(clitexts::Usage) << '\n'
                    << tr(clitexts::HelpHint);
        return WrongUsage;
    }
    if (options.help) {
        console.out << tr(clitexts::Usage) << "\n\n" << tr(clitexts::Help) << std::flush;
        return AllConverted;
    }
    if (options.version) {
        console.out << Program << ' ' << texts::Version << '\n' << std::flush;
        return AllConverted;
    }

    Plan plan(options);
    const bool batch = plan.files() > 1;

    JobSettings settings;
    settings.batch = batch;
    settings.createFolders = options.outputDir.has_value();
    settings.conversion.keepExisting = options.noClobber;
    settings.table = options.table;
    settings.conversion.verify = options.verify;
    settings.quiet = options.quiet;
    settings.verbose = options.verbose;
    settings.conversion.byteOrder = options.byteOrder;
    settings.conversion.keepTitle = options.keepTitle;
    settings.conversion.format = options.format;
    // A single file may use every core it is given; a batch converts a file
    // on each.
    if (plan.conversions() <= 1)
        settings.conversion.threads = options.jobs ? options.jobs : defaultJobs();

    SteadyClock steady;
    Clock &clock = console.clock ? *console.clock : steady;
    Printer printer(console, console.progress && batch && !options.quiet, plan.files());
    const unsigned workers = static_cast<unsigned>(
        std::min<std::size_t>(options.jobs ? options.jobs : defaultJobs(), plan.conversions()));
    execute(plan, workers, settings, console, printer, clock);
    printer.finish(batch && !options.quiet);

    bool allConverted = printer.count(Result::Failed) == 0;
    // A table that did not reach standard output is a failure too; -o - checks its own data.
    if (printer.hasWrittenTable() && !console.out.flush()) {
        console.err << errorLine(Standard,
            std::string(tr(clitexts::CannotWriteTable)).append(systemReason(errno ? errno : EIO)))
                    << '\n';
        allConverted = false;
    }
    return allConverted ? AllConverted : SomeFailed;
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    return run(args, Console { std::cin, out, err });
}

void installInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // One handler at a time: the second signal waits for the _exit().
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (const int signal : { SIGINT, SIGTERM }) {
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue; // a background job started with the signal ignored keeps it so
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace trackfold::cli
