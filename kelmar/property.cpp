// Parameter record: allocation, data-file readers, species index, validation, printing.
#include "property.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "atom-order.hpp"
#include "data-file.hpp"

namespace {

void fill_names(KELMAR_PROPERTY* ppt) {
    for (int i = 0; i < ppt->total; i++) {
        kelmar_copy_field(ppt->uni[i].type, ppt->type[i].data());
        ppt->uni[i].os = ppt->os[i];
        for (int j = 0; j < ppt->total; j++) {
            KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            kelmar_copy_field(e.type1, ppt->type[i].data());
            e.os1 = ppt->os[i];
            kelmar_copy_field(e.type2, ppt->type[j].data());
            e.os2 = ppt->os[j];
        }
    }
}

void release_arrays(KELMAR_PROPERTY* ppt) {
    ppt->total = 0;
    ppt->type.clear();
    ppt->os.clear();
    ppt->count.clear();
    ppt->uni.clear();
    ppt->bin.clear();
}

}  // namespace

// --- allocation -------------------------------------------------------------------------------------

int kelmar_property_unitary_new(std::vector<KELMAR_PROPERTY_UNITARY>* uni, int total) {
    if (total <= 0) {
        std::fprintf(stderr, "Error: number of counts must be positive.\n");
        return 1;
    }
    uni->assign(static_cast<std::size_t>(total), KELMAR_PROPERTY_UNITARY{});
    return 0;
}

int kelmar_property_binary_new(std::vector<std::vector<KELMAR_PROPERTY_BINARY>>* bin, int total) {
    if (total <= 0) {
        std::fprintf(stderr, "Error: number of counts must be positive.\n");
        return 1;
    }
    bin->assign(static_cast<std::size_t>(total),
                std::vector<KELMAR_PROPERTY_BINARY>(static_cast<std::size_t>(total), KELMAR_PROPERTY_BINARY{}));
    return 0;
}

std::unique_ptr<KELMAR_PROPERTY> kelmar_property_new(int total) {
    if (total < 0) {
        std::fprintf(stderr, "Error: number of counts must not be negative.\n");
        return nullptr;
    }
    auto ppt = std::make_unique<KELMAR_PROPERTY>();
    ppt->sf = 0.0;
    ppt->conducting = -1;
    if (total == 0) return ppt;
    ppt->total = total;
    ppt->type.assign(static_cast<std::size_t>(total), KELMAR_TYPE_NAME{});
    ppt->os.assign(static_cast<std::size_t>(total), 0);
    ppt->count.assign(static_cast<std::size_t>(total), 0.0);
    if (kelmar_property_unitary_new(&ppt->uni, total) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_unitary_new() returns NULL.\n");
        return nullptr;
    }
    if (kelmar_property_binary_new(&ppt->bin, total) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_binary_new() returns non-zero.\n");
        return nullptr;
    }
    return ppt;
}

std::unique_ptr<KELMAR_PROPERTY> kelmar_property_copy(const KELMAR_PROPERTY* ppt) {
    if (ppt == nullptr || ppt->uni.empty() || ppt->bin.empty()) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    return std::make_unique<KELMAR_PROPERTY>(*ppt);
}

int kelmar_property_find_index(const KELMAR_PROPERTY* ppt, const char* type, int os) {
    if (ppt == nullptr || type == nullptr) return -1;
    for (int i = 0; i < ppt->total; i++)
        if (ppt->os[i] == os && std::strcmp(ppt->type[i].data(), type) == 0) return i;
    return -1;
}

int kelmar_property_set_conducting(KELMAR_PROPERTY* ppt, const char* type, int os) {
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    ppt->conducting = kelmar_property_find_index(ppt, type, os);
    if (ppt->conducting < 0) {
        ppt->conducting = -1;
        std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
        return 1;
    }
    return 0;
}

