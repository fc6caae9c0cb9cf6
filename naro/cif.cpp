// Structure model of the analyser: line-based CIF loader and writer, atom types and
// sites, symmetry operations as text, equivalent positions, substitution checks.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cif.hpp"

#include "math.hpp"

static constexpr double NARO_PI = 3.141592653589793;
static constexpr int NARO_CIF_LINE = 200;

// ---------------------------------------------------------------- data files
std::string NARO_data_file_path(const char* name) {
    std::string local = std::string("bin/") + name;
    if (FILE* f = std::fopen(local.c_str(), "rb")) {
        std::fclose(f);
        return local;
    }
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        std::string exe(buf);
        size_t slash = exe.rfind('/');
        if (slash != std::string::npos) {
            std::string beside = exe.substr(0, slash + 1) + name;
            if (FILE* f = std::fopen(beside.c_str(), "rb")) {
                std::fclose(f);
                return beside;
            }
        }
    }
    return local;
}

// ---------------------------------------------------------------- small helpers
static std::string naro_cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

std::vector<std::string> naro_tokens(const std::string& s) {
    std::vector<std::string> t;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        if (i >= s.size()) break;
        size_t j = i;
        while (j < s.size() && s[j] != ' ') ++j;
        t.push_back(s.substr(i, j - i));
        i = j;
    }
    return t;
}

static bool naro_starts(const std::string& s, const char* tag) {
    return s.compare(0, std::strlen(tag), tag) == 0;
}

static double naro_second_dbl(const std::string& line) {
    auto t = naro_tokens(line);
    if (t.size() < 2) return 0.0;
    return std::strtod(t[1].c_str(), nullptr);
}

static int naro_second_int(const std::string& line) {
    auto t = naro_tokens(line);
    if (t.size() < 2) return 0;
    return static_cast<int>(std::strtol(t[1].c_str(), nullptr, 10));
}

static std::string naro_leading_letters(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    return s.substr(0, i);
}

static void naro_sync_counts(NARO_cif& cif) {
    cif.type_no = static_cast<int>(cif.type.size());
    cif.type_no_cap = static_cast<int>(cif.type.capacity());
    cif.site_no = static_cast<int>(cif.site.size());
    cif.site_no_cap = static_cast<int>(cif.site.capacity());
    cif.site_all_no = static_cast<int>(cif.site_all.size());
    cif.symop_no = static_cast<int>(cif.symop.size());
}

int NARO_cif_equal_dbl(double a, double b) { return std::fabs(a - b) < 1e-7 ? 1 : 0; }

// ---------------------------------------------------------------- record
int NARO_init_cif(NARO_cif& cif) {
    cif = NARO_cif{};
    cif.symop.push_back("x,y,z");
    naro_sync_counts(cif);
    return 0;
}

void NARO_free_cif(NARO_cif& cif) {
    cif.type.clear();
    cif.site.clear();
    cif.site_all.clear();
    cif.symop.clear();
    cif.fg = NARO_fastgen_symcopies{};
    naro_sync_counts(cif);
}

int NARO_copy_cif(const NARO_cif& in, NARO_cif& out) {
    out = in;
    return 0;
}

// ---------------------------------------------------------------- lists
int NARO_add_cif_type(NARO_cif& cif, const std::string& label, double ox, int* flag) {
    NARO_type t;
    t.label = naro_cut(label, 9);
    t.label_element = naro_cut(naro_leading_letters(t.label), 9);
    t.ox = ox;
    t.flag = ++cif.type_flag_counter;
    if (flag) *flag = t.flag;
    cif.type.push_back(t);
    naro_sync_counts(cif);
    return 0;
}

