#pragma once
// What a paced line did over a whole run, added up from the reports of its rounds,
// and printed so a reader can judge whether the line kept its pace.
#include "PacedLine.h"

#include <vector>

struct PaceTotals {
    PacedLine::Pace pace[2];
    qint64 overlaps = 0;
    std::vector<double> turnaroundUs[2];  // as in PacedLine::Report

    void add(const PacedLine::Report& report);
    // Two lines: the pace against the nominal character time, and what the relay
    // itself added to the frames it carried.
    void print(const PacedLine& line) const;
};
