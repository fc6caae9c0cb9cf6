// The critical points and derivative fields of a landscape as files: a CIF with one pseudo-atom
// per critical point, a comma-separated table, and the derivative cubes.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "crystal-records.hpp"
#include "cube.hpp"
#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "fft-export.hpp"
#include "text-buffer.hpp"
#include "fft.hpp"
#include "kelmar.hpp"
#include "linalg.hpp"

namespace {

// Output names are formed with at most 1023 characters.
std::string output_name(const char* base, const char* suffix) {
    std::string name = std::string(base == nullptr ? "" : base) + suffix;
    if (name.size() > 1023) name.resize(1023);
    return name;
}

// Files written so far by one command; removed again when a later step fails, so that a failed
// run leaves no partial result behind.
struct WrittenFiles {
    std::vector<std::string> names;
    void discard() {
        for (const std::string& n : names) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(n, ec)) std::filesystem::remove(n, ec);
        }
        names.clear();
    }
};

}  // namespace

std::unique_ptr<KELMAR_CELL> kelmar_fftdot_list_export_to_cell(const KELMAR_FFTDOT_LIST* list) {
    if (list == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_FFTDOT_LIST has not been properly initialized.\n");
        return nullptr;
    }
    auto cell = kelmar_cell_new(list->total);
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) cell->a[r][d] = list->a[r][d];
    for (long p = 0; p < list->total; ++p) {
        const KELMAR_FFTDOT& dot = list->dot[static_cast<std::size_t>(p)];
        KELMAR_ATOM& atom = cell->atom[static_cast<std::size_t>(p)];
        const char* name = "ERR";
        const char* type = "Cs";
        switch (dot.type) {
            case FFT_MIN: name = "MIN"; type = "Li"; break;
            case FFT_SD1: name = "SD1"; type = "Na"; break;
            case FFT_SD2: name = "SD2"; type = "K"; break;
            case FFT_MAX: name = "MAX"; type = "Rb"; break;
            default: break;
        }
        kelmar_copy_field(atom.name, name);
        kelmar_copy_field(atom.type, type);
        for (int d = 0; d < 3; ++d) atom.x[d] = dot.x[d];
        atom.occ = 1.0;
        atom.os = 1;
    }
    kelmar_cell_update_fractional(cell.get());
    return cell;
}

std::unique_ptr<KELMAR_TEXT> kelmar_fftdot_list_export_to_text(const KELMAR_FFTDOT_LIST* list) {
    if (list == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_FFTDOT_LIST has not been properly initialized.\n");
        return nullptr;
    }
    auto text = kelmar_text_new();
    kelmar_text_append(text.get(), "# energy unit: eV; length unit: A\r\n");
    static const char* const wide[] = {"en",     "eig_1",  "eig_2",  "eig_3",  "eiv_11", "eiv_12", "eiv_13",
                                       "eiv_21", "eiv_22", "eiv_23", "eiv_31", "eiv_32", "eiv_33", "|f|",
                                       "f_x",    "f_y",    "f_z",    "k_xx",   "k_xy",   "k_xz",   "k_yx",
                                       "k_yy",   "k_yz",   "k_zx",   "k_zy",   "k_zz"};
    kelmar_text_appendf(text.get(), "%5s,%6s,%6s,%6s,%6s,%6s,%6s,", "no", "x", "y", "z", "xi", "yi", "zi");
    for (int c = 0; c < 26; ++c) kelmar_text_appendf(text.get(), c == 0 ? "%9s" : ",%9s", wide[c]);
    kelmar_text_append(text.get(), "\r\n");
    for (long p = 0; p < list->total; ++p) {
        const KELMAR_FFTDOT& d = list->dot[static_cast<std::size_t>(p)];
        kelmar_text_appendf(text.get(), "%5ld,%6.3f,%6.3f,%6.3f,%6ld,%6ld,%6ld,", p + 1, d.x[0], d.x[1], d.x[2],
                            d.x_i[0], d.x_i[1], d.x_i[2]);
        double v[26];
        int c = 0;
        v[c++] = d.en;
        for (int r = 0; r < 3; ++r) v[c++] = d.eig[r];
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s) v[c++] = d.eiv[r][s];
        v[c++] = kelmar_vector3_double_length(d.f);
        for (int r = 0; r < 3; ++r) v[c++] = d.f[r];
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s) v[c++] = d.k[r][s];
        for (c = 0; c < 26; ++c) kelmar_text_appendf(text.get(), c == 0 ? "%9.5f" : ",%9.5f", v[c]);
        kelmar_text_append(text.get(), "\r\n");
    }
    return text;
}

