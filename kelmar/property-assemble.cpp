// Assembly of a cell's parameter record: species from the cell, entries from the data files,
// derived quantities, the screening-factor search and the short-range parabolas, in that order.
#include "property-assemble.hpp"

#include <cstdio>
#include <cstring>

#include "kelmar.hpp"
#include "screening-factor.hpp"

int kelmar_property_update(KELMAR_PROPERTY* ppt, KELMAR_CELL* cell, const char* dir_unitary,
                           const char* dir_binary) {
    if (kelmar_property_update_read_from_file(ppt, dir_unitary, dir_binary) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_update_read_from_file() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_estimate(ppt, dir_binary) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_estimate() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_calculate_effective_b(ppt, cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_calculate_effective_b() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_unitary_derived(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_unitary_derived() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_binary_derived(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_binary_derived() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_calculate_fractional_charge(ppt, cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_calculate_fractional_charge() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_calculate_screening_factor(ppt, cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_calculate_screening_factor() returns negative value.\n");
        return 1;
    }
    std::printf("Message: sf=%.6f\n", ppt->sf);
    if (kelmar_property_binary_pseudopotential(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_binary_pseudopotential() returns non-zero.\n");
        return 1;
    }
    if (kelmar_property_calculate_type_count(ppt, cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_type_count() returns non-zero.\n");
        return 1;
    }
    return 0;
}

std::unique_ptr<KELMAR_PROPERTY> kelmar_property_import_from_cell(KELMAR_CELL* cell, const char* type, int os,
                                                                  double sf, const char* dir_unitary,
                                                                  const char* dir_binary) {
    // The fractional charges are rescaled to neutrality whatever the oxidation states say, so a
    // structure with unbalanced states is refused here instead of giving plausible-looking numbers.
    if (cell != nullptr && !kelmar_cell_formal_charge_balanced(cell)) return nullptr;
    auto ppt = kelmar_property_new(0);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_new() returns NULL.\n");
        return nullptr;
    }
    if (kelmar_property_update_index_by_cell(ppt.get(), cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_update_index_by_cell() returns non-zero.\n");
        return nullptr;
    }
    if (type != nullptr) {
        if (kelmar_property_append_index(ppt.get(), type, os) != 0) {
            std::fprintf(stderr, "Error: kelmar_property_append_index() returns non-zero.\n");
            return nullptr;
        }
        for (int i = 0; i < ppt->total; i++)
            if (ppt->os[i] == os && std::strcmp(ppt->type[i].data(), type) == 0) ppt->conducting = i;
    }
    ppt->sf = sf;
    if (kelmar_property_update(ppt.get(), cell, dir_unitary, dir_binary) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_update() returns non-zero.\n");
        return nullptr;
    }
    return ppt;
}
