// The cube record, its Gaussian cube file form (writer and reader) and the small helpers of the
// landscape code that need no parameters: grid sizing, output names, parameter validation.
#include "cube.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>
#include <algorithm>
#include <climits>
#include <sys/stat.h>

#include "cell-ops.hpp"
#include "cube-text.hpp"
#include "huge-pages.hpp"
#include "property-assemble.hpp"

namespace {

// Appends v in the layout " %12.6f\r\n". Values are rounded through an integer count of
// millionths; a value whose millionths sit too close to a half, or that is too large for that,
// goes through snprintf so that the text is exactly the C library's.
void append_value_line(std::string& out, double v) {
    char buf[64];
    const double av = std::fabs(v);
    if (std::isfinite(v) && av < 1e9) {
        const double t = av * 1e6;
        const double fl = std::floor(t);
        const double frac = t - fl;
        if (std::fabs(frac - 0.5) > 1e-3) {
            long long u = static_cast<long long>(fl) + (frac > 0.5 ? 1 : 0);
            char digits[32];
            int nd = 0;
            // six decimals, then the integer part (at least one digit)
            for (int d = 0; d < 6; ++d) {
                digits[nd++] = static_cast<char>('0' + u % 10);
                u /= 10;
            }
            digits[nd++] = '.';
            do {
                digits[nd++] = static_cast<char>('0' + u % 10);
                u /= 10;
            } while (u > 0);
            if (std::signbit(v)) digits[nd++] = '-';
            int pos = 0;
            buf[pos++] = ' ';
            for (int pad = nd; pad < 12; ++pad) buf[pos++] = ' ';
            while (nd > 0) buf[pos++] = digits[--nd];
            buf[pos++] = '\r';
            buf[pos++] = '\n';
            out.append(buf, static_cast<std::size_t>(pos));
            return;
        }
    }
    const int n = std::snprintf(buf, sizeof(buf), " %12.6f\r\n", v);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof(buf)) {
        out.append(buf, static_cast<std::size_t>(n));
    } else {
        std::string big(static_cast<std::size_t>(std::snprintf(nullptr, 0, " %12.6f\r\n", v)) + 1, '\0');
        std::snprintf(big.data(), big.size(), " %12.6f\r\n", v);
        big.pop_back();
        out += big;
    }
}

bool scan_long(const char*& p, const char* end, long* out) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
    if (p >= end) return false;
    const char* q = p;
    if (*q == '+') ++q;
    auto res = std::from_chars(q, end, *out);
    if (res.ec != std::errc()) return false;
    p = res.ptr;
    return true;
}

// Whether only blanks are left of a header line.
bool rest_is_blank(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    return p == end;
}

// A cube file read in blocks: the header line by line, then the values by cube_read_values, so that
// no more than a block of the text is held beside the grid.
struct CubeSource {
    static constexpr std::size_t kBlock = 1 << 20;
    std::FILE* f = nullptr;
    std::string buf;
    std::size_t pos = 0;
    bool eof = false;
    long long consumed = 0;  // bytes dropped from the front of buf

    CubeSource() = default;
    CubeSource(const CubeSource&) = delete;
    CubeSource& operator=(const CubeSource&) = delete;
    ~CubeSource() {
        if (f != nullptr) std::fclose(f);
    }
    // Reads one more block; false at the end of the file.
    bool more() {
        if (eof) return false;
        if (pos > 0) {
            buf.erase(0, pos);
            consumed += static_cast<long long>(pos);
            pos = 0;
        }
        const std::size_t old = buf.size();
        buf.resize(old + kBlock);
        const std::size_t got = std::fread(buf.data() + old, 1, kBlock, f);
        buf.resize(old + got);
        if (got == 0) eof = true;
        return got > 0;
    }
    // The next line without its line end (at most 1023 characters kept); false at the end.
    bool next_line(std::string* line) {
        for (;;) {
            const std::size_t e = buf.find('\n', pos);
            if (e != std::string::npos || (eof && pos < buf.size()) || buf.size() - pos >= kBlock) {
                const std::size_t stop = e != std::string::npos ? e : std::min(buf.size(), pos + kBlock);
                line->assign(buf, pos, stop - pos);
                if (!line->empty() && line->back() == '\r') line->pop_back();
                if (line->size() > 1023) line->resize(1023);
                pos = e != std::string::npos ? e + 1 : stop;
                return true;
            }
            if (!more()) {
                if (pos < buf.size()) continue;
                return false;
            }
        }
    }
    // The values after the header, into dst (cube_read_values); the source is used up.
    CubeValueScan read_values(double* dst, long total, double value_max) {
        const std::string_view head(buf.data() + pos, buf.size() - pos);
        const CubeValueScan scan = cube_read_values(head, f, dst, total, value_max, 0);
        buf.clear();
        pos = 0;
        eof = true;
        return scan;
    }
    // Bytes of the file not yet passed (a bound for counts read from the header).
    long bytes_left() {
        struct stat st {};
        if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return LONG_MAX;
        return static_cast<long>(st.st_size - consumed - static_cast<long long>(pos));
    }
};