int kelmar_fft_analyze_export_to_file(const KELMAR_CUBE* cube, double cap, const char* base) {
    if (cube == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been initialized properly.\n");
        return 1;
    }
    if (!fft_landscape_finite(cube)) return 1;
    auto list = kelmar_fftdot_list_new_from_cube(cube, 0);
    if (!list) {
        std::fprintf(stderr, "Error: kelmar_fftdot_list_new_from_fft() returns NULL.\n");
        return 1;
    }
    if (cap > 0.0 && kelmar_fftdot_list_filter(list.get(), cap) != 0) {
        std::fprintf(stderr, "Error: kelmar_fftdot_list_filter() returns non-zero.\n");
        return 1;
    }
    auto cell = kelmar_fftdot_list_export_to_cell(list.get());
    if (!cell) {
        std::fprintf(stderr, "Error: kelmar_fftdot_list_export_to_cell() returns NULL.\n");
        return 1;
    }
    auto text = kelmar_fftdot_list_export_to_text(list.get());
    if (!text) {
        std::fprintf(stderr, "Error: kelmar_fftdot_list_export_to_text() returns NULL.\n");
        return 1;
    }
    WrittenFiles written;
    const std::string cif = output_name(base, ".fft.cif");
    written.names.push_back(cif);
    if (kelmar_cell_export_cif_to_file(cif.c_str(), cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        written.discard();
        return 1;
    }
    const std::string txt = output_name(base, ".fft.txt");
    written.names.push_back(txt);
    if (kelmar_text_export_to_file(text.get(), txt.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_text_export_to_file() returns non-zero.\n");
        written.discard();
        return 1;
    }
    return 0;
}

int kelmar_fft_analyze_export_cubes_to_file(const KELMAR_CUBE* cube, const char* base) {
    if (cube == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been initialized properly.\n");
        return 1;
    }
    if (!fft_landscape_finite(cube)) return 1;
    auto fft = kelmar_fft_new_from_cube(cube);
    if (!fft) {
        std::fprintf(stderr, "Error: kelmar_fft_new_from_cube() returns NULL.\n");
        return 1;
    }
    WrittenFiles written;
    auto write_real = [&](const KELMAR_FFTCUBE* field, const std::string& name) {
        auto out = kelmar_cube_new_from_fftcube(field, FFTCUBE_REAL);
        if (!out) {
            std::fprintf(stderr, "Error: kelmar_cube_new_from_fftcube() returns NULL.\n");
            return false;
        }
        written.names.push_back(name);
        if (kelmar_cube_export_to_file(out.get(), nullptr, nullptr, name.c_str(), true) != 0) {
            std::fprintf(stderr, "Error: kelmar_cube_export_to_file() returns NULL.\n");
            return false;
        }
        return true;
    };
    char suffix[64];
    for (int r = 0; r < 3; ++r) {
        std::snprintf(suffix, sizeof(suffix), ".fft.f%d.cube", r);
        if (!write_real(fft->f[r].get(), output_name(base, suffix))) {
            written.discard();
            return 1;
        }
        for (int s = 0; s < 3; ++s) {
            std::snprintf(suffix, sizeof(suffix), ".fft.k%d%d.cube", r, s);
            if (!write_real(fft->k[r][s].get(), output_name(base, suffix))) {
                written.discard();
                return 1;
            }
        }
    }
    auto laplacian = kelmar_fft_laplacian(fft.get());
    if (!laplacian) {
        std::fprintf(stderr, "Error: kelmar_fft_laplacian() returns NULL.\n");
        written.discard();
        return 1;
    }
    if (!write_real(laplacian.get(), output_name(base, ".fft.laplacian.cube"))) {
        written.discard();
        return 1;
    }
    laplacian.reset();
    auto slope = kelmar_fft_slope(fft.get());
    if (!slope) {
        std::fprintf(stderr, "Error: kelmar_fft_slope() returns NULL.\n");
        written.discard();
        return 1;
    }
    if (!write_real(slope.get(), output_name(base, ".fft.slope.cube"))) {
        written.discard();
        return 1;
    }
    return 0;
}

// A value that is not a finite number would turn every derivative into nan: refused.
bool fft_landscape_finite(const KELMAR_CUBE* cube) {
    for (std::size_t p = 0; p < cube->en.data.size(); ++p)
        if (!std::isfinite(cube->en.data[p])) {
            const long k = static_cast<long>(p) % cube->n[2], j = (static_cast<long>(p) / cube->n[2]) % cube->n[1],
                       i = static_cast<long>(p) / (cube->n[1] * cube->n[2]);
            std::fprintf(stderr, "Error: the landscape holds %s at grid point (%ld, %ld, %ld); no derivative can be computed.\n",
                         std::isnan(cube->en.data[p]) ? "nan" : "an infinite value", i, j, k);
            return false;
        }
    return true;
}