void kelmar_property_print(const KELMAR_PROPERTY* ppt) {
    if (ppt == nullptr || ppt->total <= 0 || ppt->uni.empty() || ppt->bin.empty()) {
        std::printf("PPT: (not allocated)\n");
        return;
    }
    std::printf("PPT: total number of PROPERTY_UNITARY: %d\n", ppt->total);
    for (int i = 0; i < ppt->total; i++) {
        const KELMAR_PROPERTY_UNITARY& u = ppt->uni[i];
        std::printf("%s(%d):soft=%5.3f;rc=%5.3f;m=%6.2f;an=%d;n=%d;g=%d;b=%d;c=%d;q=%6.3f\n", u.type, u.os, u.soft,
                    u.rc, u.m, u.an, u.n, u.g, u.b, u.c, u.q);
    }
    std::printf("PPT: total number of PROPERTY_BINARY: %d\n", ppt->total * ppt->total);
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            std::printf(
                "%s(%d)%s(%d):b=%5.3f;b_old=%5.3f;r0=%5.3f;cutoff=%3.1f;cn=%4.2f;d0=%6.3f,rmin=%5.3f;r_bc=%5.3f;"
                "r_cc=%5.3f;bv_s=%6.3f;en_s=%8.5f;f_s=%7.5f;a0=%6.3f;a1=%5.3f;a2=%5.3f\n",
                e.type1, e.os1, e.type2, e.os2, e.b, e.b_old, e.r0, e.cutoff, e.cn, e.d0, e.rmin, e.r_bc, e.r_cc,
                e.bv_s, e.en_s, e.f_s, e.a0, e.a1, e.a2);
        }
    if (ppt->conducting < 0 || ppt->conducting >= ppt->total)
        std::printf("PPT: conducting species not specified.\n");
    else
        std::printf("PPT: conducting species = %s(%d)\n", ppt->type[ppt->conducting].data(),
                    ppt->os[ppt->conducting]);
    std::printf("PPT: screening factor=%.6f\n", ppt->sf);
}

void kelmar_property_print_format(const KELMAR_PROPERTY* ppt) {
    if (ppt == nullptr || ppt->total <= 0 || ppt->uni.empty() || ppt->bin.empty()) {
        std::printf("PPT: (not allocated)\n");
        return;
    }
    const std::string eq63 = "PPT:" + std::string(63, '=') + "\n";
    const std::string dash63 = "PPT:" + std::string(63, '-') + "\n";
    const std::string eq90 = "PPT:" + std::string(90, '=') + "\n";
    const std::string dash90 = "PPT:" + std::string(90, '-') + "\n";
    std::printf("PPT: total number of PROPERTY_UNITARY: %d\n", ppt->total);
    std::fputs(eq63.c_str(), stdout);
    std::printf("PPT: | %s | %s | %s | %s | %s | %s | %s |\n", "type", "count", "an", "softness", "  rc",
                "        q", "     F_1");
    std::fputs(dash63.c_str(), stdout);
    for (int i = 0; i < ppt->total; i++) {
        const KELMAR_PROPERTY_UNITARY& u = ppt->uni[i];
        std::printf("PPT: | %2s%d%c | %5.1f | %2d | %8.6f | %4.2f | %9.6f | %8.6f |\n", ppt->type[i].data(),
                    std::abs(ppt->os[i]), ppt->os[i] > 0 ? '+' : '-', ppt->count[i], u.an, u.soft, u.rc, u.q, u.f1);
    }
    std::fputs(dash63.c_str(), stdout);
    std::printf("PPT: total number of PROPERTY_BINARY: %d\n", ppt->total * ppt->total);
    std::fputs(eq90.c_str(), stdout);
    std::printf("PPT: | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", "cation", " anion", "     D_0", "   R_min",
                "    b", "     R_0", "R_cutoff", "  CN", "     F_0");
    std::fputs(dash90.c_str(), stdout);
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            if (!(e.cutoff > 0)) continue;
            std::printf("PPT: | %4s%d%c | %4s%d%c | %8.6f | %8.6f | %5.3f | %8.6f | %8.6f | %4.2f | %8.6f |\n",
                        ppt->type[i].data(), std::abs(ppt->os[i]), ppt->os[i] > 0 ? '+' : '-', ppt->type[j].data(),
                        std::abs(ppt->os[j]), ppt->os[j] > 0 ? '+' : '-', e.d0 * 14.39964 * 0.5, e.rmin, e.b, e.r0,
                        e.cutoff, e.cn, e.f0 * 14.39964 * 0.5);
        }
    std::fputs(eq90.c_str(), stdout);
    std::printf("PPT: screening factor = %.6f\n", ppt->sf);
}

