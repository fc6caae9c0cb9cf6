// Structure model of the analyser: line-based CIF loader and writer, atom types and
// sites, symmetry operations as text, equivalent positions, substitution checks.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "cif.hpp"
#include "cif-spacegroup.hpp"

#include "cell-metric.hpp"
#include "cif-cell-check.hpp"
#include "cif-document.hpp"
#include "cif-element.hpp"
#include "cif-formula.hpp"
#include "cif-number.hpp"
#include "cif-parse.hpp"
#include "cif-symops.hpp"
#include "cif-water.hpp"
#include "math.hpp"

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

// ---------------------------------------------------------------- loading
int NARO_is_valid_lattice_parameters(const NARO_cif& cif) {
    const double v[6] = {cif.a, cif.b, cif.c, cif.alpha, cif.beta, cif.gamma};
    for (double x : v)
        if (!std::isfinite(x) || x < 0 || NARO_cif_equal_dbl(x, 0)) return 0;
    for (int i = 3; i < 6; ++i)
        if (v[i] >= 180.0) return 0;
    if (naro_cell_metric_degrees(cif.alpha, cif.beta, cif.gamma).volume_factor <= 1e-10) return 0;
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
    double d[6];
    naro_cell_distance_coefficients(cif.a, cif.b, cif.c, naro_cell_metric_degrees(cif.alpha, cif.beta, cif.gamma), d);
    cif.d1 = d[0];
    cif.d2 = d[1];
    cif.d3 = d[2];
    cif.d4 = d[3];
    cif.d5 = d[4];
    cif.d6 = d[5];
}

int NARO_get_symops_from_dat(NARO_cif& cif) {
    // a missing card database is not an error: the list stays as it is
    auto ops = naro_symops_from_settings(NARO_data_file_path("database_symcards.dat"), cif.spacegroup_HM, "", 0,
                                         nullptr);
    if (ops.empty()) return 0;
    cif.symop.clear();
    for (const std::string& op : ops)
        if (cif.symop.size() < static_cast<size_t>(NARO_MAX_SYMOP)) cif.symop.push_back(naro_cut(op, 29));
    naro_sync_counts(cif);
    return 0;
}

int NARO_fill_symops(NARO_cif& cif) {
    if (cif.symop.empty()) NARO_get_symops_from_dat(cif);
    if (cif.symop.empty()) cif.symop.push_back("x,y,z");
    naro_sync_counts(cif);
    return 0;
}

static double naro_wrap01(double v) {
    if (!std::isfinite(v)) return 0;
    v -= std::floor(v);
    if (v >= 1.0) v -= 1.0;
    return v;
}

