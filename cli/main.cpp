// SPDX-License-Identifier: MIT
#include "cliapp.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return trackfold::cli::run(args, std::cout, std::cerr);
}
