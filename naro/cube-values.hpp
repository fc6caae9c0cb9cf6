// The energy lines of a cube file, one value per line, parsed in parallel into the grid.
#pragma once
#include <cstdio>
#include <vector>

enum class NaroValueStatus { ok, invalid_value, missing_values, extra_values };

// What the energy lines held: the status and the lowest value kept.
struct NaroValueRead {
    NaroValueStatus status = NaroValueStatus::ok;
    double lowest = 0;
};

// Reads the file_grid[0] x file_grid[1] x file_grid[2] value lines that follow the header in fp
// (index (i * nb + j) * nc + k, c fastest) and stores those with i, j, k below kept_grid into
// energy (sized for kept_grid). Lines after the last value must be blank. The values are the
// doubles strtod gives for the same text, whatever the thread count.
NaroValueRead naro_read_value_lines(std::FILE* fp, const int file_grid[3], const int kept_grid[3],
                                    std::vector<double>& energy, int threads);
