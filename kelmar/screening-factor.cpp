// The automatic screening factor: the Coulomb screening at which the mean diagonal stress of the
// cell in the force field changes sign, found by halving steps. The pair images of the cell are
// listed once for the whole search (the positions do not change, only the screening); every
// pressure is then the plain one, bit for bit, at a fraction of the cost.
#include "screening-factor.hpp"

#include <cmath>
#include <cstdio>

#include "property.hpp"
#include "rx-energy.hpp"
#include "rx-strain.hpp"

int kelmar_property_calculate_screening_factor(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell) {
    if (cell == nullptr || ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been initialized properly.\n");
        return 1;
    }
    if (ppt->sf > 0) return 0;
    ppt->sf = 0.75;
    if (property_check_complete(ppt, true) != 0) {
        std::printf("Warning: kelmar_property_validate_generic() returns non-zero.\n");
        std::printf("Message: default screening factor used %f.\n", 0.75);
        return 0;
    }
    rxstrain::StrainImages listed;
    const bool use_list = listed.build(cell, ppt);
    auto pressure = [&](double* p) {
        double stress[3];
        const int failed = use_list ? rxstrain::stress_diagonal(stress, cell, ppt, listed, 0)
                                    : kelmar_cell_calculate_stress_diagonal(stress, cell, ppt);
        if (failed != 0) return false;
        *p = (stress[0] + stress[1] + stress[2]) / 3.0;
        return true;
    };
    double p = 0.0;
    if (!pressure(&p)) {
        std::fprintf(stderr, "Error: kelmar_cell_calculate_stress_diagonal() returns non-zero.\n");
        return 1;
    }
    bool negative = p <= 0;
    double delta = 0.1, p_prev = 0.0, dp = 0.0;
    int counter = 0;
    bool first = true;
    do {
        // The first round is evaluated at the starting sf, whose pressure is already known.
        if (!first && !pressure(&p)) {
            std::fprintf(stderr, "Error: kelmar_cell_calculate_stress_diagonal() returns non-zero.\n");
            return 1;
        }
        first = false;
        if (!std::isfinite(p)) {
            // no sign to follow: a pressure that is not a number says nothing about the screening
            std::printf("Warning: the pressure of the cell is not finite at sf=%8.5f; the screening factor search "
                        "stops and the default value %f is used.\n", ppt->sf, 0.75);
            ppt->sf = 0.75;
            break;
        }
        if (p > 0) ppt->sf += delta;
        else ppt->sf -= delta;
        if ((p <= 0) != negative) delta /= 2.0;
        negative = p <= 0;
        dp = p - p_prev;
        p_prev = p;
        counter++;
        if (counter > 100) {
            std::printf("Warning: failed to converge the screening factor. Default value used.\n");
            ppt->sf = 0.75;
            break;
        }
        if (ppt->sf < 0.55 || ppt->sf > 1.0) {
            std::printf("Warning: screening factor out of bound (0.55~1.0). Default value used.\n");
            ppt->sf = 0.75;
            break;
        }
        std::printf("Message: calculating sf=%8.5f; p=%8.5f (conv: sf=%8.5f; p=%8.5f)\n", ppt->sf, p, delta, dp);
    } while (delta >= 0.0005 || dp >= 0.0005);
    std::printf("Message: final screening factor = %f\n", ppt->sf);
    return 0;
}