int NARO_ins_cif_type(NARO_cif& cif, const std::string& label, double ox, int t) {
    if (t < 0 || t > static_cast<int>(cif.type.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_ins_cif_type()\n");
        return 1;
    }
    NARO_type ty;
    ty.label = naro_cut(label, 9);
    ty.label_element = naro_leading_letters(ty.label);
    ty.ox = ox;
    ty.flag = ++cif.type_flag_counter;
    cif.type.insert(cif.type.begin() + t, ty);
    naro_sync_counts(cif);
    return 0;
}

int NARO_add_cif_type_conduc(NARO_cif& cif, const std::string& ion_type, double charge) {
    for (const NARO_type& t : cif.type)
        if (t.label == naro_cut(ion_type, 9)) return 0;
    if (NARO_add_cif_type(cif, ion_type, charge, nullptr) != 0) {
        std::fprintf(stderr, "Error: NARO_add_cif_type() didnt return 0 for adding conducting ion.\n");
        return 1;
    }
    return 0;
}

int NARO_add_cif_site(NARO_cif& cif, const std::string& label, const std::string& type, double x,
                      double y, double z, int mul, char Wyckoff, double occ, double ox) {
    NARO_site s;
    s.label = naro_cut(label, 9);
    s.type = naro_cut(type, 9);
    s.x = x;
    s.y = y;
    s.z = z;
    s.mul = mul;
    s.Wyckoff = Wyckoff;
    s.occ = occ;
    s.ox = ox;
    cif.site.push_back(s);
    naro_sync_counts(cif);
    return 0;
}

int NARO_ins_cif_site(NARO_cif& cif, const NARO_site& site, int t) {
    if (t < 0 || t > static_cast<int>(cif.site.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_ins_cif_site()\n");
        return 1;
    }
    cif.site.insert(cif.site.begin() + t, site);
    naro_sync_counts(cif);
    return 0;
}

int NARO_remove_cif_type(NARO_cif& cif, int t) {
    if (t < 0 || t >= static_cast<int>(cif.type.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_remove_cif_type()\n");
        return 1;
    }
    cif.type.erase(cif.type.begin() + t);
    naro_sync_counts(cif);
    return 0;
}

int NARO_remove_cif_site(NARO_cif& cif, int t) {
    if (t < 0 || t >= static_cast<int>(cif.site.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_remove_cif_site()\n");
        return 1;
    }
    cif.site.erase(cif.site.begin() + t);
    naro_sync_counts(cif);
    return 0;
}

int NARO_remove_all_cif_site_by_type(NARO_cif& cif, const std::string& label) {
    for (size_t i = cif.site.size(); i-- > 0;)
        if (cif.site[i].type == label) cif.site.erase(cif.site.begin() + static_cast<long>(i));
    naro_sync_counts(cif);
    return 0;
}

// ---------------------------------------------------------------- normalisation
void NARO_trim_cif_buffer(std::vector<std::string>& lines, int count) {
    for (int n = 0; n < count && n < static_cast<int>(lines.size()); ++n) {
        std::string& s = lines[static_cast<size_t>(n)];
        size_t cut = s.find_first_of("\r\n");
        if (cut != std::string::npos) s.resize(cut);
        for (char& c : s)
            if (c == '\t') c = ' ';
        std::string o;
        o.reserve(s.size());
        for (char c : s) {
            if (c == ' ' && (o.empty() || o.back() == ' ')) continue;
            o += c;
        }
        if (!o.empty() && o.back() == ' ') o.pop_back();
        if (!naro_starts(o, "_symmetry_space_group_name_H-M") && !naro_starts(o, "_space_group_name_H-M_alt")) {
            std::string q;
            bool in = false;
            for (char c : o) {
                if (c == '\'') {
                    in = !in;
                    continue;
                }
                if (in && c == ' ') continue;
                q += c;
            }
            o = q;
        }
        s = o;
    }
}

int NARO_cif_concatenate_lines(const std::vector<std::string>& lines, int first, int last,
                               std::string& out, int size) {
    out.clear();
    for (int i = first; i <= last && i < static_cast<int>(lines.size()); ++i) out += lines[static_cast<size_t>(i)];
    if (static_cast<int>(out.size()) > size - 1) out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return 0;
}

void remove_unnecessary_pluses(std::string& s) {
    std::string o;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+' && (i == 0 || s[i - 1] == ' ' || s[i - 1] == ',')) continue;
        o += s[i];
    }
    s = o;
}

// Text value of a tag: the rest of the line, or a ";"-delimited text block below it.
static int naro_text_value(const std::vector<std::string>& lines, size_t& i, const char* tag,
                           std::string& out) {
    const std::string& l = lines[i];
    size_t start = std::strlen(tag) + 1;
    if (i + 1 < lines.size() && naro_starts(lines[i + 1], ";")) {
        size_t j = i + 2;
        while (j < lines.size() && !naro_starts(lines[j], ";")) ++j;
        int n = static_cast<int>(j - (i + 2));
        if (n > NARO_CIF_MAX_MULTIPLE_LINES) {
            std::fprintf(stderr, "Error: NARO_CIF_MAX_MULTIPLE_LINES exceeded\n");
            return 1;
        }
        NARO_cif_concatenate_lines(lines, static_cast<int>(i + 2), static_cast<int>(j) - 1, out, 200);
        i = j;
        return 0;
    }
    out = start < l.size() ? naro_cut(l.substr(start), 199) : std::string();
    return 0;
}

static bool naro_is_symop_row(const std::string& op) {
    int commas = 0;
    for (char c : op) commas += (c == ',');
    if (commas != 2) return false;
    return op.front() != ',' && op.back() != ',' && op.find(",,") == std::string::npos;
}

// ---------------------------------------------------------------- loading
int NARO_is_valid_lattice_parameters(const NARO_cif& cif) {
    const double v[6] = {cif.a, cif.b, cif.c, cif.alpha, cif.beta, cif.gamma};
    for (double x : v)
        if (!std::isfinite(x) || x < 0 || NARO_cif_equal_dbl(x, 0)) return 0;
    for (int i = 3; i < 6; ++i)
        if (v[i] >= 180.0) return 0;
    double ca = std::cos(cif.alpha * NARO_PI / 180), cb = std::cos(cif.beta * NARO_PI / 180),
           cg = std::cos(cif.gamma * NARO_PI / 180);
    if (1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg <= 1e-10) return 0;
    return 1;
}

int NARO_guess_site_ox_from_type_symbol(const NARO_cif&, const NARO_site& site, double* ox) {
    const std::string& s = site.type;
    size_t d = 0;
    while (d < s.size() && !std::isdigit(static_cast<unsigned char>(s[d]))) ++d;
    if (d >= s.size()) return 0;
    double v = std::strtod(s.c_str() + d, nullptr);
    if (s.find('-') != std::string::npos) v = -std::fabs(v);
    *ox = v;
    return 1;
}

int NARO_fill_ox_states_to_sites(NARO_cif& cif) {
    int all = 1;
    for (size_t k = 0; k < cif.site.size(); ++k) {
        NARO_site& s = cif.site[k];
        bool found = false;
        for (const NARO_type& t : cif.type)
            if (t.label == s.type) {
                s.ox = t.ox;
                s.type_flag = t.flag;
                s.ox_set = 1;
                found = true;
                break;
            }
        if (found) continue;
        double ox;
        if (NARO_guess_site_ox_from_type_symbol(cif, s, &ox)) {
            int flag = 0;
            if (NARO_add_cif_type(cif, s.type, ox, &flag) != 0) return 1;
            cif.site[k].ox = ox;
            cif.site[k].type_flag = flag;
            cif.site[k].ox_set = 1;
        } else {
            all = 0;
        }
    }
    cif.site_charge_provided = all;
    return 0;
}

int NARO_update_cif_type_elem(NARO_cif& cif) {
    for (NARO_type& t : cif.type) t.label_element = naro_leading_letters(t.label);
    return 0;
}

void NARO_calc_cif_d_parameters(NARO_cif& cif) {
    const double ca = std::cos(cif.alpha * NARO_PI / 180), cb = std::cos(cif.beta * NARO_PI / 180),
                 cg = std::cos(cif.gamma * NARO_PI / 180);
    cif.d1 = cif.a * cif.a;
    cif.d2 = cif.b * cif.b;
    cif.d3 = cif.c * cif.c;
    cif.d4 = 2 * cif.a * cif.b * cg;
    cif.d5 = 2 * cif.b * cif.c * ca;
    cif.d6 = 2 * cif.a * cif.c * cb;
}

int NARO_get_symops_from_dat(NARO_cif& cif) {
    std::string path = NARO_data_file_path("database_symcards.dat");
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) return 0;   // no card database: not an error
    std::vector<std::string> lines;
    char buf[1024];
    while (std::fgets(buf, sizeof buf, fp)) {
        std::string l(buf);
        size_t cut = l.find_first_of("\r\n");
        if (cut != std::string::npos) l.resize(cut);
        lines.push_back(l);
    }
    std::fclose(fp);
    size_t i = 0;
    while (i < lines.size() && !naro_starts(lines[i], "DATA_START")) ++i;
    for (++i; i < lines.size(); ++i) {
        if (lines[i].find("DATA_END") != std::string::npos) break;
        if (!naro_starts(lines[i], "#")) continue;
        if (i + 4 >= lines.size()) break;
        const std::string& hm = lines[i + 3];
        bool match = false;
        size_t p = 0;
        while (p <= hm.size()) {
            size_t q = hm.find('\'', p);
            std::string piece = hm.substr(p, q == std::string::npos ? std::string::npos : q - p);
            if (!cif.spacegroup_HM.empty() && piece == cif.spacegroup_HM) match = true;
            if (q == std::string::npos) break;
            p = q + 1;
        }
        if (!match) continue;
        long n = std::strtol(lines[i + 4].c_str(), nullptr, 10);
        if (n < 0 || n > NARO_MAX_SYMOP) n = 0;
        cif.symop.clear();
        for (long k = 0; k < n && i + 5 + static_cast<size_t>(k) < lines.size(); ++k)
            cif.symop.push_back(naro_cut(lines[i + 5 + static_cast<size_t>(k)], 29));
        naro_sync_counts(cif);
        return 0;
    }
    return 0;
}

int NARO_fill_symops(NARO_cif& cif) {
    if (cif.symop.empty()) NARO_get_symops_from_dat(cif);
    if (cif.symop.empty()) cif.symop.push_back("x,y,z");
    naro_sync_counts(cif);
    return 0;
}

int NARO_symmetry_parse_symop(const char* component, double x, double y, double z, double* value) {
    NARO_RPN_token rpn;
    if (NARO_RPN_compile(component, rpn) != 0 || NARO_RPN_check_variables(rpn, "xyzXYZ") != 0) return 1;
    NARO_variable_list vars;
    NARO_store_variable_value(vars, 'x', x);
    NARO_store_variable_value(vars, 'y', y);
    NARO_store_variable_value(vars, 'z', z);
    NARO_store_variable_value(vars, 'X', x);
    NARO_store_variable_value(vars, 'Y', y);
    NARO_store_variable_value(vars, 'Z', z);
    return NARO_RPN_read(rpn, vars, value);
}

static double naro_wrap01(double v) {
    if (!std::isfinite(v)) return 0;
    v -= std::floor(v);
    if (v >= 1.0) v -= 1.0;
    return v;
}

int NARO_symmetry_generate_equivalent_copies(const NARO_cif& cif, NARO_equiv_pos& pos, double x,
                                             double y, double z) {
    pos.frac.clear();
    pos.total_copies = 0;
    if (cif.symop.empty()) {
        std::fprintf(stderr, "Error: Invalid symmetry operation\n");
        return 1;
    }
    for (const std::string& op : cif.symop) {
        std::string comp[3];
        int c = 0;
        for (char ch : op) {
            if (ch == ',') {
                if (++c > 2) break;
                continue;
            }
            comp[c] += ch;
        }
        double v[3];
        if (c != 2) {
            std::fprintf(stderr, "Error: Invalid symmetry operation\n");
            return 1;
        }
        for (int k = 0; k < 3; ++k)
            if (NARO_symmetry_parse_symop(comp[k].c_str(), x, y, z, &v[k]) != 0) {
                std::fprintf(stderr, "Error: Invalid symmetry operation\n");
                return 1;
            }
        NARO_equiv_pos_frac_coor f{naro_wrap01(v[0]), naro_wrap01(v[1]), naro_wrap01(v[2])};
        auto same = [](double a, double b) {
            double d = std::fabs(a - b);
            return d < 0.001 || std::fabs(1 - d) < 0.001;
        };
        bool dup = false;
        for (const auto& e : pos.frac)
            if (same(e.a, f.a) && same(e.b, f.b) && same(e.c, f.c)) {
                dup = true;
                break;
            }
        if (!dup) pos.frac.push_back(f);
    }
    pos.total_copies = static_cast<int>(pos.frac.size());
    return 0;
}

void NARO_free_equiv_pos(NARO_equiv_pos& pos) {
    pos.frac.clear();
    pos.total_copies = 0;
}

int NARO_refresh_site_mul(NARO_cif& cif) {
    for (NARO_site& s : cif.site) {
        NARO_equiv_pos pos;
        if (NARO_symmetry_generate_equivalent_copies(cif, pos, s.x, s.y, s.z) != 0 || pos.total_copies < 1) {
            std::fprintf(stderr, "Error: Unable to calculate site multiplicity\n");
            return 1;
        }
        s.mul = pos.total_copies;
    }
    return 0;
}

static bool naro_is_symop_tag(const std::string& l) {
    return naro_starts(l, "_symmetry_equiv_pos_site_id") || naro_starts(l, "_space_group_symop_id") ||
           naro_starts(l, "_symmetry_equiv_pos_as_xyz") || naro_starts(l, "_space_group_symop_operation_xyz");
}

int NARO_load_cif(const char* file, NARO_cif& cif) {
    FILE* fp = std::fopen(file, "rb");
    if (!fp) {
        std::fprintf(stderr, "Error: Unable to open CIF file\n");
        return 1;
    }
    std::vector<std::string> lines;
    {
        std::string cur;
        int ch;
        while ((ch = std::fgetc(fp)) != EOF) {
            if (ch == '\n') {
                lines.push_back(cur);
                cur.clear();
                continue;
            }
            if (ch == 0) ch = ' ';
            if (cur.size() < NARO_CIF_LINE - 1) cur += static_cast<char>(ch);
        }
        if (!cur.empty()) lines.push_back(cur);
        std::fclose(fp);
    }
    NARO_trim_cif_buffer(lines, static_cast<int>(lines.size()));

    bool saw_site_loop = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (naro_starts(l, "_chemical_formula_structural")) {
            if (naro_text_value(lines, i, "_chemical_formula_structural", cif.chem_form_struct) != 0) return 1;
        } else if (naro_starts(l, "_chemical_formula_sum")) {
            if (naro_text_value(lines, i, "_chemical_formula_sum", cif.chem_form_sum) != 0) return 1;
        } else if (naro_starts(l, "_symmetry_space_group_name_H-M ") ||
                   naro_starts(l, "_space_group_name_H-M_alt ")) {
            size_t start = l.find(' ') + 1;
            std::string v;
            for (size_t k = start; k < l.size(); ++k)
                if (l[k] != '\'') v += l[k];
            cif.spacegroup_HM = naro_cut(v, 19);
        } else if (naro_starts(l, "_database_code_ICSD ")) {
            cif.ICSD = naro_cut(l.substr(std::strlen("_database_code_ICSD ")), 9);
        } else if (naro_starts(l, "_cell_length_a ")) {
            cif.a = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_length_b ")) {
            cif.b = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_length_c ")) {
            cif.c = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_angle_alpha ")) {
            cif.alpha = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_angle_beta ")) {
            cif.beta = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_angle_gamma ")) {
            cif.gamma = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_volume ")) {
            cif.volume = naro_second_dbl(l);
        } else if (naro_starts(l, "_cell_formula_units_Z ")) {
            cif.z = naro_second_int(l);
        } else if (naro_starts(l, "_refine_ls_R_factor_all ")) {
            cif.R_factor = naro_second_dbl(l);
        } else if (naro_starts(l, "_symmetry_Int_Tables_number ") || naro_starts(l, "_space_group_IT_number ")) {
            cif.int_tab_cryst_no = naro_second_int(l);
        } else if (naro_starts(l, "loop_") && i + 1 < lines.size()) {
            const std::string& t1 = lines[i + 1];
            if (naro_is_symop_tag(t1)) {
                const bool with_id = naro_starts(t1, "_symmetry_equiv_pos_site_id") ||
                                     naro_starts(t1, "_space_group_symop_id");
                size_t d = i + 2;
                if (d < lines.size() && (naro_starts(lines[d], "_symmetry_equiv_pos") ||
                                         naro_starts(lines[d], "_space_group_symop_operation_xyz")))
                    ++d;
                cif.symop.clear();
                for (; d < lines.size(); ++d) {
                    std::string op;
                    if (with_id) {
                        auto t = naro_tokens(lines[d]);
                        if (t.size() < 2) break;
                        op = t[1];
                    } else {
                        op = lines[d];
                    }
                    remove_unnecessary_pluses(op);
                    if (op.empty() || !naro_is_symop_row(op)) break;
                    if (cif.symop.size() >= static_cast<size_t>(NARO_MAX_SYMOP)) break;
                    cif.symop.push_back(naro_cut(op, 29));
                }
                i = d - 1;
            } else if (naro_starts(t1, "_atom_type_symbol") && i + 2 < lines.size() &&
                       naro_starts(lines[i + 2], "_atom_type_oxidation_number")) {
                size_t d = i + 3;
                int rows = 0;
                for (; d < lines.size(); ++d) {
                    auto t = naro_tokens(lines[d]);
                    if (t.size() != 2) break;
                    NARO_add_cif_type(cif, t[0], std::strtod(t[1].c_str(), nullptr), nullptr);
                    ++rows;
                }
                if (rows == 0) {
                    std::fprintf(stderr, "Error: Atom type is expected but not found!\n");
                    return 1;
                }
                i = d - 1;
            } else if (naro_starts(t1, "_atom_site_") && !naro_starts(t1, "_atom_site_aniso")) {
                saw_site_loop = true;
                enum Col { C_SKIP, C_LABEL, C_TYPE, C_MUL, C_WYCK, C_X, C_Y, C_Z, C_OCC };
                std::vector<Col> cols;
                size_t d = i + 1;
                for (; d < lines.size() && naro_starts(lines[d], "_atom_site_"); ++d) {
                    const std::string tag = naro_tokens(lines[d]).empty() ? std::string() : naro_tokens(lines[d])[0];
                    Col c = C_SKIP;
                    if (tag == "_atom_site_label") c = C_LABEL;
                    else if (tag == "_atom_site_type_symbol") c = C_TYPE;
                    else if (tag == "_atom_site_symmetry_multiplicity" ||
                             tag == "_atom_site_site_symmetry_multiplicity") c = C_MUL;
                    else if (tag == "_atom_site_Wyckoff_symbol") c = C_WYCK;
                    else if (tag == "_atom_site_fract_x") c = C_X;
                    else if (tag == "_atom_site_fract_y") c = C_Y;
                    else if (tag == "_atom_site_fract_z") c = C_Z;
                    else if (tag == "_atom_site_occupancy") c = C_OCC;
                    cols.push_back(c);
                }
                bool hx = false, hy = false, hz = false;
                for (Col c : cols) {
                    hx |= c == C_X;
                    hy |= c == C_Y;
                    hz |= c == C_Z;
                }
                if (!hx || !hy || !hz) {
                    std::fprintf(stderr, "Error: Missing _atom_site_fract entries\n");
                    return 1;
                }
                int rows = 0;
                for (; d < lines.size(); ++d) {
                    auto t = naro_tokens(lines[d]);
                    if (t.size() != cols.size()) break;
                    std::string label = ".", type = ".";
                    int mul = 0;
                    char wy = '.';
                    double x = 0, y = 0, z = 0, occ = 1.0;
                    for (size_t c = 0; c < cols.size(); ++c) {
                        const char* v = t[c].c_str();
                        switch (cols[c]) {
                        case C_LABEL: label = t[c]; break;
                        case C_TYPE: type = t[c]; break;
                        case C_MUL: mul = static_cast<int>(std::strtol(v, nullptr, 10)); break;
                        case C_WYCK: wy = t[c][0]; break;
                        case C_X: x = std::strtod(v, nullptr); break;
                        case C_Y: y = std::strtod(v, nullptr); break;
                        case C_Z: z = std::strtod(v, nullptr); break;
                        case C_OCC: occ = std::strtod(v, nullptr); break;
                        default: break;
                        }
                    }
                    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(occ)) break;
                    if (x < 0) x += 1;
                    if (y < 0) y += 1;
                    if (z < 0) z += 1;
                    NARO_add_cif_site(cif, label, type, x, y, z, mul, wy, occ, 0.0);
                    ++rows;
                }
                if (rows == 0) {
                    std::fprintf(stderr, "Error: No site is found!\n");
                    return 1;
                }
                i = d - 1;
            }
        }
    }
    naro_sync_counts(cif);

    if (!NARO_is_valid_lattice_parameters(cif)) {
        std::fprintf(stderr, "Error: Invalid lattice parameters\n");
        return 1;
    }
    if (!saw_site_loop || cif.site.empty()) {
        std::fprintf(stderr, "Error: No site is found!\n");
        return 1;
    }
    if (NARO_cif_equal_dbl(cif.volume, 0)) {
        double ca = std::cos(cif.alpha * NARO_PI / 180), cb = std::cos(cif.beta * NARO_PI / 180),
               cg = std::cos(cif.gamma * NARO_PI / 180);
        cif.volume = cif.a * cif.b * cif.c * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
    }
    if (NARO_fill_ox_states_to_sites(cif) != 0) return 1;
    if (NARO_update_cif_type_elem(cif) != 0) {
        std::printf("Error: NARO_update_cif_type_elem() didnt return 0 for first data import");
        return 1;
    }
    NARO_calc_cif_d_parameters(cif);
    NARO_fill_symops(cif);
    if (NARO_refresh_site_mul(cif) != 0) return 1;
    naro_sync_counts(cif);
    return 0;
}