// Grids read from files are refused beyond this many points (1 GiB of values, 512^3); the
// landscapes written here stay below 197^3.
constexpr long KELMAR_CUBE_READ_MAX = 1L << 27;
// Values read are refused beyond this magnitude: no landscape or density comes near it, and the
// derivatives and products of larger ones overflow to inf in the analyses.
constexpr double KELMAR_CUBE_READ_VALUE_MAX = 1e100;

}  // namespace

// --- record ---------------------------------------------------------------------------------

std::unique_ptr<KELMAR_CUBE> kelmar_cube_new(const long n[3]) {
    if (n == nullptr || n[0] <= 0 || n[1] <= 0 || n[2] <= 0) {
        std::fprintf(stderr, "Error: argument must be positive.\n");
        return nullptr;
    }
    // a point count whose product does not fit the address space cannot be allocated; checked
    // before the product is formed, which would overflow
    const long max_points = static_cast<long>(PTRDIFF_MAX / static_cast<std::ptrdiff_t>(sizeof(double)));
    if (n[0] > max_points / n[1] || n[0] * n[1] > max_points / n[2]) {
        std::fprintf(stderr, "Error: unable to allocate cube->en\n");
        return nullptr;
    }
    auto cube = std::make_unique<KELMAR_CUBE>();
    reserve_huge_pages(cube->en.data, static_cast<std::size_t>(n[0] * n[1] * n[2]));
    cube->en.resize(n[0], n[1], n[2], 0.0);
    for (int k = 0; k < 3; ++k) cube->n[k] = n[k];
    return cube;
}

void kelmar_cube_free(std::unique_ptr<KELMAR_CUBE>& cube) { cube.reset(); }

void kelmar_cube_print_info(const KELMAR_CUBE* cube) {
    if (cube == nullptr) {
        std::printf("(not allocated)\n");
        return;
    }
    std::printf("CUBE: cube size = %ld * %ld * %ld\n", cube->n[0], cube->n[1], cube->n[2]);
    std::printf("CUBE: cell vector (A):\n");
    for (int k = 0; k < 3; ++k) std::printf("CUBE:  %11.6f %11.6f %11.6f\n", cube->a[k][0], cube->a[k][1], cube->a[k][2]);
    std::printf("CUBE: votex vector (A):\n");
    for (int k = 0; k < 3; ++k)
        std::printf("CUBE:  %11.6f %11.6f %11.6f\n", cube->a_i[k][0], cube->a_i[k][1], cube->a_i[k][2]);
}

// --- writer ---------------------------------------------------------------------------------

