// SPDX-License-Identifier: MIT
#include "deltatimes.h"

#include "texts.h"

namespace trackfold {

std::string deltaTooLargeWarning(std::uint64_t row)
{
    return "Riga " + std::to_string(row) + texts::Crlf + texts::DeltaTooLarge;
}

} // namespace trackfold
