// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_RECORDINGHOST_H
#define TRACKFOLD_RECORDINGHOST_H

#include "conversion.h"
#include "eventgrid.h"

#include <string>
#include <vector>

namespace trackfold::test {

// Records everything a conversion reports, and serves a fixed clock.
class RecordingHost : public ConversionObserver, public Clock
{
public:
    EventGrid &grid() { return m_grid; }
    void showStatus(const std::string &caption) override { captions.push_back(caption); }
    void showMessage(const Message &message) override { messages.push_back(message); }
    void setBusy(bool busy) override { busyChanges.push_back(busy); }
    double seconds() override { return clock; }

    std::vector<std::string> captions;
    std::vector<Message> messages;
    std::vector<bool> busyChanges;
    double clock = 42.5;
    std::int64_t RIGHE = -1;
    double INIZIO = -1;

private:
    EventGrid m_grid;
};

// The window's conversion with a recording host: the grid, RIGHE and INIZIO
// end up in the host.
inline std::string SalvaMidi0(
    std::string StrMIDI, RecordingHost &host, const ConversionJob &options = {})
{
    ConversionResult result;
    std::string out
        = trackfold::SalvaMidi0(std::move(StrMIDI), host.grid(), host, host, result, options);
    if (result.converted()) {
        host.RIGHE = result.RIGHE;
        host.INIZIO = result.INIZIO;
    }
    return out;
}

} // namespace trackfold::test

#endif