int kelmar_cube_export_to_file(const KELMAR_CUBE* cube, const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                               const char* filename, bool periodic) {
    if (cube == nullptr || cube->n[0] <= 0 || cube->n[1] <= 0 || cube->n[2] <= 0 ||
        cube->en.size() != cube->n[0] * cube->n[1] * cube->n[2]) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been properly initialized.\n");
        return 1;
    }
    if (filename == nullptr) filename = "";
    std::FILE* f = std::fopen(filename, "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "Error: unable to open file %s\n", filename);
        return 1;
    }
    const double B = KELMAR_CUBE_ANGSTROM_TO_BOHR;
    const bool header = cell != nullptr && !cell->atom.empty() && ppt != nullptr;
    std::printf(header ? "Message: cube file is generated with header.\n"
                       : "Message: cube file is generated without header.\n");
    const long extra = periodic ? 0 : 1;
    char line[256];
    std::string out;
    if (header) {
        std::fprintf(f, "%s\r\n", cell->name);
        const int c = ppt->conducting;
        if (c >= 0 && c < ppt->total)
            std::fprintf(f, "Conducting = %s%d%c ; sf = %lf;\r\n", ppt->type[c].data(), std::abs(ppt->os[c]),
                         os_sign_char(ppt->os[c]), ppt->sf);
        else
            std::fprintf(f, "\r\n");
        std::fprintf(f, "%4ld %11.6f %11.6f %11.6f\r\n", cell->total(), 0.0, 0.0, 0.0);
    } else {
        std::fprintf(f, "noname\r\n\r\n");
        std::fprintf(f, "%4d %11.6f %11.6f %11.6f\r\n", 0, 0.0, 0.0, 0.0);
    }
    for (int k = 0; k < 3; ++k)
        std::fprintf(f, "%4ld %11.6f %11.6f %11.6f\r\n", cube->n[k] + extra, cube->a_i[k][0] * B, cube->a_i[k][1] * B,
                     cube->a_i[k][2] * B);
    if (header) {
        for (const KELMAR_ATOM& atom : cell->atom) {
            const int idx = kelmar_property_find_index(ppt, atom.type, atom.os);
            if (idx < 0) {
                std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
                std::fclose(f);
                return 1;
            }
            std::snprintf(line, sizeof(line), "%4d %11.6f %11.6f %11.6f %11.6f\r\n", ppt->uni[idx].an,
                          ppt->uni[idx].q, atom.x[0] * B, atom.x[1] * B, atom.x[2] * B);
            std::fputs(line, f);
        }
    }
    // values, axis 1 outermost; a non-periodic file repeats index 0 as index n
    const long n0 = cube->n[0], n1 = cube->n[1], n2 = cube->n[2];
    out.reserve(1 << 20);
    bool ok = true;
    for (long i = 0; i < n0 + extra && ok; ++i) {
        const long ii = i % n0;
        for (long j = 0; j < n1 + extra; ++j) {
            const long jj = j % n1;
            const double* row = &cube->en.data[cube->en.index(ii, jj, 0)];
            for (long k = 0; k < n2 + extra; ++k) append_value_line(out, row[k % n2]);
        }
        if (out.size() >= (1u << 20)) {
            ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
            out.clear();
        }
    }
    if (ok && !out.empty()) ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        // a full disk must not pass for a saved landscape
        std::fprintf(stderr, "Error: unable to write file %s\n", filename);
        return 1;
    }
    std::printf("Message: cube file saved to %s.\n", filename);
    return 0;
}

// --- reader ---------------------------------------------------------------------------------

