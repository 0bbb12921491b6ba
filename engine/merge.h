// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MERGE_H
#define TRACKFOLD_MERGE_H

#include <string>
#include <string_view>

#include "trackreader.h"

// Second half of the conversion: the scanned tracks become grid rows in time
// order, get their delta times and running status, and are written out.
namespace trackfold {

class EventGrid;

// Appends every collected event of the scanned tracks to the grid (which holds
// the heading and header rows and owns the image), ordered by time, ties by
// event bytes.
void mergeTracks(const TrackScan &scan, EventGrid &grid);

// Marks column 1 of every event row as the delta time to the row above. False
// with a warning naming the row when a delta exceeds a four-byte quantity.
bool fillDeltaTimes(EventGrid &grid, std::string &warning);

// Drops the status byte of each channel event whose row above has the same status.
void restoreRunningStatus(EventGrid &grid);

// The Format 0 image: header (its length field set), title event, the rows'
// delta times and bytes, End of Track.
std::string buildOutputImage(const EventGrid &grid, std::string_view header);

} // namespace trackfold

#endif