// ---------------------------------------------------------------- probe ion
static double naro_charge_of_symbol(const std::string& s, bool* ok) {
    size_t d = 0;
    while (d < s.size() && !std::isdigit(static_cast<unsigned char>(s[d]))) ++d;
    double v;
    if (d < s.size()) v = std::strtod(s.c_str() + d, nullptr);
    else if (s.find_first_of("+-") != std::string::npos) v = 1;   // "Li+" means one charge
    else {
        *ok = false;
        return 0;
    }
    *ok = true;
    return s.find('-') != std::string::npos ? -std::fabs(v) : v;
}

int NARO_site_is_probe(const NARO_cif& cif, const NARO_site& site) {
    if (cif.probe_type.empty()) return 0;
    if (naro_cut(site.type, 9) == naro_cut(cif.probe_type, 9)) return 1;
    if (!site.ox_set) {
        // A bare element symbol ("Li") carries no charge to contradict the probe's.
        const std::string el = naro_leading_letters(site.type);
        return !el.empty() && el == site.type && el == naro_leading_letters(cif.probe_type) ? 1 : 0;
    }
    bool ok = false;
    double q = naro_charge_of_symbol(cif.probe_type, &ok);
    return ok && naro_leading_letters(site.type) == naro_leading_letters(cif.probe_type) &&
                   NARO_cif_equal_dbl(q, site.ox)
               ? 1
               : 0;
}