int kelmar_cube_import_from_file(std::unique_ptr<KELMAR_CUBE>* cube, std::unique_ptr<KELMAR_CELL>* cell,
                                 const char* filename, bool periodic, const char* dir_unitary, bool complete) {
    if (cube != nullptr) cube->reset();
    if (cell != nullptr) cell->reset();
    if (filename == nullptr) filename = "";
    CubeSource src;
    src.f = std::fopen(filename, "rb");
    if (src.f == nullptr) {
        std::printf("Error: unable to open %s.\n", filename);
        return 1;
    }
    const double B = KELMAR_CUBE_ANGSTROM_TO_BOHR;
    std::string line;
    auto bad_header = [&](const char* what) {
        std::fprintf(stderr, "Error: %s is not a cube file (%s).\n", filename, what);
        return 1;
    };
    // lines 1 and 2: names, ignored
    if (!src.next_line(&line) || !src.next_line(&line)) return bad_header("missing header lines");
    // line 3: atom count and origin
    long total_atom = 0;
    if (!src.next_line(&line)) return bad_header("missing header lines");
    {
        const char* p = line.c_str();
        const char* e = p + line.size();
        if (!scan_long(p, e, &total_atom) || total_atom < 0) return bad_header("bad atom count");
        // the origin follows the count; without it a header line is missing and every later
        // line would be read as the one before it
        double origin = 0.0;
        for (int d = 0; d < 3; ++d)
            if (!cube_scan_double(p, e, &origin) || !std::isfinite(origin)) return bad_header("no origin after the atom count");
        long values_per_point = 1;  // optional, as some writers give it
        if (!rest_is_blank(p, e) && (!scan_long(p, e, &values_per_point) || values_per_point != 1 || !rest_is_blank(p, e)))
            return bad_header("bad atom count line");
    }
    long count[3] = {0, 0, 0};
    double step[3][3] = {};
    for (int k = 0; k < 3; ++k) {
        if (!src.next_line(&line)) return bad_header("missing header lines");
        const char* p = line.c_str();
        const char* e = p + line.size();
        if (!scan_long(p, e, &count[k])) return bad_header("bad grid line");
        for (int d = 0; d < 3; ++d)
            if (!cube_scan_double(p, e, &step[k][d]) || !std::isfinite(step[k][d])) return bad_header("bad grid line");
        if (!rest_is_blank(p, e)) return bad_header("bad grid line");
        if (count[k] <= 0) return bad_header("grid size not positive");
    }
    {
        // the voxel vectors span a cell: zero or parallel ones leave no volume to grid
        const double(*v)[3] = step;
        const double det = v[0][0] * (v[1][1] * v[2][2] - v[1][2] * v[2][1]) -
                           v[0][1] * (v[1][0] * v[2][2] - v[1][2] * v[2][0]) +
                           v[0][2] * (v[1][0] * v[2][1] - v[1][1] * v[2][0]);
        double len = 1.0;
        for (int k = 0; k < 3; ++k) len *= std::sqrt(v[k][0] * v[k][0] + v[k][1] * v[k][1] + v[k][2] * v[k][2]);
        if (!(std::fabs(det) > 1e-6 * len) || !std::isfinite(det)) return bad_header("voxel vectors span no volume");
    }
    if (count[0] > 0 && count[1] > 0 && count[2] > 0 &&
        (count[0] > KELMAR_CUBE_READ_MAX / count[1] || count[0] * count[1] > KELMAR_CUBE_READ_MAX / count[2])) {
        std::fprintf(stderr, "Error: cube grid %ld * %ld * %ld in %s is too large.\n", count[0], count[1], count[2],
                     filename);
        return 1;
    }
    auto grid = kelmar_cube_new(count);
    if (!grid) {
        std::fprintf(stderr, "kelmar_cube_new() returns NULL.\n");
        return 1;
    }
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) {
            grid->a_i[k][d] = step[k][d] / B;
            grid->a[k][d] = grid->a_i[k][d] * static_cast<double>(count[k]);
        }
    std::unique_ptr<KELMAR_CELL> structure;
    if (cell != nullptr && total_atom != 0) {
        // every atom line takes at least one byte of what is left: a larger count is a damaged
        // header, not a reason to build a cell of that size
        if (total_atom > src.bytes_left()) return bad_header("bad atom count");
        std::printf("Message: cell information found, attempting to load cell.\n");
        structure = kelmar_cell_new(total_atom);
        for (long i = 0; i < total_atom; ++i) {
            KELMAR_ATOM& atom = structure->atom[static_cast<std::size_t>(i)];
            long an = 0;
            double v[4];
            bool ok = src.next_line(&line);
            if (ok) {
                const char* p = line.c_str();
                const char* e = p + line.size();
                ok = scan_long(p, e, &an);
                for (int d = 0; d < 4 && ok; ++d) ok = cube_scan_double(p, e, &v[d]) && std::isfinite(v[d]);
                ok = ok && rest_is_blank(p, e);
            }
            if (!ok) {
                std::fprintf(stderr, "Error: %s is not a cube file (bad atom line %ld).\n", filename, i + 1);
                return 1;
            }
            atom.value = v[0];
            for (int d = 0; d < 3; ++d) atom.x[d] = v[d + 1] / B;
            if (kelmar_property_type_from_atomic_number(static_cast<int>(an), &atom, dir_unitary) != 0) {
                std::fprintf(stderr, "Error: kelmar_property_type_from_atomic_number() returns non-zero.\n");
                return 1;
            }
        }
    } else {
        std::printf("Message: cell information not read.\n");
        // the atom lines are still checked: a count that disagrees with them shifts every value
        if (total_atom > src.bytes_left()) return bad_header("bad atom count");
        for (long i = 0; i < total_atom; ++i) {
            bool ok = src.next_line(&line);
            if (ok) {
                const char* p = line.c_str();
                const char* e = p + line.size();
                long an = 0;
                double v = 0.0;
                ok = scan_long(p, e, &an);
                for (int d = 0; d < 4 && ok; ++d) ok = cube_scan_double(p, e, &v) && std::isfinite(v);
                ok = ok && rest_is_blank(p, e);
            }
            if (!ok) {
                std::fprintf(stderr, "Error: %s is not a cube file (bad atom line %ld).\n", filename, i + 1);
                return 1;
            }
        }
    }
    // values: white-space separated numbers, axis 3 fastest
    {
        const long total = grid->en.size();
        const CubeValueScan scan = src.read_values(grid->en.data.data(), total, KELMAR_CUBE_READ_VALUE_MAX);
        const long got = scan.got;
        switch (scan.fault) {
            case CubeValueScan::not_finite:
                std::fprintf(stderr, "Error: %s holds a value that is not finite (value %ld).\n", filename, got + 1);
                return 1;
            case CubeValueScan::too_large:
                std::fprintf(stderr, "Error: %s holds a value too large to compute with (value %ld: %g).\n", filename,
                             got + 1, scan.bad);
                return 1;
            case CubeValueScan::too_many:
                // more values than the header's grid: the header does not describe this data
                std::fprintf(stderr, "Error: %s holds more values than its %ld * %ld * %ld grid.\n", filename,
                             count[0], count[1], count[2]);
                return 1;
            case CubeValueScan::not_a_number:
                std::fprintf(stderr, "Error: %s holds a value that is not a number (value %ld).\n", filename,
                             got + 1);
                return 1;
            case CubeValueScan::none:
                break;
        }
        if (got < total) {
            if (complete) {
                std::fprintf(stderr, "Error: %s ends after %ld of %ld values.\n", filename, got, total);
                return 1;
            }
            std::printf("Warning: %s ends after %ld of %ld values; the rest are taken as 0.\n", filename, got,
                        total);
        }
    }
    if (!periodic) {
        long m[3] = {count[0] - 1, count[1] - 1, count[2] - 1};
        auto reduced = kelmar_cube_new(m);
        if (!reduced) {
            std::fprintf(stderr, "kelmar_cube_new() returns NULL.\n");
            return 1;
        }
        for (int k = 0; k < 3; ++k)
            for (int d = 0; d < 3; ++d) {
                reduced->a_i[k][d] = grid->a_i[k][d];
                reduced->a[k][d] = grid->a_i[k][d] * static_cast<double>(m[k]);
            }
        for (long i = 0; i < m[0]; ++i)
            for (long j = 0; j < m[1]; ++j)
                for (long k = 0; k < m[2]; ++k) reduced->en(i, j, k) = grid->en(i, j, k);
        grid = std::move(reduced);
    }
    if (structure) {
        kelmar_copy_field(structure->name, filename);
        for (int k = 0; k < 3; ++k)
            for (int d = 0; d < 3; ++d) structure->a[k][d] = grid->a[k][d];
        kelmar_cell_update_fractional(structure.get());
    }
    std::printf("Message: cube loaded from %s successfully.\n", filename);
    if (cube != nullptr) *cube = std::move(grid);
    if (cell != nullptr) *cell = std::move(structure);
    return 0;
}

