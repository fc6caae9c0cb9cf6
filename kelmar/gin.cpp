// GULP library and input texts.
#include "gin.hpp"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cell-ops.hpp"
#include "property-assemble.hpp"

namespace {

const char KELMAR_GIN_SEPARATOR = '/';

// One formatted line with its CR LF.
void line(KELMAR_TEXT* t, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void line(KELMAR_TEXT* t, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    t->content += buf;
    t->content += "\r\n";
}

bool property_ready(const KELMAR_PROPERTY* ppt) {
    if (ppt == nullptr || ppt->total <= 0 || ppt->uni.size() < static_cast<std::size_t>(ppt->total) ||
        ppt->bin.size() < static_cast<std::size_t>(ppt->total) || ppt->type.size() < static_cast<std::size_t>(ppt->total)) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return false;
    }
    return true;
}

void header_and_species(KELMAR_TEXT* t, const KELMAR_PROPERTY* ppt) {
    line(t, "# kelmar forcefield generated for MD using GULP");
    line(t, "# Turn off Ewald sum and charged interactions");
    line(t, "keyword noelectrostatics");
    line(t, "species");
    for (int i = 0; i < ppt->total; i++)
        line(t, "%2s%d%c core %11.8f", ppt->type[i].data(), std::abs(ppt->os[i]), os_sign_char(ppt->os[i]),
             ppt->uni[i].q);
}

// GULP's Morse term D[(1 - exp(-a(r - r0)))^2 - 1] has depth D; the bonding energy of a pair in
// this force field has depth d0/2 in the internal unit, so D = 14.39964 d0 / 2 eV, the depth
// that the parameter listing reports.
// A cation-anion pair without bond-valence data has no term to write: a line of zeros, or no
// line, would read as a bond that does not bind. False, with a message naming the pair.
bool morse_pairs(KELMAR_TEXT* t, const KELMAR_PROPERTY* ppt) {
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            const bool bond = ppt->os[i] > 0 && ppt->os[j] < 0;  // terms are listed cation first
            if (!(e.cutoff > 0) && !bond) continue;
            if (!(e.cutoff > 0 && e.d0 > 0 && e.b > 0 && e.rmin > 0) || !std::isfinite(e.d0 + e.b + e.rmin)) {
                std::fprintf(stderr, "Error: no bond-valence data for the pair %s%d%c-%s%d%c; no Morse term can be "
                                     "written for it.\n", ppt->type[i].data(), std::abs(ppt->os[i]),
                             os_sign_char(ppt->os[i]), ppt->type[j].data(), std::abs(ppt->os[j]),
                             os_sign_char(ppt->os[j]));
                return false;
            }
            line(t, "%2s%d%c core %2s%d%c core %9.6f %9.6f %9.6f %9.6f %9.6f %9.6f", e.type1, std::abs(e.os1),
                 os_sign_char(e.os1), e.type2, std::abs(e.os2), os_sign_char(e.os2), e.d0 * 14.39964 / 2, 1.0 / e.b, e.rmin,
                 0.0, 0.0, 12.0);
        }
    return true;
}

void coulomb_pairs(KELMAR_TEXT* t, const KELMAR_PROPERTY* ppt) {
    line(t, "# fractional radius = %f", ppt->sf);
    for (int i = 0; i < ppt->total; i++)
        for (int j = i; j < ppt->total; j++) {
            if (ppt->os[i] * ppt->os[j] <= 0) continue;
            line(t, "%2s%d%c core %2s%d%c core %9.6f %9.6f", ppt->type[i].data(), std::abs(ppt->os[i]),
                 os_sign_char(ppt->os[i]), ppt->type[j].data(), std::abs(ppt->os[j]), os_sign_char(ppt->os[j]),
                 (ppt->uni[i].rc + ppt->uni[j].rc) * ppt->sf, 12.0);
        }
}

bool usable_bond(const KELMAR_PROPERTY_BINARY& e) { return e.cutoff > 0 && e.cn > 0 && e.b > 0 && e.r0 > 0; }

