// SPDX-License-Identifier: MIT
// Fuzz target over the whole conversion. Every input must either convert into
// a well-formed single-track image or fail with exactly one warning and an
// empty result; anything else aborts, so libFuzzer (or the replay program)
// reports the input.
#include "conversion.h"
#include "eventgrid.h"
#include "texts.h"
#include "trackreader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace trackfold;

// An observer that only remembers what the checks below need.
class FuzzHost : public ConversionObserver, public Clock
{
public:
    void showStatus(const std::string &) override { }
    void showMessage(const Message &message) override
    {
        ++messages;
        lastMessage = message;
    }
    void setBusy(bool on) override { busy = on; }
    double seconds() override { return 0.0; }

    int messages = 0;
    Message lastMessage;
    bool busy = false;
};

[[noreturn]] void violated(const char *what)
{
    std::fprintf(stderr, "trackfold fuzz: invariant violated: %s\n", what);
    std::abort();
}

void check(bool ok, const char *what)
{
    if (!ok)
        violated(what);
}

std::uint8_t at(std::string_view s, std::size_t i)
{
    return static_cast<std::uint8_t>(s[i]);
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The warning texts the conversion can give, by their shape.
bool isKnownWarning(std::string_view text)
{
    const std::string_view crlf = texts::Crlf;
    if (text == texts::InvalidHeader || text == texts::FileTooLarge || text == texts::Format2
        || text == texts::RiffNotRmid || text == texts::RmidNoData || text == texts::RmidTruncated)
        return true;
    std::string_view rest;
    if (startsWith(text, "Pos."))
        rest = text.substr(4);
    else if (startsWith(text, "Riga "))
        rest = text.substr(5);
    else
        return false;
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
    if (digits == 0 || !startsWith(rest.substr(digits), crlf))
        return false;
    const std::string_view what = rest.substr(digits + crlf.size());
    if (startsWith(text, "Riga "))
        return what == texts::DeltaTooLarge;
    if (what == texts::IncompleteEvent || what == texts::TimeTooLarge)
        return true;
    // "Status " + decimal status + " - Valore sconosciuto"
    if (!startsWith(what, "Status "))
        return false;
    std::string_view status = what.substr(7);
    std::size_t n = 0;
    while (n < status.size() && status[n] >= '0' && status[n] <= '9')
        ++n;
    return n > 0 && n <= 3 && status.substr(n) == texts::UnknownValue;
}

void checkOutput(std::string_view input, std::string_view out)
{
    static constexpr std::string_view Title = texts::Title;
    const std::size_t titleEvent = 4 + Title.size();
    check(out.size() >= 22 + titleEvent + 4, "output shorter than header, title and End of Track");

    for (std::size_t i = 0; i < 14; ++i) {
        // Format 0 and one track, both 16 bits.
        std::uint8_t want = at(input, i);
        if (i >= 8 && i <= 10)
            want = 0;
        if (i == 11)
            want = 1;
        check(
            at(out, i) == want, "header bytes 0-13 differ from the input's (format 0, one track)");
    }
    check(out.substr(14, 4) == "MTrk", "track tag is not MTrk");
    std::uint64_t length = 0;
    for (std::size_t i = 18; i < 22; ++i)
        length = (length << 8) | at(out, i);
    check(length == out.size() - 22, "track length field does not match the output size");

    check(at(out, 22) == 0x00 && at(out, 23) == 0xFF && at(out, 24) == 0x03
            && at(out, 25) == Title.size() && out.substr(26, Title.size()) == Title,
        "first event is not the title");
    check(out.substr(out.size() - 3) == std::string_view("\xFF\x2F\x00", 3),
        "output does not end with End of Track");
}

struct Played
{
    std::uint64_t time;
    std::size_t track;
    EventRef event;
};

bool sameEvent(std::string_view a, const EventRef &x, std::string_view b, const EventRef &y)
{
    return x.status == y.status && dataBytes(a, x) == dataBytes(b, y);
}

// The output plays the input: every track's events in their file order, and
// at one tick track after track. Checked against a plain stable sort of all
// events by time and track, not against the merge.
void checkPlayOrder(std::string_view input, std::string_view out)
{
    TrackScan in, written;
    check(scanTracks(input, in), "a converted input does not scan");
    check(scanTracks(out, written) && written.tracks.size() == 1, "the output is not one track");
    std::vector<Played> expected;
    std::uint64_t end = 0;
    for (std::size_t t = 0; t < in.tracks.size(); ++t) {
        end = std::max(end, in.tracks[t].endTime);
        for (TrackCursor c(input, in.tracks[t]); !c.atEnd(); c.advance())
            expected.push_back({ c.time(), t, c.event() });
    }
    std::stable_sort(expected.begin(), expected.end(), [](const Played &a, const Played &b) {
        return a.time != b.time ? a.time < b.time : a.track < b.track;
    });
    TrackCursor got(out, written.tracks.front());
    for (const Played &e : expected) {
        check(!got.atEnd(), "an event of the input is missing");
        check(got.time() == e.time && sameEvent(out, got.event(), input, e.event),
            "events out of play order");
        end = std::max(end, e.time);
        got.advance();
    }
    check(got.atEnd(), "the output holds an event the input does not");
    check(written.tracks.front().endTime == end, "End of Track is not where the input ends");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    FuzzHost host;
    EventGrid grid;
    ConversionResult result;
    const std::string out = SalvaMidi0(input, grid, host, host, result);

    check(!host.busy, "busy pointer left on");
    if (out.empty()) {
        check(host.messages == 1, "a failed conversion must show exactly one message");
        check(host.lastMessage.icon == MessageIcon::Warning, "failure message is not a warning");
        check(isKnownWarning(host.lastMessage.text), "failure message has an unknown text");
    } else {
        check(host.messages == 0, "a successful conversion showed a message");
        // An RMID file converts as the file it wraps.
        std::string_view converted = input;
        std::string_view inner;
        if (unwrapRiffMidi(input, inner) == RiffMidi::Unwrapped)
            converted = inner;
        checkOutput(converted, out);
        checkPlayOrder(converted, out);
    }
    return 0;
}