// --- data files ---------------------------------------------------------------------------------------

int kelmar_property_unitary_read_from_file(KELMAR_PROPERTY_UNITARY* uni, const char* type, int os,
                                           const char* dir_unitary) {
    if (uni == nullptr || type == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    kelmar_copy_field(uni->type, type);
    uni->os = os;
    int status = 0;
    const bool opened = visit_data_block(dir_unitary, DataLineRead::buffered, [&](const std::string& text) {
        const char* line = text.c_str();
        char symbol[1024];
        int an = 0, os_line = 0;
        if (std::sscanf(line, "%d %1023s %d", &an, symbol, &os_line) != 3) return false;
        if (os_line != os || std::strcmp(symbol, type) != 0) return false;
        int os_default = 0;
        double m = 0, rc = 0, soft = 0;
        int n = 0, g = 0, b = 0;
        const int got = std::sscanf(line, "%d %1023s %d %d %lf %d %d %d %lf %lf", &an, symbol, &os_line,
                                    &os_default, &m, &n, &g, &b, &rc, &soft);
        if (got < 10) {
            std::fprintf(stderr, "Error: unable read KELMAR_PROPERTY_UNITARY.\n");
            status = 1;
            return true;
        }
        uni->an = an;
        uni->m = m;
        uni->n = n;
        uni->g = g;
        uni->b = b;
        uni->rc = rc;
        uni->soft = soft;
        return true;
    });
    if (!opened) {
        std::fprintf(stderr, "Error: unable to open %s\n", dir_unitary != nullptr ? dir_unitary : "(null)");
        return 1;
    }
    return status;
}

int kelmar_property_binary_read_from_file(KELMAR_PROPERTY_BINARY* bin, const char* type1, int os1,
                                          const char* type2, int os2, const char* dir_binary) {
    if (bin == nullptr || type1 == nullptr || type2 == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    kelmar_copy_field(bin->type1, type1);
    bin->os1 = os1;
    kelmar_copy_field(bin->type2, type2);
    bin->os2 = os2;
    int status = 0;
    const bool opened = visit_data_block(dir_binary, DataLineRead::buffered, [&](const std::string& text) {
        const char* line = text.c_str();
        char s1[1024], s2[1024];
        int o1 = 0, o2 = 0;
        double r0 = 0, b = 0, cn = 0, cutoff = 0;
        const int got = std::sscanf(line, "%1023s %d %1023s %d %lf %lf %lf %lf", s1, &o1, s2, &o2, &r0, &b, &cn,
                                    &cutoff);
        if (got < 4) return false;
        if (o1 != os1 || o2 != os2 || std::strcmp(s1, type1) != 0 || std::strcmp(s2, type2) != 0) return false;
        if (got < 8) {
            std::fprintf(stderr, "Error: unable read KELMAR_PROPERTY_BINARY.\n");
            status = 1;
            return true;
        }
        bin->r0 = r0;
        bin->b_old = b;
        bin->b = b;
        bin->cn = cn;
        bin->cutoff = cutoff;
        return true;
    });
    if (!opened) {
        std::fprintf(stderr, "Error: unable to open %s\n", dir_binary != nullptr ? dir_binary : "(null)");
        return 1;
    }
    return status;
}

int kelmar_property_binary_estimate_from_file(KELMAR_PROPERTY_BINARY* bin, const char* dir_binary) {
    if (bin == nullptr) return 0;
    if (!(bin->os1 > 0 && bin->os2 < 0 && bin->cn <= 0.01)) return 0;
    struct RULE {
        const char* anion;
        int os;
        const char* ref;
        int ref_os;
        double slope, intercept;
        bool cutoff_too;  // the pair also takes the reference pair's cutoff
    };
    // Halide and sulfide pairs follow linear fits to the fluoride and oxide pairs; a nitride pair
    // takes the oxide pair's coordination number unchanged (the cation's usual coordination) and
    // keeps its own cutoff.
    static const RULE rules[5] = {{"Cl", -1, "F", -1, 0.3984, 3.4568, true},
                                  {"Br", -1, "F", -1, 0.3457, 3.3798, true},
                                  {"I", -1, "F", -1, 0.3806, 2.7873, true},
                                  {"S", -2, "O", -2, 0.7414, 0.9597, true},
                                  {"N", -3, "O", -2, 1.0, 0.0, false}};
    for (const RULE& r : rules) {
        if (bin->os2 != r.os || std::strcmp(bin->type2, r.anion) != 0) continue;
        KELMAR_PROPERTY_BINARY ref;
        if (kelmar_property_binary_read_from_file(&ref, bin->type1, bin->os1, r.ref, r.ref_os, dir_binary) != 0)
            return 0;
        if (ref.cn > 0) bin->cn = r.slope * ref.cn + r.intercept;
        if (ref.cutoff > 0 && (r.cutoff_too || !(bin->cutoff > 0))) bin->cutoff = ref.cutoff;
        return 0;
    }
    return 0;
}

int kelmar_property_type_from_atomic_number(int an, KELMAR_ATOM* atom, const char* dir_unitary) {
    if (atom == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_ATOM has not been initialized properly.\n");
        return 1;
    }
    bool found = false;
    bool bad = false;
    const bool opened = visit_data_block(dir_unitary, DataLineRead::buffered, [&](const std::string& text) {
        const char* line = text.c_str();
        int a = 0, os_default = 0;
        char symbol[1024];
        const int got = std::sscanf(line, "%d %1023s %*d %d", &a, symbol, &os_default);
        if (got < 2) {
            std::fprintf(stderr, "Error: unable to process line %s.\n", line);
            bad = true;
            return true;
        }
        if (a != an) return false;
        char type[3];
        std::strncpy(type, symbol, 2);
        type[2] = '\0';
        kelmar_copy_field(atom->type, type);
        atom->os = (got >= 3) ? os_default : 0;
        found = true;
        return true;
    });
    if (!opened) {
        std::fprintf(stderr, "Error: unable to open %s.\n", dir_unitary != nullptr ? dir_unitary : "(null)");
        return 1;
    }
    if (bad) return 1;
    if (!found) {
        std::fprintf(stderr, "Error: unable to find element with atomic number %d from %s.\n", an, dir_unitary);
        return 1;
    }
    return 0;
}

double kelmar_property_hardness_read_from_file(const char* type, int os, const char* dir_hardness) {
    double result = 0.0;
    const bool opened = visit_data_block(dir_hardness, DataLineRead::buffered, [&](const std::string& text) {
        const char* line = text.c_str();
        char symbol[1024];
        double v[8] = {};
        const int got = std::sscanf(line, "%1023s %lf %lf %lf %lf %lf %lf %lf %lf", symbol, &v[0], &v[1], &v[2],
                                    &v[3], &v[4], &v[5], &v[6], &v[7]);
        if (got < 1 || type == nullptr || std::strcmp(symbol, type) != 0) return false;
        const int values = got - 1;
        result = (os >= 0 && os <= values - 1) ? v[os] : 0.0;
        return false;
    });
    if (!opened) {
        std::printf("Warning: unable to open %s\n", dir_hardness != nullptr ? dir_hardness : "(null)");
        return 0.0;
    }
    return result;
}

// --- species index and assembly ---------------------------------------------------------------------------

int kelmar_property_update_index_by_cell(KELMAR_PROPERTY* ppt, KELMAR_CELL* cell) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    release_arrays(ppt);
    // The sort puts the atoms of one species next to each other, so every change of (type, os)
    // between neighbours closes a species, in sort order.
    kelmar_atom_sort(cell->atom.data(), cell->total());
    const long n = cell->total();
    for (long k = 0; k < n; k++) {
        const KELMAR_ATOM& a = cell->atom[static_cast<std::size_t>(k)];
        const bool last_of_run = (k == n - 1) || a.os != cell->atom[static_cast<std::size_t>(k + 1)].os ||
                                 std::strcmp(a.type, cell->atom[static_cast<std::size_t>(k + 1)].type) != 0;
        if (!last_of_run) continue;
        KELMAR_TYPE_NAME t{};
        kelmar_copy_field(t.data(), t.size(), a.type);
        ppt->type.push_back(t);
        ppt->os.push_back(a.os);
    }
    ppt->total = static_cast<int>(ppt->type.size());
    ppt->count.assign(static_cast<std::size_t>(ppt->total), 0.0);
    if (kelmar_property_unitary_new(&ppt->uni, ppt->total) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_unitary_new() returns NULL.\n");
        return 1;
    }
    if (kelmar_property_binary_new(&ppt->bin, ppt->total) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_binary_new() returns non-zero.\n");
        return 1;
    }
    fill_names(ppt);
    return 0;
}

int kelmar_property_append_index(KELMAR_PROPERTY* ppt, const char* type, int os) {
    if (ppt == nullptr || ppt->total < 0 || type == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    if (kelmar_property_find_index(ppt, type, os) >= 0) return 0;
    KELMAR_TYPE_NAME t{};
    kelmar_copy_field(t.data(), t.size(), type);
    ppt->type.push_back(t);
    ppt->os.push_back(os);
    ppt->count.push_back(0.0);
    ppt->total += 1;
    // The tables are rebuilt empty; they are filled from the files afterwards.
    if (kelmar_property_unitary_new(&ppt->uni, ppt->total) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_unitary_new() returns NULL.\n");
        return 1;
    }
    if (kelmar_property_binary_new(&ppt->bin, ppt->total) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_binary_new() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_property_update_read_from_file(KELMAR_PROPERTY* ppt, const char* dir_unitary, const char* dir_binary) {
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    for (int i = 0; i < ppt->total; i++)
        if (kelmar_property_unitary_read_from_file(&ppt->uni[i], ppt->type[i].data(), ppt->os[i], dir_unitary) !=
            0) {
            std::fprintf(stderr, "Error: kelmar_property_unitary_read_from_file() returns non-zero.\n");
            return 1;
        }
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++)
            if (kelmar_property_binary_read_from_file(&ppt->bin[i][j], ppt->type[i].data(), ppt->os[i],
                                                      ppt->type[j].data(), ppt->os[j], dir_binary) != 0) {
                std::fprintf(stderr, "Error: kelmar_property_bin_read_from_file() returns non-zero.\n");
                return 1;
            }
    return 0;
}

int kelmar_property_estimate(KELMAR_PROPERTY* ppt, const char* dir_binary) {
    if (ppt == nullptr || ppt->total <= 0 || ppt->bin.empty()) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) kelmar_property_binary_estimate_from_file(&ppt->bin[i][j], dir_binary);
    return 0;
}

int kelmar_property_calculate_type_count(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell) {
    if (ppt == nullptr || cell == nullptr || cell->atom.empty() || ppt->total <= 0) {
        std::fprintf(stderr, "Error: KELMAR_CELL and KELMAR_PROPERTY has not been initialized.\n");
        return 1;
    }
    ppt->count.assign(static_cast<std::size_t>(ppt->total), 0.0);
    for (const KELMAR_ATOM& a : cell->atom) {
        const int k = kelmar_property_find_index(ppt, a.type, a.os);
        if (k >= 0) ppt->count[k] += a.occ;
    }
    return 0;
}

bool kelmar_cell_formal_charge_balanced(const KELMAR_CELL* cell) {
    if (cell == nullptr) return false;
    double total = 0.0, positive = 0.0;
    for (const KELMAR_ATOM& a : cell->atom) {
        total += a.occ * a.os;
        if (a.os > 0) positive += a.occ * a.os;
    }
    if (std::fabs(total) > KELMAR_FORMAL_CHARGE_TOLERANCE * positive) {
        std::fprintf(stderr, "Error: total charge of the cell is not neutral: %f\n", total);
        return false;
    }
    return true;
}

// --- validation ------------------------------------------------------------------------------------------

int property_check_complete(const KELMAR_PROPERTY* ppt, bool as_warning) {
    // the first missing value, as an error or (for a caller that carries on without it) a warning
    std::FILE* to = as_warning ? stdout : stderr;
    const char* level = as_warning ? "Warning" : "Error";
    if (ppt == nullptr || ppt->uni.size() < static_cast<std::size_t>(ppt->total) ||
        ppt->bin.size() < static_cast<std::size_t>(ppt->total)) {
        std::fprintf(to, "%s: KELMAR_PROPERTY has not been properly initialized.\n", level);
        return 1;
    }
    for (int i = 0; i < ppt->total; i++) {
        const KELMAR_PROPERTY_UNITARY& u = ppt->uni[i];
        const char* t = ppt->type[i].data();
        const int o = ppt->os[i];
        if (!(u.q * o > 0)) {
            std::fprintf(to, "%s: incorrect q at [%d](%s%d%c) q=%f\n", level, i, t, std::abs(o), os_sign_char(o), u.q);
            return 1;
        }
        if (!(u.rc > 0)) {
            std::fprintf(to, "%s: incorrect rc at[%d](%s%d%c) rc=%f\n", level, i, t, std::abs(o), os_sign_char(o), u.rc);
            return 1;
        }
        if (!(u.m > 0)) {
            std::fprintf(to, "%s: incorrect m at[%d](%s%d%c) m=%f\n", level, i, t, std::abs(o), os_sign_char(o), u.m);
            return 1;
        }
        if (!(u.soft > 0)) {
            std::fprintf(to, "%s: incorrect soft at[%d](%s%d%c) soft=%f\n", level, i, t, std::abs(o), os_sign_char(o),
                         u.soft);
            return 1;
        }
    }
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            if (!(ppt->os[i] > 0 && ppt->os[j] < 0)) continue;
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            const struct {
                const char* name;
                double value;
            } checks[6] = {{"cutoff", e.cutoff}, {"b", e.b}, {"cn", e.cn}, {"r0", e.r0}, {"d0", e.d0}, {"rmin", e.rmin}};
            for (const auto& c : checks)
                if (!(c.value > 0)) {  // a NaN from missing data fails too
                    std::fprintf(to, "%s: incorrect %s at [%d](%s%d%c)-(%s%d%c) %s=%f\n", level, c.name, i,
                                 ppt->type[i].data(), std::abs(ppt->os[i]), os_sign_char(ppt->os[i]),
                                 ppt->type[j].data(), std::abs(ppt->os[j]), os_sign_char(ppt->os[j]), c.name, c.value);
                    return 1;
                }
        }
    return 0;
}

int kelmar_property_validate_generic(const KELMAR_PROPERTY* ppt) { return property_check_complete(ppt, false); }