// Angle terms around every cation of oxidation state above 2.
void three_body(KELMAR_TEXT* t, const KELMAR_PROPERTY* ppt) {
    bool any = false;
    for (int i = 0; i < ppt->total; i++) any = any || ppt->os[i] > 2;
    if (!any) return;
    line(t, "%s", "");
    line(t, "three cosine");
    for (int p = 0; p < ppt->total; p++) {
        if (ppt->os[p] <= 2) continue;
        for (int c = 0; c < ppt->total; c++) {
            if (ppt->os[c] >= 0) continue;
            for (int f = c; f < ppt->total; f++) {
                if (ppt->os[f] >= 0) continue;
                const KELMAR_PROPERTY_BINARY& pc = ppt->bin[p][c];
                const KELMAR_PROPERTY_BINARY& pf = ppt->bin[p][f];
                // A pair without bond-valence data has no bond length to build the term from.
                if (!usable_bond(pc) || !usable_bond(pf)) continue;
                const double nc1 = pc.cn, nc2 = pf.cn, nc = (nc1 + nc2) / 2;
                const double v = ppt->os[p];
                if (!(nc >= 2 && nc <= 9)) continue;
                const double k = 14.4 * v / nc;
                const double theta =
                    nc == 2 ? 180.0 : 0.95432 * nc * nc - 0.053025 * nc * nc * nc - 15.248 * nc + 158.59;
                const double d1 = pc.r0 - pc.b * std::log(0.15 * v / nc1);
                const double d2 = pf.r0 - pf.b * std::log(0.15 * v / nc2);
                // Each cation-anion length at bond valence 0.75 V / NC with its own pair's parameters.
                const double bond = (pc.r0 - pc.b * std::log(0.75 * v / nc1)) + (pf.r0 - pf.b * std::log(0.75 * v / nc2));
                const double d3 = std::min(std::sqrt(4 / nc), 1.2) * bond;
                line(t, "%s%d+  core %s%d-  core %s%d-  core %6.3f  %6.2f  %4.2f %4.2f %3.2f", ppt->type[p].data(),
                     std::abs(ppt->os[p]), ppt->type[c].data(), std::abs(ppt->os[c]), ppt->type[f].data(),
                     std::abs(ppt->os[f]), k, theta, d1, d2, d3);
            }
        }
    }
}

// Embedding strength of species i in eV; false when it has no partner of opposite sign or the
// fit gives no finite value.
bool embedding_f0(const KELMAR_PROPERTY* ppt, int i, double* out) {
    double f1 = 0.0;
    if (!eam_embedding_parameter(ppt, i, &f1)) return false;
    *out = 14.39964 * f1;
    return std::isfinite(*out);
}

// Replaces the record's screening factor by a positive sf while a text is built.
template <typename BUILD>
std::unique_ptr<KELMAR_TEXT> with_sf(KELMAR_PROPERTY* ppt, double sf, BUILD build) {
    const double kept = ppt->sf;
    if (sf > 0) ppt->sf = sf;
    auto text = build(ppt);
    ppt->sf = kept;
    return text;
}

}  // namespace

std::unique_ptr<KELMAR_GIN_CONF> kelmar_gin_conf_new(const char* filename) {
    auto conf = std::make_unique<KELMAR_GIN_CONF>();
    if (filename == nullptr) return conf;
    std::string name(filename);
    const std::size_t sep = name.rfind(KELMAR_GIN_SEPARATOR);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && (sep == std::string::npos || dot > sep)) name.resize(dot);
    conf->filename = name;
    return conf;
}

std::unique_ptr<KELMAR_TEXT> kelmar_gin_lib_import_from_property(const KELMAR_PROPERTY* ppt) {
    if (!property_ready(ppt)) return nullptr;
    auto t = kelmar_text_new();
    header_and_species(t.get(), ppt);
    line(t.get(), "morse    grad");
    if (!morse_pairs(t.get(), ppt)) return nullptr;
    line(t.get(), "qerfc    ener");
    coulomb_pairs(t.get(), ppt);
    three_body(t.get(), ppt);
    return t;
}

std::unique_ptr<KELMAR_TEXT> kelmar_gin_eam_import_from_property(const KELMAR_PROPERTY* ppt) {
    if (!property_ready(ppt)) return nullptr;
    auto t = kelmar_text_new();
    KELMAR_TEXT* x = t.get();
    header_and_species(x, ppt);
    line(x, "morse    grad");
    line(x, "#%22s D0 %5s 1/b %5s Rmin", "", "", "");
    if (!morse_pairs(x, ppt)) return nullptr;
    line(x, "manybody");
    line(x, "#%20s R_cutoff", "");
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            if (e.cutoff > 0)
                line(x, "%2s%d%c core %2s%d%c core 0 %3f", e.type1, std::abs(e.os1), os_sign_char(e.os1), e.type2,
                     std::abs(e.os2), os_sign_char(e.os2), e.cutoff);
        }
    line(x, "eam_density exponential 0");
    line(x, "#%18s 1    1/b      R0", "");
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            if (e.cutoff > 0)
                line(x, "%2s%d%c core %2s%d%c core 1 %9.6f %9.6f", e.type1, std::abs(e.os1), os_sign_char(e.os1), e.type2,
                     std::abs(e.os2), os_sign_char(e.os2), 1.0 / e.b, e.r0);
        }
    line(x, "eam_functional johnson ");
    for (int i = 0; i < ppt->total; i++) {
        double f0 = 0.0;
        // A species without partners of opposite sign has no embedding term: its line is left out.
        if (!embedding_f0(ppt, i, &f0)) continue;
        line(x, "%2s%d%c core %9.6f 0 %d 1.4142 1 1", ppt->type[i].data(), std::abs(ppt->os[i]), os_sign_char(ppt->os[i]),
             f0, std::abs(ppt->os[i]));
    }
    line(x, "qerfc    force");
    coulomb_pairs(x, ppt);
    three_body(x, ppt);
    return t;
}

