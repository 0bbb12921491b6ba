// SPDX-License-Identifier: MIT
#include "deltatimes.h"

#include "texts.h"

namespace trackfold {

std::string deltaTooLargeWarning(std::uint64_t row)
{
    return tr(N_("Riga ")) + std::to_string(row) + texts::Crlf + tr(texts::DeltaTooLarge);
}

} // namespace trackfold
