// Reduction of a long spectrum to what a pixel column can show: for each column the smallest
// and largest value of the channels that fall into it, so a one-channel peak survives at any
// width and drawing costs two points per column instead of one segment per channel.
#pragma once

#include <vector>

namespace quantora::plots {

struct ColumnRange {
    double min = 0, max = 0;     // over the channels of the column
    double first = 0, last = 0;  // values of its first and last channel
    int channels = 0;            // 0: no channel centre falls into the column
};

// Column c holds the channels i with edges[c] <= i < edges[c + 1]; `edges` ascends and has one
// more element than there are columns. Channels outside [0, values.size()) are skipped.
std::vector<ColumnRange> DecimateColumns(const std::vector<double>& values,
                                         const std::vector<double>& edges);

}  // namespace quantora::plots
