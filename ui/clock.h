// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLOCK_H
#define TRACKFOLD_CLOCK_H

#include "conversion.h"

#include <QElapsedTimer>

namespace trackfold {

// The system's monotonic clock, counted from the object's creation.
class MonotonicClock final : public Clock
{
public:
    MonotonicClock() { m_timer.start(); }
    double seconds() override { return static_cast<double>(m_timer.nsecsElapsed()) / 1e9; }

private:
    QElapsedTimer m_timer;
};

} // namespace trackfold

#endif
