// Writer of the VESTA 3 project file.
#include "vesta.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bond-valence.hpp"
#include "cube.hpp"

namespace {

std::string element_of(const std::string& label) {
    std::string e;
    for (char c : label) {
        if (!std::isalpha(static_cast<unsigned char>(c)) || e.size() >= 10) break;
        e += c;
    }
    return e;
}

const char* const kIdentity4[] = {" 1.000000  0.000000  0.000000  0.000000", " 0.000000  1.000000  0.000000  0.000000",
                                  " 0.000000  0.000000  1.000000  0.000000", " 0.000000  0.000000  0.000000  1.000000"};

void lines(FILE* out, std::initializer_list<const char*> ls) {
    for (const char* l : ls) std::fprintf(out, "%s\n", l);
}
void keyword_crlf(FILE* out, const char* k) { std::fprintf(out, "%s\r\n", k); }
void identity(FILE* out) {
    for (const char* l : kIdentity4) std::fprintf(out, "%s\n", l);
}

}  // namespace

void naro_vesta_parse_symop(const std::string& text, int rot[3][3], double trans[3]) {
    for (int i = 0; i < 3; ++i) {
        trans[i] = 0;
        for (int j = 0; j < 3; ++j) rot[i][j] = 0;
    }
    int comp = 0, sign = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') {
            if (++comp > 2) break;
            sign = 1;
        } else if (c == '+') {
            sign = 1;
        } else if (c == '-') {
            sign = -1;
        } else if (c == 'x' || c == 'X') {
            rot[comp][0] = sign;
        } else if (c == 'y' || c == 'Y') {
            rot[comp][1] = sign;
        } else if (c == 'z' || c == 'Z') {
            rot[comp][2] = sign;
        } else if (c == '/') {
            // Whole numbers on both sides of the slash: 1/12 is a twelfth.
            size_t b = i;
            while (b > 0 && std::isdigit(static_cast<unsigned char>(text[b - 1]))) --b;
            size_t e = i + 1;
            while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
            if (b < i && e > i + 1) {
                const double num = std::atof(text.substr(b, i - b).c_str());
                const double den = std::atof(text.substr(i + 1, e - i - 1).c_str());
                if (den != 0) trans[comp] = sign * num / den;
            }
            i = e - 1;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            // A translation without a slash, such as "x+1" or "z+0.25".
            size_t e = i;
            while (e < text.size() && (std::isdigit(static_cast<unsigned char>(text[e])) || text[e] == '.')) ++e;
            if (e >= text.size() || text[e] != '/') {
                trans[comp] = sign * std::atof(text.substr(i, e - i).c_str());
                i = e - 1;
            }
        }
    }
}

void naro_vesta_levels(double q, double e1, double e2, double e3, double levels[3]) {
    double l3 = 1.3 * q;
    if (l3 > e3) l3 = e3;
    else if (l3 > e2) l3 = e2;
    else if (l3 > e1) l3 = e1;
    const double d = 0.02 * q;
    double l2;
    if (e2 < l3 - d) l2 = e2;
    else if (e1 < l3 - d) l2 = e1;
    else l2 = l3 / 2;
    double l1;
    if (e1 < l2 - d) l1 = e1;
    else if (d > l2 / 3) l1 = l2 / 3;
    else l1 = d;
    levels[0] = l1;
    levels[1] = l2;
    levels[2] = l3;
}

void NARO_print_vesta_symop(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "SYMOP\n");
    for (const std::string& op : cif.symop) {
        int r[3][3];
        double t[3];
        naro_vesta_parse_symop(op, r, t);
        std::fprintf(out, "%.6f  %.6f  %.6f  %d  %d  %d   %d  %d  %d   %d  %d  %d   1\n", t[0], t[1], t[2], r[0][0],
                     r[0][1], r[0][2], r[1][0], r[1][1], r[1][2], r[2][0], r[2][1], r[2][2]);
    }
    std::fprintf(out, "-1.0 -1.0 -1.0  1 0 0  0 0 0  0 0 0\n");
}

void NARO_print_vesta_struc(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "STRUC\n");
    int i = 0;
    for (const NARO_site& s : cif.site) {
        std::fprintf(out, "%d %s %s %.4f %.6f %.6f %.6f\n", ++i, element_of(s.type).c_str(), s.label.c_str(), s.occ,
                     s.x, s.y, s.z);
        std::fprintf(out, "0 0 0 %.2f\n", s.ox);
    }
    std::fprintf(out, "  0 0 0 0 0 0 0\n");
}