// Whether two images of a site are one position: closer than 0.1 A (0.005 of a 20 A axis, far
// above the rounding of four-decimal coordinates and below the distance of split positions), or,
// before a cell is known, within 0.001 of each axis.
static bool naro_same_position(const NARO_cif& cif, const NARO_equiv_pos_frac_coor& p,
                               const NARO_equiv_pos_frac_coor& q) {
    double d[3] = {p.a - q.a, p.b - q.b, p.c - q.c};
    for (double& v : d) v -= std::round(v);
    if (!(cif.d1 > 0 && cif.d2 > 0 && cif.d3 > 0))
        return std::fabs(d[0]) < 0.001 && std::fabs(d[1]) < 0.001 && std::fabs(d[2]) < 0.001;
    const double r2 = cif.d1 * d[0] * d[0] + cif.d2 * d[1] * d[1] + cif.d3 * d[2] * d[2] + cif.d4 * d[0] * d[1] +
                      cif.d5 * d[1] * d[2] + cif.d6 * d[0] * d[2];
    return r2 < 0.1 * 0.1;
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
        bool dup = false;
        for (const auto& e : pos.frac)
            if (naro_same_position(cif, e, f)) {
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

namespace {

template <class Tags>
const std::string* naro_first_tag_value(const CifBlock& b, const Tags& tags) {
    for (const char* t : tags) {
        const std::string* v = b.value(t);
        if (v != nullptr && v->find_first_not_of(" \t") != std::string::npos && !cif_is_placeholder(v->c_str()))
            return v;
    }
    return nullptr;
}

const std::string* naro_first_value(const CifBlock& b, std::initializer_list<const char*> tags) {
    for (const char* t : tags) {
        const std::string* v = b.value(t);
        if (v != nullptr && v->find_first_not_of(" \t") != std::string::npos && !cif_is_placeholder(v->c_str()))
            return v;
    }
    return nullptr;
}

// A text value; the lines of a text field are joined (at most NARO_CIF_MAX_MULTIPLE_LINES).
bool naro_text_of(const CifBlock& b, const char* tag, std::size_t max, std::string& out) {
    out.clear();
    const std::string* v = naro_first_value(b, {tag});
    if (v == nullptr) return true;
    int lines = 1;
    std::string s;
    for (char c : *v) {
        if (c == '\n') ++lines;
        if (c != '\n' && c != '\r') s.push_back(c);
    }
    if (lines > NARO_CIF_MAX_MULTIPLE_LINES) {
        std::fprintf(stderr, "Error: NARO_CIF_MAX_MULTIPLE_LINES exceeded\n");
        return false;
    }
    out = naro_cut(s, max);
    return true;
}

double naro_number_of(const CifBlock& b, std::initializer_list<const char*> tags) {
    double v = 0;
    const std::string* s = naro_first_value(b, tags);
    return s != nullptr && cif_read_number(s->c_str(), &v) ? v : 0.0;
}

const std::string& naro_cell_text(const CifLoop& loop, std::size_t row, long col) {
    static const std::string none = "?";
    if (col < 0 || row >= loop.size() || static_cast<std::size_t>(col) >= loop[row].size()) return none;
    return loop[row][static_cast<std::size_t>(col)];
}

}  // namespace

int NARO_load_cif(const char* file, NARO_cif& cif) {
    std::string text;
    {
        FILE* fp = std::fopen(file, "rb");
        if (!fp) {
            std::fprintf(stderr, "Error: Unable to open CIF file\n");
            return 1;
        }
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, n);
        std::fclose(fp);
    }
    std::vector<CifBlock> blocks;
    std::string why, note;
    if (!cif_parse_blocks(text, blocks, why, note)) {
        std::fprintf(stderr, "Error: %s: %s\n", file, why.c_str());
        return 1;
    }
    if (!note.empty()) std::printf("Message: %s.\n", note.c_str());
    CifBlock& b = blocks[static_cast<std::size_t>(cif_structure_block(blocks))];
    if (blocks.size() > 1)
        std::printf("Message: %zu data blocks in the CIF; the structure is read from data_%s.\n", blocks.size(),
                    b.name.c_str());
    if (!cif_block_check(b, why)) {
        std::fprintf(stderr, "Error: %s: %s\n", file, why.c_str());
        return 1;
    }
    if (const auto water = cif_block_read_water_names(b); !water.empty()) {
        std::string sites;
        for (const std::string& label : water) sites += (sites.empty() ? "" : " ") + label;
        std::printf("Warning: %s: %s.\n", kCifWaterRule, sites.c_str());
    }
    if (cif_block_is_superspace(b)) {
        std::fprintf(stderr, "Error: data_%s describes a modulated structure in superspace; only three-dimensional "
                             "structures are read\n", b.name.c_str());
        return 1;
    }

    if (!naro_text_of(b, "_chemical_formula_structural", 199, cif.chem_form_struct) ||
        !naro_text_of(b, "_chemical_formula_sum", 199, cif.chem_form_sum) ||
        !naro_text_of(b, "_database_code_icsd", 9, cif.ICSD))
        return 1;
    const std::string* hm = naro_first_tag_value(b, kCifHmTags);
    cif.spacegroup_HM = hm != nullptr ? naro_cut(*hm, 19) : std::string();
    const std::string* hall = naro_first_tag_value(b, kCifHallTags);
    cif.a = naro_number_of(b, {"_cell_length_a"});
    cif.b = naro_number_of(b, {"_cell_length_b"});
    cif.c = naro_number_of(b, {"_cell_length_c"});
    cif.alpha = naro_number_of(b, {"_cell_angle_alpha"});
    cif.beta = naro_number_of(b, {"_cell_angle_beta"});
    cif.gamma = naro_number_of(b, {"_cell_angle_gamma"});
    cif.volume = naro_number_of(b, {"_cell_volume"});
    cif.z = static_cast<int>(naro_number_of(b, {"_cell_formula_units_z"}));
    cif.R_factor = naro_number_of(b, {"_refine_ls_r_factor_all"});
    cif.int_tab_cryst_no = 0;
    if (const std::string* no = naro_first_tag_value(b, kCifNumberTags)) {
        double v = 0;
        if (cif_read_number(no->c_str(), &v) && v >= 1 && v <= 230) cif.int_tab_cryst_no = static_cast<int>(v);
    }

    if (!NARO_is_valid_lattice_parameters(cif)) {
        std::fprintf(stderr, "Error: Invalid lattice parameters\n");
        return 1;
    }

    // symmetry operations: the file's list, completed to a group
    bool listed = false;
    for (const char* tag : {"_symmetry_equiv_pos_as_xyz", "_space_group_symop_operation_xyz"}) {
        std::vector<std::string> ops;
        if (const CifLoop* loop = b.loop_with(tag)) {
            const long col = cif_loop_column(*loop, tag);
            for (std::size_t r = 1; r < loop->size(); ++r) ops.push_back(naro_cell_text(*loop, r, col));
        } else if (const std::string* one = b.value(tag)) {
            ops.push_back(*one);
        }
        if (ops.empty()) continue;
        for (std::string& op : ops) {
            std::string o;
            for (char c : op)
                if (c != ' ' && c != '\t' && c != '\'') o.push_back(c);
            remove_unnecessary_pluses(o);
            op = o;
        }
        const std::size_t given = ops.size();
        const int added = naro_close_symops(ops);
        if (added == -2) {
            std::fprintf(stderr, "Error: Invalid symmetry operation\n");
            return 1;
        }
        if (added < 0) {
            std::fprintf(stderr, "Error: the %zu symmetry operations of the CIF are not those of a space group\n", given);
            return 1;
        }
        if (added > 0)
            std::printf("Warning: the %zu symmetry operations of the CIF do not form a group; completed by composition "
                        "to %zu operations.\n", given, ops.size());
        if (ops.size() > static_cast<std::size_t>(NARO_MAX_SYMOP)) {
            std::fprintf(stderr, "Error: more than %d symmetry operations\n", NARO_MAX_SYMOP);
            return 1;
        }
        cif.symop.clear();
        for (const std::string& op : ops) cif.symop.push_back(naro_cut(op, 29));
        listed = true;
        break;
    }
    // no operations and no name: P 1, said once the file proves to hold sites
    const bool no_symmetry = !listed && hm == nullptr && hall == nullptr && cif.int_tab_cryst_no <= 0;
    if (no_symmetry) cif.symop.assign(1, "x,y,z");
    if (!listed && (hm != nullptr || hall != nullptr || cif.int_tab_cryst_no > 0)) {
        // no list: the operations of the setting the file names (naming nothing is P 1)
        std::string how;
        // an old cubic symbol (P m 3 m) is looked up in today's spelling (P m -3 m)
        const std::string modern = hm ? cif_space_group_modern_symbol(*hm) : std::string();
        if (!modern.empty()) std::printf("Message: the H-M symbol '%s' is read as '%s'.\n", hm->c_str(), modern.c_str());
        auto ops = naro_symops_from_settings(NARO_data_file_path("database_symcards.dat"),
                                             !modern.empty() ? modern : hm ? *hm : std::string(),
                                             hall ? *hall : std::string(), cif.int_tab_cryst_no, &how);
        if (ops.empty()) {
            std::fprintf(stderr, "Error: the space group of the CIF (%s) is not in database_symcards.dat\n",
                         hm ? hm->c_str() : hall ? hall->c_str() : std::to_string(cif.int_tab_cryst_no).c_str());
            return 1;
        }
        cif.symop.clear();
        for (const std::string& op : ops) cif.symop.push_back(naro_cut(op, 29));
    }

    // atom types with oxidation states
    if (const CifLoop* types = b.loop_with("_atom_type_oxidation_number")) {
        const long cs = cif_loop_column(*types, "_atom_type_symbol");
        const long co = cif_loop_column(*types, "_atom_type_oxidation_number");
        if (cs < 0 || types->size() < 2) {
            std::fprintf(stderr, "Error: Atom type is expected but not found!\n");
            return 1;
        }
        for (std::size_t r = 1; r < types->size(); ++r) {
            double ox = 0;
            if (!cif_read_number(naro_cell_text(*types, r, co).c_str(), &ox)) continue;  // no state given: none taken
            NARO_add_cif_type(cif, naro_cut(naro_cell_text(*types, r, cs), 9), ox, nullptr);
        }
    }

    // sites
    const CifLoop* sites = b.loop_with("_atom_site_fract_x");
    if (sites == nullptr) sites = b.loop_with("_atom_site_label");
    if (sites == nullptr) {
        std::fprintf(stderr, "Error: No site is found!\n");
        return 1;
    }
    if (no_symmetry) std::printf("Warning: the CIF gives no symmetry operations and no space group; P 1 (x,y,z) is used.\n");
    const long c_label = cif_loop_column(*sites, "_atom_site_label");
    const long c_type = cif_loop_column(*sites, "_atom_site_type_symbol");
    long c_mul = cif_loop_column(*sites, "_atom_site_symmetry_multiplicity");
    if (c_mul < 0) c_mul = cif_loop_column(*sites, "_atom_site_site_symmetry_multiplicity");
    const long c_wy = cif_loop_column(*sites, "_atom_site_wyckoff_symbol");
    const long c_x[3] = {cif_loop_column(*sites, "_atom_site_fract_x"),
                         cif_loop_column(*sites, "_atom_site_fract_y"),
                         cif_loop_column(*sites, "_atom_site_fract_z")};
    const long c_occ = cif_loop_column(*sites, "_atom_site_occupancy");
    if (c_x[0] < 0 || c_x[1] < 0 || c_x[2] < 0) {
        std::fprintf(stderr, "Error: Missing _atom_site_fract entries\n");
        return 1;
    }
    for (std::size_t r = 1; r < sites->size(); ++r) {
        const std::string label = c_label >= 0 ? naro_cut(naro_cell_text(*sites, r, c_label), 9) : std::string(".");
        std::string type = c_type >= 0 ? naro_cell_text(*sites, r, c_type) : std::string("?");
        if (cif_is_placeholder(type.c_str()) || type.empty()) {
            // the label names the element; a label that names none is no site we can place
            char symbol[3] = {};
            type = cif_element_of_label(label.c_str(), symbol) ? std::string(symbol) : std::string();
            if (type.empty()) {
                std::fprintf(stderr, "Error: the site label '%s' names no element; the CIF needs an "
                                     "_atom_site_type_symbol column\n", label.c_str());
                return 1;
            }
        }
        double x[3];
        for (int k = 0; k < 3; ++k) {
            if (!cif_read_number(naro_cell_text(*sites, r, c_x[k]).c_str(), &x[k])) {
                std::fprintf(stderr, "Error: unable to read the fractional coordinates of site %s\n", label.c_str());
                return 1;
            }
            x[k] -= std::floor(x[k]);
            if (x[k] >= 1.0) x[k] = 0.0;
        }
        double occ = 1.0;  // no column, ? or .: fully occupied
        const std::string& o = naro_cell_text(*sites, r, c_occ);
        if (c_occ >= 0 && !cif_is_placeholder(o.c_str()) && (!cif_read_number(o.c_str(), &occ) || occ < 0)) {
            std::fprintf(stderr, "Error: unable to read the occupancy of site %s\n", label.c_str());
            return 1;
        }
        double mul = 0;
        if (c_mul >= 0 && !cif_read_number(naro_cell_text(*sites, r, c_mul).c_str(), &mul)) mul = 0;
        const std::string& wy = naro_cell_text(*sites, r, c_wy);
        NARO_add_cif_site(cif, label, naro_cut(type, 9), x[0], x[1], x[2], static_cast<int>(mul),
                          c_wy >= 0 && !cif_is_placeholder(wy.c_str()) ? wy[0] : '.', occ, 0.0);
    }
    naro_sync_counts(cif);

    if (cif.site.empty()) {
        std::fprintf(stderr, "Error: No site is found!\n");
        return 1;
    }
    if (NARO_cif_equal_dbl(cif.volume, 0)) {
        // The lattice was checked above: the volume factor is positive.
        cif.volume = naro_cell_volume(cif.a, cif.b, cif.c, naro_cell_metric_degrees(cif.alpha, cif.beta, cif.gamma));
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
    // the file's formula times Z against the sites read (images merged or occupancy lost)
    std::map<std::string, double> cell;
    for (const NARO_site& s : cif.site) {
        char element[3] = {};
        if (cif_leading_element(s.type.c_str(), element) >= 0) cell[element] += s.occ * s.mul;
    }
    const CifFormulaCheck check = cif_formula_check(b, cell);
    if (check.differs)
        std::printf("Warning: the cell holds %s, _chemical_formula_sum x _cell_formula_units_Z gives %s (%s differs by "
                    "%.0f%%); the cell is used.\n",
                    check.cell.c_str(), check.file.c_str(), check.element.c_str(), 100.0 * check.worst);
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
    // the name and number of the setting the written operations describe (the file's own ones
    // no longer hold after an expansion to P 1), so that other programs read the file back
    std::string hm = cif.spacegroup_HM;
    int number = cif.int_tab_cryst_no;
    const CifSpaceGroupName name = cif_space_group_of_ops(cif.symop);
    if (name.number > 0) {
        hm = name.hm;
        number = name.number;
    }
    if (!hm.empty()) std::fprintf(out, "_symmetry_space_group_name_H-M    '%s'\n", hm.c_str());
    if (number > 0) std::fprintf(out, "_symmetry_Int_Tables_number       %d\n", number);
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
