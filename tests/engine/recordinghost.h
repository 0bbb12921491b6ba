// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_RECORDINGHOST_H
#define TRACKFOLD_RECORDINGHOST_H

#include "conversion.h"
#include "eventgrid.h"

#include <string>
#include <vector>

namespace trackfold::test {

// A conversion host that records everything the engine reports.
class RecordingHost : public ConversionHost
{
public:
    EventGrid &grid() override { return m_grid; }
    void showStatus(const std::string &caption) override { captions.push_back(caption); }
    void showMessage(const Message &message) override { messages.push_back(message); }
    void setBusy(bool busy) override { busyChanges.push_back(busy); }
    double timer() override { return clock; }
    void setRIGHE(std::int64_t rows) override { RIGHE = rows; }
    void setINIZIO(double seconds) override { INIZIO = seconds; }

    std::vector<std::string> captions;
    std::vector<Message> messages;
    std::vector<bool> busyChanges;
    double clock = 42.5;
    std::int64_t RIGHE = -1;
    double INIZIO = -1;

private:
    EventGrid m_grid;
};

} // namespace trackfold::test

#endif