void NARO_print_vesta_bond(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "SBOND\n");
    const std::string probe = element_of(cif.probe_type);
    int n = 0;
    for (size_t i = 0; i < cif.type.size(); ++i)
        for (size_t j = i + 1; j < cif.type.size(); ++j) {
            const NARO_type& a = cif.type[i];
            const NARO_type& b = cif.type[j];
            if (a.label_element == probe || b.label_element == probe) continue;
            if (a.ox * b.ox > 0) continue;
            const NARO_type& cat = a.ox < 0 ? b : a;
            const NARO_type& ani = a.ox < 0 ? a : b;
            const double len =
                NARO_maximum_pair_distance(cat.label_element.c_str(), ani.label_element.c_str(), cat.ox, ani.ox);
            // A pair without a bond length draws no bonds: no line rather than a -1.
            if (!(len > 0)) continue;
            std::fprintf(out, "%d %s %s 0.60000    %.6f 0 1 1 0 1 0.250 1.000 180 180 180\n", ++n,
                         cat.label_element.c_str(), ani.label_element.c_str(), len);
        }
    std::fprintf(out, "  0 0 0 0\n");
}

void NARO_print_vesta_SITET(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "SITET\n");
    const std::string probe = element_of(cif.probe_type);
    int i = 0;
    for (const NARO_site& s : cif.site)
        std::fprintf(out, "%d %s %s\n", ++i, s.label.c_str(),
                     element_of(s.type) == probe ? "0.8000 249 220  60 249 220  60 204  1"
                                                 : "0.0000 249 220  60 249 220  60 204  0");
    std::fprintf(out, "  0 0 0 0 0 0\n");
}

void NARO_print_vesta_ATOMT(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "ATOMT\n");
    const std::string probe = element_of(cif.probe_type);
    int i = 0;
    for (const NARO_type& t : cif.type)
        std::fprintf(out, "%d %s %s\n", ++i, t.label_element.c_str(),
                     t.label_element == probe ? "0.8000 249 220  60 249 220  60 204"
                                              : "0.0000 249 220  60 249 220  60 204");
    std::fprintf(out, "  0 0 0 0 0 0\n");
}

void NARO_print_vesta_ISURF(const NARO_cube& cube, const NARO_cif& cif, const NARO_pathlib& pathlib, FILE* out) {
    double l[3];
    naro_vesta_levels(std::abs(cube.ion_charge), pathlib.oneD, pathlib.twoD, pathlib.threeD, l);
    if (cif.probe_type == "Na1+")
        for (int k = 2; k >= 0; --k) l[k] = NARO_get_unscaled_from_scaled(cube, l[k]);
    const double emin = cube.global_minimum - cube.energy_shift;
    keyword_crlf(out, "ISURF");
    std::fprintf(out, "1 1 %f  0   0  64 127 255\n", emin + l[0] + 0.01);
    std::fprintf(out, "2 1 %f 128 128 255 127   0\n", emin + l[1] + 0.01);
    std::fprintf(out, "3 1 %f 172 255 255 127   0\n", emin + l[2] + 0.01);
    std::fprintf(out, "0 0 0 0\n");
}