bool cube_grid_repeats_boundary_planes(const KELMAR_CUBE* cube) {
    if (cube == nullptr || cube->en.size() <= 0) return false;
    const long* n = cube->n;
    for (int r = 0; r < 3; ++r)
        if (n[r] < 2) return false;
    const std::vector<double>& v = cube->en.data;
    bool constant = true;
    for (double x : v)
        if (x != v[0]) {
            constant = false;
            break;
        }
    if (constant) return false;
    for (long i = 0; i < n[0]; ++i)
        for (long j = 0; j < n[1]; ++j)
            for (long k = 0; k < n[2]; ++k) {
                const double x = cube->en(i, j, k);
                if ((i == n[0] - 1 && x != cube->en(0, j, k)) || (j == n[1] - 1 && x != cube->en(i, 0, k)) ||
                    (k == n[2] - 1 && x != cube->en(i, j, 0)))
                    return false;
            }
    return true;
}

// --- helpers of the landscape code ------------------------------------------------------------

std::string kelmar_cubename_assigned(const char* cubename) {
    std::string name = cubename == nullptr ? std::string() : std::string(cubename).substr(0, 1000);
    // the first '.' of the file name itself: a dot in a directory ("./x.cube", "run.2/x.cube")
    // must not throw the directory away
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
    if (dot != std::string::npos) name.resize(dot);
    return name + "_assigned.cube";
}

