// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLI_EXECUTE_H
#define TRACKFOLD_CLI_EXECUTE_H

#include "cliapp.h"
#include "convertone.h"
#include "plan.h"
#include "printer.h"

namespace trackfold::cli {

// Converts the plan's files and prints every item's outcome in input order.
// With one worker the calling thread converts file after file, standard input
// and output going straight through the console; with more, as many threads as
// the system gives convert (the calling thread if it gives none) and the
// calling thread prints what is ready as it goes. The clock is shared by them.
void execute(Plan &plan, unsigned workers, const JobSettings &settings, const Console &console,
    Printer &printer, Clock &clock);

} // namespace trackfold::cli

#endif