int NARO_print_vesta_output(const NaroRunState& run, NaroOutputDir where) {
    const NARO_cube& cube = run.cube;
    const NARO_cif& cif = run.cif;
    const NARO_pathlib& pathlib = run.pathlib;
    const std::string name = naro_output_path(run.input, "NARO.vesta", where);
    FILE* out = std::fopen(name.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "Error: Unable to write to NARO.vesta\n");
        return 1;
    }
    lines(out, {"#VESTA_FORMAT_VERSION 3.3.0", "CRYSTAL", "", "", "TITLE", "NARO", "", "IMPORT_DENSITY 1"});
    std::fprintf(out, "+1.000000E+000 %s\n\n", run.input.cube_file.c_str());
    std::fprintf(out, "GROUP\n%d 1\n", cif.int_tab_cryst_no);
    NARO_print_vesta_symop(cif, out);
    lines(out, {"TRANM 0", " 0.000000  0.000000  0.000000  1  0  0   0  1  0   0  0  1", "LTRANSL",
                " 0.000000  0.000000  0.000000  0.000000  0.000000  0.000000"});
    keyword_crlf(out, "LORIENT");
    lines(out, {" -1   0   0   0   0", " 1.000000  0.000000  0.000000  1.000000  0.000000  0.000000",
                " 0.000000  0.000000  1.000000  0.000000  0.000000  1.000000"});
    keyword_crlf(out, "LMATRIX");
    identity(out);
    lines(out, {" 0.000000  0.000000  0.000000", "CELLP"});
    std::fprintf(out, "%f %f %f %f %f %f\n", cif.a, cif.b, cif.c, cif.alpha, cif.beta, cif.gamma);
    NARO_print_vesta_struc(cif, out);
    lines(out, {"SHAPE", "  0       0       0       0   0.000000  0   192   192   192   192", "BOUND",
                "    0      1      0      1         0        1", "  0   0   0   0  0"});
    NARO_print_vesta_bond(cif, out);
    NARO_print_vesta_SITET(cif, out);
    lines(out, {"VECTR", " 0 0 0 0 0", "VECTT", " 0 0 0 0 0", "SPLAN", "  0   0   0   0"});
    keyword_crlf(out, "LBLAT");
    lines(out, {"0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34  -1",
                "LBLSP", " -1", "DLATM", " -1", "DLBND", " -1", "DLPLY", " -1", "PLN2D", "  0   0   0   0"});
    NARO_print_vesta_ATOMT(cif, out);
    keyword_crlf(out, "SCENE");
    lines(out, {" 0.902291  0.000000  0.431127  0.000000", " 0.000000  1.000000 -0.000000  0.000000",
                "-0.431127  0.000000  0.902291  0.000000", " 0.000000  0.000000  0.000000  1.000000", "  0.000   0.000",
                "  0.000", "  1.189", "HBOND 0 2", "", "STYLE", "DISPF 37753666", "MODEL   2  1  0", "SURFS   0  1  1",
                "SECTS 96 0", "FORMS 0 1", "ATOMS 0 0 1", "BONDS 1", "POLYS 4", "VECTS 1.000000", "FORMP",
                "  1  1.0   0   0   0"});
    keyword_crlf(out, "ATOMP");
    lines(out, {" 24  24   0  50  2.0   0"});
    keyword_crlf(out, "BONDP");
    lines(out, {"  1  16  0.250  1.000 180 180 180"});
    keyword_crlf(out, "POLYP");
    lines(out, {" 204 1  1.000   0   0  64"});
    NARO_print_vesta_ISURF(cube, cif, pathlib, out);
    lines(out, {"TEX3P", "  1 0.00000E+000 1.00000E+000", "SECTP", "  1 0.00000E+000 1.00000E+000 0.00000E+000",
                "HKLPP", " 192 1  1.000 255   0 255", "UCOLP", "   0   1  3.000   0   0   0", "COMPS 1",
                "LABEL 1    12  1.000 0", "PROJT 0  0.962", "BKGRC", " 255 255 255", "DPTHQ 1 -0.5000  3.5000",
                "LIGHT0 1"});
    identity(out);
    lines(out, {" 0.000000  0.000000 20.000000  0.000000", " 0.000000  0.000000 -1.000000", "  26  26  26 255",
                " 179 179 179 255", " 255 255 255 255"});
    for (const char* light : {"LIGHT1", "LIGHT2", "LIGHT3"}) {
        std::fprintf(out, "%s\n", light);
        identity(out);
        lines(out, {" 0.000000  0.000000 20.000000  0.000000", " 0.000000  0.000000 -1.000000", "   0   0   0   0",
                    "   0   0   0   0", "   0   0   0   0"});
    }
    lines(out, {"ATOMM", " 204 204 204 255", "  25.600"});
    for (const char* m : {"BONDM", "POLYM"}) lines(out, {m, " 255 255 255 255", " 128.000"});
    lines(out, {"SURFM", "   0   0   0 255", " 128.000"});
    for (const char* m : {"FORMM", "HKLPM"}) lines(out, {m, " 255 255 255 255", " 128.000"});
    std::fflush(out);
    const bool ok = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !ok) {
        std::remove(name.c_str());
        std::fprintf(stderr, "Error: Unable to write to NARO.vesta\n");
        return 1;
    }
    return 0;
}
