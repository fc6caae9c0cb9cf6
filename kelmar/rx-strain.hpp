// Total energies of a cell under small strains, for the stress by finite strain: the pair images
// that can enter are listed once, through the neighbour facility, and every strained energy runs
// over that list instead of over all pairs and all translations. The list keeps the order of the
// plain sum and drops only images that cannot enter, so every energy, and hence every stress, is
// the plain one to the last bit. The screening-factor search evaluates its pressures this way.
#pragma once

#include <cstdint>
#include <vector>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

namespace rxstrain {

// Largest strain element the list serves (the stresses use 1e-4).
inline constexpr double MAX_STRAIN = 1e-3;

class StrainImages {
public:
    // Lists the images of every pair of the cell within its reach plus the most a strain of
    // MAX_STRAIN can bring in. False after a message (missing species, absurd cell); the plain sums
    // then remain the way to go.
    bool build(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
    // The plain total energy (kelmar_cell_calculate_total_energy) of `strained`, a copy of the
    // listed cell deformed by at most MAX_STRAIN; eV.
    double total_energy(const KELMAR_CELL* strained, const KELMAR_PROPERTY* ppt) const;
    std::size_t size() const { return h_.size(); }

private:
    struct Shift {
        std::int16_t h[3];
    };
    long n_ = 0;
    double rmax_ = 0.0;
    std::vector<std::uint32_t> begin_;  // images of pair (i, j): begin_[i n + j] .. begin_[i n + j + 1] - 1
    std::vector<Shift> h_;
};

// Diagonal stress as kelmar_cell_calculate_stress_diagonal gives it, bit for bit, with the six
// strained energies from the list spread over `threads` threads (0: every usable CPU). 0 or 1
// after the same messages.
int stress_diagonal(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const StrainImages& list,
                    int threads);

}  // namespace rxstrain