std::unique_ptr<KELMAR_TEXT> kelmar_gin_import_from_cell(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                         const KELMAR_GIN_CONF* conf) {
    if (cell == nullptr || ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been initialized properly.\n");
        return nullptr;
    }
    if (conf == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GIN_CONF has not been initialized properly.\n");
        return nullptr;
    }
    for (long i = 0; i < cell->total(); i++) {
        const KELMAR_ATOM& a = cell->atom[static_cast<std::size_t>(i)];
        if (std::fabs(a.occ - 1.0) > 0.001) {
            std::fprintf(stderr, "Error: partial occupancy detected at atom[%ld]: %s(%d%c); occ=%f\n", i, a.type,
                         std::abs(a.os), os_sign_char(a.os), a.occ);
            return nullptr;
        }
    }
    auto lib = kelmar_gin_lib_import_from_property(ppt);
    if (lib == nullptr) {
        std::fprintf(stderr, "Error: kelmar_gin_lib_import_from_property() returns NULL.\n");
        return nullptr;
    }
    auto t = kelmar_text_new();
    KELMAR_TEXT* x = t.get();
    const char* base = conf->filename.c_str();
    line(x, "conv md");
    line(x, "title");
    line(x, "%s", base);
    line(x, "end");
    line(x, "cell");
    line(x, "%f %f %f %f %f %f", cell->parameter[0], cell->parameter[1], cell->parameter[2], cell->angle[0],
         cell->angle[1], cell->angle[2]);
    line(x, "fractional   %ld", cell->total());
    for (const KELMAR_ATOM& a : cell->atom)
        line(x, "%2s%d%c core %8.6f %8.6f %8.6f", a.type, std::abs(a.os), os_sign_char(a.os), a.x_f[0], a.x_f[1], a.x_f[2]);
    line(x, "ensemble %s", conf->ensemble);
    line(x, "temperature   %7.3f", conf->temperature);
    line(x, "equilibration %7.3f ps", conf->t_eql);
    line(x, "production    %7.3f ps", conf->t_pro);
    line(x, "timestep      %7.3f ps", conf->dt);
    line(x, "sample        %7.3f ps", conf->t_sample);
    line(x, "write         %7.3f ps", conf->t_write);
    line(x, "output dcd       %s.dcd", base);
    line(x, "output xyz       %s.xyz", base);
    line(x, "dump every 1     %s.grs", base);
    if (kelmar_text_cat(x, lib.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_text_cat() returns non-zero value.\n");
        return nullptr;
    }
    return t;
}

namespace {

int write_library(KELMAR_PROPERTY* ppt, double sf, const char* filename, bool eam) {
    if (!property_ready(ppt) || filename == nullptr) return 1;
    auto text = with_sf(ppt, sf, [&](const KELMAR_PROPERTY* p) {
        return eam ? kelmar_gin_eam_import_from_property(p) : kelmar_gin_lib_import_from_property(p);
    });
    if (text == nullptr) {
        std::fprintf(stderr, eam ? "Error: kelmar_gin_eam_import_from_property() returns NULL.\n"
                                 : "Error: kelmar_gin_lib_import_from_property() returns NULL.\n");
        return 1;
    }
    if (kelmar_text_export_to_file(text.get(), filename) != 0) {
        std::fprintf(stderr, "Error: kelmar_text_export_to_file() returns non-zero value.\n");
        return 1;
    }
    std::printf("Message: .lib file saved to %s\n", filename);
    return 0;
}

}  // namespace

int kelmar_gin_lib_write_to_file(KELMAR_PROPERTY* ppt, double sf, const char* filename) {
    return write_library(ppt, sf, filename, false);
}

int kelmar_gin_eam_write_to_file(KELMAR_PROPERTY* ppt, double sf, const char* filename) {
    return write_library(ppt, sf, filename, true);
}

int kelmar_gin_write_to_file(const KELMAR_CELL* cell, const char* dir_unitary, const char* dir_binary,
                             const KELMAR_GIN_CONF* conf, RandomEngine& engine) {
    if (cell == nullptr || conf == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_GIN_CONF has not been properly initialized.\n");
        return 1;
    }
    auto assigned = [&]() -> std::unique_ptr<KELMAR_CELL> {
        auto super = kelmar_cell_supercell_default(cell);
        if (super == nullptr) {
            std::fprintf(stderr, "Error: kelmar_cell_supercell_default() returns NULL.\n");
            return nullptr;
        }
        auto out = kelmar_cell_assign_partial_occ_all(super.get(), engine);
        if (out == nullptr) std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ_all() returns NULL.\n");
        return out;
    }();
    if (assigned == nullptr) return 1;
    auto ppt = kelmar_property_import_from_cell(assigned.get(), nullptr, 0, conf->sf, dir_unitary, dir_binary);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return 1;
    }
    auto text = kelmar_gin_import_from_cell(assigned.get(), ppt.get(), conf);
    if (text == nullptr) {
        std::fprintf(stderr, "Error: kelmar_gin_import_from_cell() returns NULL.\n");
        return 1;
    }
    const std::string name = conf->filename + ".gin";
    if (kelmar_text_export_to_file(text.get(), name.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_text_export_to_file() returns non-zero value.\n");
        return 1;
    }
    std::printf("Message: .gin file saved to %s\n", name.c_str());
    return 0;
}
