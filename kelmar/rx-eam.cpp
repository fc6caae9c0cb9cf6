// Total energy with the embedding (EAM) term: the pair sum of rx-energy plus, per atom, the
// embedding energy from its bond-valence sum.
#include "rx-eam.hpp"

#include <cstdio>

#include "bv.hpp"
#include "kelmar.hpp"
#include "property.hpp"
#include "rx-energy.hpp"

namespace {

// S_i of an atom from the sums of its site; false after a message when a lookup fails. The total
// energy adds occ f1 x^2 - occ f1 per atom, the embedding energy alone occ f1 (x^2 - 1): the two
// round differently in the last digit, and each keeps its own form.
bool embedding_sum(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const KELMAR_BV* bv, bool factored,
                   double* result) {
    double sum = 0.0;
    for (const KELMAR_ATOM& a : cell->atom) {
        const int k = kelmar_property_find_index(ppt, a.type, a.os);
        if (k < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return false;
        }
        const long s = kelmar_bv_find_index(bv, a.name, a.os);
        if (s < 0) {
            std::fprintf(stderr, "Error: kelmar_bv_find_index() returns negative value.\n");
            return false;
        }
        const double dv = (bv->sum[s] - a.os) / a.os;
        if (factored) sum += a.occ * ppt->uni[k].f1 * (dv * dv - 1.0);
        else sum += a.occ * ppt->uni[k].f1 * (dv * dv) - a.occ * ppt->uni[k].f1;
    }
    *result = sum;
    return true;
}

}  // namespace

double kelmar_cell_calculate_total_energy_eam(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!rx_inputs_ready(cell, ppt)) return 0.0;
    auto bv = kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(cell, ppt);
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_flagged_cell_at_default_cutoff() returns NULL.\n");
        return 0.0;
    }
    double pair = 0.0, embed = 0.0;
    if (!rx_pair_sum_eam(cell, ppt, &pair)) return 0.0;
    if (!embedding_sum(cell, ppt, bv.get(), false, &embed)) return 0.0;
    return 7.19982 * (pair + embed);
}

double kelmar_cell_calculate_eam_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!rx_inputs_ready(cell, ppt)) return 0.0;
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell, ppt);
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_flagged_cell() returns NULL.\n");
        return 0.0;
    }
    double embed = 0.0;
    if (!embedding_sum(cell, ppt, bv.get(), true, &embed)) return 0.0;
    return 7.19982 * embed;
}

double kelmar_cell_total_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, bool eam) {
    if (eam) {
        const double e = kelmar_cell_calculate_total_energy_eam(cell, ppt);
        if (e == 0.0) std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy_eam() returns zero.\n");
        return e;
    }
    const double e = kelmar_cell_calculate_total_energy(cell, ppt);
    if (e == 0.0) std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy() returns zero.\n");
    return e;
}