void kelmar_cube_grid_size(long n[3], const double L[3], double resolution) {
    for (int k = 0; k < 3; ++k) {
        double per = std::ceil(L[k] / resolution / static_cast<double>(KELMAR_CUBE_GRID_STEP));
        // an axis beyond 544 * 24 points is always cut back to it by the loop below; clamping
        // first keeps absurd requests from overflowing
        if (!(per >= 1.0)) per = 1.0;
        if (per > 544.0) per = 544.0;
        n[k] = KELMAR_CUBE_GRID_STEP * static_cast<long>(per);
    }
    while (n[0] * n[1] * n[2] > KELMAR_CUBE_GRID_MAX) {
        int big = 0;
        for (int k = 1; k < 3; ++k)
            if (n[k] > n[big]) big = k;
        n[big] -= KELMAR_CUBE_GRID_STEP;
    }
}

int kelmar_cube_validate_property(const KELMAR_PROPERTY* ppt) {
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    const int S = ppt->total;
    const int M = ppt->conducting;
    if (M < 0 || M >= S || static_cast<int>(ppt->uni.size()) < S || static_cast<int>(ppt->bin.size()) < S) {
        std::fprintf(stderr, "Error: conducting species not correctly specified.\n");
        return 1;
    }
    const int osm = ppt->os[M];
    for (int i = 0; i < S; ++i) {
        const int os = ppt->os[i];
        if (!((os > 0 && osm > 0) || (os < 0 && osm < 0))) continue;
        const KELMAR_PROPERTY_UNITARY& u = ppt->uni[i];
        if (u.q * os <= 0) {
            std::fprintf(stderr, "Error: incorrect q at [%d](%s%d%c) q=%f\n", i, ppt->type[i].data(), std::abs(os),
                         os_sign_char(os), u.q);
            return 1;
        }
        if (u.rc <= 0) {
            std::fprintf(stderr, "Error: incorrect rc at[%d](%s%d%c) rc=%f\n", i, ppt->type[i].data(), std::abs(os),
                         os_sign_char(os), u.rc);
            return 1;
        }
    }
    for (int i = 0; i < S; ++i) {
        if (ppt->os[i] <= 0) continue;
        for (int j = 0; j < S; ++j) {
            if (ppt->os[j] >= 0) continue;
            if (i != M && j != M) continue;
            const KELMAR_PROPERTY_BINARY& p = ppt->bin[i][j];
            const char* names[4] = {"cutoff", "b", "d0", "rmin"};
            const double vals[4] = {p.cutoff, p.b, p.d0, p.rmin};
            for (int t = 0; t < 4; ++t) {
                // a NaN or infinite parameter is as unusable as a non-positive one
                if (vals[t] <= 0 || !std::isfinite(vals[t])) {
                    std::fprintf(stderr, "Error: incorrect %s at [%d](%s%d%c)-(%s%d%c) %s=%f\n", names[t], i,
                                 ppt->type[i].data(), std::abs(ppt->os[i]), os_sign_char(ppt->os[i]),
                                 ppt->type[j].data(), std::abs(ppt->os[j]), os_sign_char(ppt->os[j]), names[t],
                                 vals[t]);
                    return 1;
                }
            }
        }
    }
    return 0;
}