// ---------------------------------------------------------------- writing and printing
void NARO_print_cif_latt_param(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "_cell_length_a                    %.6f\n", cif.a);
    std::fprintf(out, "_cell_length_b                    %.6f\n", cif.b);
    std::fprintf(out, "_cell_length_c                    %.6f\n", cif.c);
    std::fprintf(out, "_cell_angle_alpha                 %.6f\n", cif.alpha);
    std::fprintf(out, "_cell_angle_beta                  %.6f\n", cif.beta);
    std::fprintf(out, "_cell_angle_gamma                 %.6f\n", cif.gamma);
    std::fprintf(out, "_cell_volume                      %.6f\n", cif.volume);
}

static void naro_print_symop_loop(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "loop_\n_symmetry_equiv_pos_site_id\n_symmetry_equiv_pos_as_xyz\n");
    for (size_t k = 0; k < cif.symop.size(); ++k)
        std::fprintf(out, "%3d   '%s'\n", static_cast<int>(k + 1), cif.symop[k].c_str());
}

void NARO_print_cif_types(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "loop_\n_atom_type_symbol\n_atom_type_oxidation_number\n");
    for (const NARO_type& t : cif.type) std::fprintf(out, "%-8s %.3f\n", t.label.c_str(), t.ox);
}

static void naro_print_site_list(const std::vector<NARO_site>& sites, FILE* out) {
    std::fprintf(out,
                 "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_symmetry_multiplicity\n"
                 "_atom_site_Wyckoff_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                 "_atom_site_occupancy\n");
    for (const NARO_site& s : sites)
        std::fprintf(out, "%-12s %-8s %3d %c %7.5f %7.5f %7.5f %4.3f\n", s.label.c_str(), s.type.c_str(),
                     s.mul, s.Wyckoff, s.x, s.y, s.z, s.occ);
}

void NARO_print_cif_sites(const NARO_cif& cif, FILE* out) { naro_print_site_list(cif.site, out); }
void NARO_print_cif_all_sites(const NARO_cif& cif, FILE* out) { naro_print_site_list(cif.site_all, out); }

void NARO_print_cif_symops(const NARO_cif& cif, FILE* out) {
    naro_print_symop_loop(cif, out);
    std::fprintf(out, "Symmetrical operations by fastgen symcopies.\n");
    std::printf("diff_neigh: %d\n", cif.diff_neigh);
    for (const NARO_fastgen_symop& o : cif.fg.op) {
        std::printf("X: %2d %2d %2d  %4d   ", o.x_x, o.x_y, o.x_z, o.x_a);
        std::printf("Y: %2d %2d %2d  %4d   ", o.y_x, o.y_y, o.y_z, o.y_a);
        std::printf("Z: %2d %2d %2d  %4d\n", o.z_x, o.z_y, o.z_z, o.z_a);
    }
}

void NARO_print_cif_ICSD(const NARO_cif& cif, FILE* out) { std::fprintf(out, "ICSD: %s  \n", cif.ICSD.c_str()); }

int NARO_write_cif(const NARO_cif& cif, FILE* out) {
    std::fprintf(out, "data_NARO\n");
    NARO_print_cif_latt_param(cif, out);
    if (!cif.spacegroup_HM.empty())
        std::fprintf(out, "_symmetry_space_group_name_H-M    '%s'\n", cif.spacegroup_HM.c_str());
    if (cif.int_tab_cryst_no > 0) std::fprintf(out, "_symmetry_Int_Tables_number       %d\n", cif.int_tab_cryst_no);
    if (cif.z >= 1) std::fprintf(out, "_cell_formula_units_Z             %d\n", cif.z);
    naro_print_symop_loop(cif, out);
    NARO_print_cif_types(cif, out);
    NARO_print_cif_sites(cif, out);
    std::fprintf(out, "#End of data_NARO\n");
    return 0;
}

static bool naro_sites_substitute(const NARO_cif& cif, const NARO_site& s, const NARO_site& t) {
    if (s.mul != t.mul || s.Wyckoff != t.Wyckoff) return false;
    return std::fabs(s.x - t.x) * cif.a < 0.5 && std::fabs(s.y - t.y) * cif.b < 0.5 &&
           std::fabs(s.z - t.z) * cif.c < 0.5;
}

void NARO_check_ion_sub(const NARO_cif& cif, FILE* out) {
    bool sub = false;
    for (size_t i = 0; i < cif.site.size() && !sub; ++i) {
        if (!NARO_site_is_probe(cif, cif.site[i])) continue;
        for (size_t j = 0; j < cif.site.size(); ++j)
            if (j != i && naro_sites_substitute(cif, cif.site[i], cif.site[j])) {
                sub = true;
                break;
            }
    }
    std::fprintf(out, sub ? "ICSD: %s Yes, substituted\n" : "ICSD: %s Not substituted\n", cif.ICSD.c_str());
}

void NARO_check_ions_sub(const NARO_cif& cif, FILE* out) {
    bool sub = false;
    for (size_t i = 0; i < cif.site.size() && !sub; ++i)
        for (size_t j = i + 1; j < cif.site.size(); ++j)
            if (naro_sites_substitute(cif, cif.site[i], cif.site[j])) {
                sub = true;
                break;
            }
    std::fprintf(out, sub ? "ICSD: %s Yes, substituted\n" : "ICSD: %s Not substituted\n", cif.ICSD.c_str());
}

// Angstrom distance of two fractional positions with the cell metric; no image is sought.
double NARO_distance_frac_cif(const NARO_cif& cif, double x1, double y1, double z1, double x2,
                              double y2, double z2) {
    double da = x1 - x2, db = y1 - y2, dc = z1 - z2;
    double s = da * da * cif.d1 + db * db * cif.d2 + dc * dc * cif.d3 + da * db * cif.d4 + db * dc * cif.d5 +
               da * dc * cif.d6;
    return std::sqrt(s > 0 ? s : 0);
}

// ---------------------------------------------------------------- P1 expansion
int NARO_add_P1_to_cif(NARO_cif& cif) {
    cif.site_all.clear();
    for (const NARO_site& s : cif.site) {
        NARO_equiv_pos pos;
        if (NARO_symmetry_generate_equivalent_copies(cif, pos, s.x, s.y, s.z) != 0) {
            naro_sync_counts(cif);
            return 1;
        }
        for (const auto& f : pos.frac) {
            NARO_site c = s;
            c.x = f.a;
            c.y = f.b;
            c.z = f.c;
            c.mul = 1;
            c.Wyckoff = 'a';
            cif.site_all.push_back(c);
        }
    }
    naro_sync_counts(cif);
    return 0;
}
