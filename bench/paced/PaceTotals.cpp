#include "PaceTotals.h"

#include <algorithm>
#include <cstdio>

namespace {

void addPace(PacedLine::Pace& into, const PacedLine::Pace& from)
{
    into.bytes += from.bytes;
    into.frames += from.frames;
    into.backToBack += from.backToBack;
    into.intervalSumUs += from.intervalSumUs;
    into.lateSumUs += from.lateSumUs;
    into.lateMaxUs = std::max(into.lateMaxUs, from.lateMaxUs);
    into.silencesInFrames += from.silencesInFrames;
    into.frameEnds += from.frameEnds;
    into.endLateSumUs += from.endLateSumUs;
    into.endLateMaxUs = std::max(into.endLateMaxUs, from.endLateMaxUs);
    into.dropped += from.dropped;
}

} // namespace

void PaceTotals::add(const PacedLine::Report& report)
{
    for (size_t d = 0; d < 2; ++d) {
        addPace(pace[d], report.pace[d]);
        overlaps += report.overlaps[d];
        turnaroundUs[d].insert(turnaroundUs[d].end(), report.turnaroundUs[d].begin(), report.turnaroundUs[d].end());
    }
}

void PaceTotals::print(const PacedLine& line) const
{
    PacedLine::Pace all;
    addPace(all, pace[0]);
    addPace(all, pace[1]);
    std::printf("line: %lld bytes in %lld frames; bytes back to back left every %.1f us on average against %.1f us "
                "nominal; a byte left %.1f us after it was due on average, %.0f us at most; %lld silences of 3.5 "
                "characters or more inside frames (relay threads %s)\n",
                static_cast<long long>(all.bytes), static_cast<long long>(all.frames), all.meanIntervalUs(),
                line.characterTimeUs(), all.meanLateUs(), all.lateMaxUs, static_cast<long long>(all.silencesInFrames),
                line.realTime() ? "at real-time priority" : "at normal priority: real-time was refused");
    std::printf("line: the last byte of a frame left %.1f us after it was due on average, %.0f us at most (what "
                "the relay added to a frame); %lld bytes dropped; %lld frames started while the other end was "
                "still sending\n",
                all.meanEndLateUs(), all.endLateMaxUs, static_cast<long long>(all.dropped),
                static_cast<long long>(overlaps));
}
