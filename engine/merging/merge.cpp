// SPDX-License-Identifier: MIT
#include "merge.h"

#include <cstring>

namespace trackfold {

int compareEventBytes(std::string_view image, const EventRef &a, const EventRef &b)
{
    if (a.status != b.status)
        return a.status < b.status ? -1 : 1;
    // Past the status byte the data compares byte by byte; whether a status
    // byte was implied in the file makes no difference to the event.
    const std::string_view da = dataBytes(image, a);
    const std::string_view db = dataBytes(image, b);
    const std::size_t n = std::min(da.size(), db.size());
    if (const int c = n ? std::memcmp(da.data(), db.data(), n) : 0)
        return c < 0 ? -1 : 1;
    return da.size() == db.size() ? 0 : (da.size() < db.size() ? -1 : 1);
}

} // namespace trackfold
