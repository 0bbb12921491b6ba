// SPDX-License-Identifier: MIT
#include "cliapp.h"

#include <clocale>
#include <iostream>

#include <unistd.h>

int main(int argc, char **argv)
{
    // The system's reasons in messages (strerror) follow the user's locale.
    std::setlocale(LC_ALL, "");
    std::ios::sync_with_stdio(false);
    trackfold::cli::installInterruptHandlers();
    const std::vector<std::string> args(argv + 1, argv + argc);
    trackfold::cli::Console console { std::cin, std::cout, std::cerr };
    console.progress = ::isatty(STDERR_FILENO) == 1;
    return trackfold::cli::run(args, console);
}
