// Landscape record: cube loading, energy scaling, periodic index arithmetic,
// distances, angles and nearest stationary points.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cube.hpp"

#include "cell-metric.hpp"
#include "cube-values.hpp"
#include "math.hpp"
#include "neighbours.hpp"
#include "workshare.hpp"

static constexpr double NARO_BOHR_TO_ANGSTROM = 0.529177249;
static constexpr int NARO_CUBE_LINE = 1000;

// Empty minima and saddle lists (the stationary points belong to the cube record).
void NARO_init_cube_stationary_points(NARO_cube& cube) {
    cube.minima.clear();
    cube.saddle.clear();
    cube.minima_type_index.assign(1, 0);
    cube.saddle_type_index.assign(1, 0);
    cube.total_minima_type = cube.total_saddle_type = 0;
    cube.total_minima = 0;
    cube.total_minima_cap = static_cast<int>(cube.minima.capacity());
    cube.total_saddle = 0;
    cube.total_saddle_cap = static_cast<int>(cube.saddle.capacity());
}

void NARO_init_cube(NARO_cube& cube) {
    cube = NARO_cube{};
    NARO_init_cube_stationary_points(cube);
}

void NARO_free_cube_energy(NARO_cube& cube) {
    cube.energy.clear();
    cube.energy.shrink_to_fit();
}

int NARO_alloc_cube_energy(NARO_cube& cube) {
    if (cube.a_grid <= 0 || cube.b_grid <= 0 || cube.c_grid <= 0) {
        std::fprintf(stderr, "Error: Invalid input to NARO_alloc_cube_energy()\n");
        return 1;
    }
    cube.energy.assign(static_cast<size_t>(cube.a_grid) * cube.b_grid * cube.c_grid, 0.0);
    return 0;
}

void NARO_free_cube(NARO_cube& cube) {
    NARO_free_cube_energy(cube);
    NARO_init_cube_stationary_points(cube);
    NARO_free_RPN(cube.RPN);
    cube.scube.clear();
    cube.scube_total = cube.scube_cap = 0;
}

// Reads one line (without its line end), at most NARO_CUBE_LINE - 1 characters are kept.
static bool naro_read_line(FILE* fp, std::string& line) {
    char buf[NARO_CUBE_LINE];
    line.clear();
    if (!std::fgets(buf, sizeof buf, fp)) return false;
    line = buf;
    // Swallow the rest of an over-long line so the next read starts on the next line.
    if (!line.empty() && line.back() != '\n' && !std::feof(fp)) {
        int ch;
        while ((ch = std::fgetc(fp)) != EOF && ch != '\n') {
        }
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return true;
}

// Nothing but white space up to the end of the text.
static bool naro_blank(const char* p) {
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return *p == '\0';
}

// Exactly `count` numbers on a header line (finite ones).
static bool naro_numbers_on_line(const std::string& line, int count) {
    const char* p = line.c_str();
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v)) return false;
        p = end;
    }
    return naro_blank(p);
}

// Mobile ion from the second header line, e.g. "Conducting = Na1+ ; sf = 0.75;".
static void naro_parse_ion_line(NARO_cube& cube, const std::string& line) {
    size_t d = 0;
    while (d < line.size() && !std::isdigit(static_cast<unsigned char>(line[d]))) ++d;
    if (d >= line.size()) return;
    cube.ion_charge = std::atoi(line.c_str() + d);
    if (line.find('-', d) != std::string::npos) cube.ion_charge = -cube.ion_charge;
    size_t s = d;
    while (s > 0 && !std::isspace(static_cast<unsigned char>(line[s - 1]))) --s;
    std::string elem = line.substr(s, d - s);
    if (elem.size() > 2) elem = elem.substr(elem.size() - 2);
    cube.ion_elem = elem;
    cube.ion_type = (elem + line.substr(d, 2)).substr(0, 7);
}

void NARO_calc_cell_parameter(NARO_cube& cube) {
    cube.a_unit = std::sqrt(cube.a_x * cube.a_x + cube.a_y * cube.a_y + cube.a_z * cube.a_z);
    cube.b_unit = std::sqrt(cube.b_x * cube.b_x + cube.b_y * cube.b_y + cube.b_z * cube.b_z);
    cube.c_unit = std::sqrt(cube.c_x * cube.c_x + cube.c_y * cube.c_y + cube.c_z * cube.c_z);
    cube.a = cube.a_unit * cube.a_grid;
    cube.b = cube.b_unit * cube.b_grid;
    cube.c = cube.c_unit * cube.c_grid;
    auto angle = [](double x1, double y1, double z1, double l1, double x2, double y2, double z2,
                    double l2) {
        if (l1 < 1e-12 || l2 < 1e-12) return 0.0;
        double cs = (x1 * x2 + y1 * y2 + z1 * z2) / (l1 * l2);
        if (cs > 1) cs = 1;
        if (cs < -1) cs = -1;
        return std::acos(cs);
    };
    cube.alpha = angle(cube.b_x, cube.b_y, cube.b_z, cube.b_unit, cube.c_x, cube.c_y, cube.c_z, cube.c_unit);
    cube.beta = angle(cube.a_x, cube.a_y, cube.a_z, cube.a_unit, cube.c_x, cube.c_y, cube.c_z, cube.c_unit);
    cube.gamma = angle(cube.a_x, cube.a_y, cube.a_z, cube.a_unit, cube.b_x, cube.b_y, cube.b_z, cube.b_unit);
    const NaroCellMetric metric = naro_cell_metric(cube.alpha, cube.beta, cube.gamma);
    cube.volume = naro_cell_volume(cube.a, cube.b, cube.c, metric);
    double d[6];
    naro_cell_distance_coefficients(cube.a, cube.b, cube.c, metric, d);
    cube.d1 = d[0];
    cube.d2 = d[1];
    cube.d3 = d[2];
    cube.d4 = d[3];
    cube.d5 = d[4];
    cube.d6 = d[5];
}

int NARO_load_cube_energy(FILE* fp, NARO_cube& cube) {
    // An odd count along a means the file repeats the first plane at the far end of
    // every axis (a non-periodic writer); those repeated planes are read and dropped.
    const bool repeated = (cube.a_grid % 2) == 1;
    const int file_grid[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    if (repeated) {
        cube.a_grid--;
        cube.b_grid--;
        cube.c_grid--;
    }
    if (NARO_alloc_cube_energy(cube) != 0) return 1;
    const int kept_grid[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    // The minimum is the lowest value read, even on a landscape lying wholly above
    // 9999.9 eV (a start value of 9999.9 would leave such a grid unshifted).
    const NaroValueRead read = naro_read_value_lines(fp, file_grid, kept_grid, cube.energy, workshare_threads_usable());
    switch (read.status) {
    case NaroValueStatus::invalid_value:
        std::fprintf(stderr, "Error: Invalid CUBE file - invalid energy value\n");
        return 1;
    case NaroValueStatus::missing_values:
        std::fprintf(stderr, "Error: Invalid CUBE file - missing energy values\n");
        return 1;
    case NaroValueStatus::extra_values:
        // A header that promises fewer points than the file holds would read a slice of it.
        std::fprintf(stderr, "Error: Invalid CUBE file - more energy values than the %d x %d x %d grid of "
                             "its header\n", file_grid[0], file_grid[1], file_grid[2]);
        return 1;
    case NaroValueStatus::ok:
        break;
    }
    cube.global_minimum = read.lowest;
    return 0;
}

int NARO_load_cube(const char* file, NARO_cube& cube) {
    cube.a_x = cube.a_y = cube.a_z = cube.b_x = cube.b_y = cube.b_z = cube.c_x = cube.c_y = cube.c_z = 0;
    cube.a = cube.b = cube.c = cube.alpha = cube.beta = cube.gamma = 0;
    FILE* fp = std::fopen(file, "rb");
    if (!fp) {
        std::fprintf(stderr, "Error: Unable to open CUBE file\n");
        return 1;
    }
    struct Closer {
        FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{fp};

    std::string line[6];
    for (int i = 0; i < 6; ++i)
        if (!naro_read_line(fp, line[i])) {
            std::fprintf(stderr, "Error: Invalid CUBE file - missing header lines\n");
            return 1;
        }
    naro_parse_ion_line(cube, line[1]);
    {
        char* end = nullptr;
        long n = std::strtol(line[2].c_str(), &end, 10);
        // The atom count and the origin: four numbers (a negative count is the
        // orbital-cube convention, which a landscape never uses).
        if (end == line[2].c_str() || n < 0 || n > 100000000 || !naro_numbers_on_line(line[2], 4)) {
            std::fprintf(stderr, "Error: Invalid CUBE file - invalid number of atoms\n");
            return 1;
        }
        cube.lines_to_ignore = static_cast<int>(n);
    }
    int* counts[3] = {&cube.a_grid, &cube.b_grid, &cube.c_grid};
    double* vec[3][3] = {{&cube.a_x, &cube.a_y, &cube.a_z},
                         {&cube.b_x, &cube.b_y, &cube.b_z},
                         {&cube.c_x, &cube.c_y, &cube.c_z}};
    for (int ax = 0; ax < 3; ++ax) {
        // A grid count and a voxel vector: a line short of them means a header line is
        // missing and every later line would be read as the wrong thing.
        if (!naro_numbers_on_line(line[3 + ax], 4)) {
            std::fprintf(stderr, "Error: Invalid CUBE file - header line %d is not a grid count and a voxel "
                                 "vector\n", 4 + ax);
            return 1;
        }
        const char* p = line[3 + ax].c_str();
        char* end = nullptr;
        long n = std::strtol(p, &end, 10);
        *counts[ax] = (end == p || n < 1 || n > 100000) ? 0 : static_cast<int>(n);
        p = end;
        for (int c = 0; c < 3; ++c) {
            double v = std::strtod(p, &end);
            if (end == p) v = 0;
            *vec[ax][c] = v * NARO_BOHR_TO_ANGSTROM;
            p = end;
        }
    }
    if (cube.a_grid < 1 || cube.b_grid < 1 || cube.c_grid < 1 ||
        static_cast<long long>(cube.a_grid) * cube.b_grid * cube.c_grid > 400000000LL) {
        std::fprintf(stderr, "Error: Invalid CUBE file - invalid grid resolution\n");
        return 1;
    }
    // A file with an odd count along a repeats its first planes; the cell spans one
    // voxel fewer than the number of points written.
    if (cube.a_grid % 2 == 1 && (cube.a_grid < 2 || cube.b_grid < 2 || cube.c_grid < 2)) {
        std::fprintf(stderr, "Error: Invalid CUBE file - invalid grid resolution\n");
        return 1;
    }
    {
        const int sub = cube.a_grid % 2 == 1 ? 1 : 0;
        const int na = cube.a_grid, nb = cube.b_grid, nc = cube.c_grid;
        cube.a_grid -= sub;
        cube.b_grid -= sub;
        cube.c_grid -= sub;
        NARO_calc_cell_parameter(cube);
        cube.a_grid = na;
        cube.b_grid = nb;
        cube.c_grid = nc;
    }
    if (cube.a < 1e-7 || cube.b < 1e-7 || cube.c < 1e-7) {
        std::fprintf(stderr, "Error: Invalid CUBE file - invalid cell parameters\n");
        return 1;
    }
    // Three step vectors in one plane pass the angle test one by one but span no
    // volume; such a cell is refused like a zero angle.
    if (cube.alpha < 1e-7 || cube.beta < 1e-7 || cube.gamma < 1e-7 ||
        !(cube.volume > 1e-5 * cube.a * cube.b * cube.c)) {
        std::fprintf(stderr, "Invalid CUBE file - invalid cell angles\n");
        return 1;
    }
    std::string skip;
    for (int i = 0; i < cube.lines_to_ignore; ++i) {
        if (!naro_read_line(fp, skip)) {
            std::fprintf(stderr, "Error: Invalid CUBE file - missing header lines\n");
            return 1;
        }
        // Atomic number, charge and position: five numbers per atom line.
        if (!naro_numbers_on_line(skip, 5)) {
            std::fprintf(stderr, "Error: Invalid CUBE file - atom line %d of %d is not an atom\n", i + 1,
                         cube.lines_to_ignore);
            return 1;
        }
    }
    {
        // Every value takes at least two bytes (a digit and a line end): a file too short
        // to hold the grid is rejected before the grid is allocated.
        long here = std::ftell(fp);
        if (here >= 0 && std::fseek(fp, 0, SEEK_END) == 0) {
            long size = std::ftell(fp);
            std::fseek(fp, here, SEEK_SET);
            long long need = 2LL * cube.a_grid * cube.b_grid * cube.c_grid;
            if (size >= 0 && size - here < need) {
                std::fprintf(stderr, "Error: Invalid CUBE file - missing energy values\n");
                return 1;
            }
        }
    }
    if (NARO_load_cube_energy(fp, cube) != 0) {
        NARO_free_cube_energy(cube);
        return 1;
    }
    if (std::fabs(cube.max_energy_above_gmin) > 1e-7)
        cube.max_energy = cube.global_minimum + NARO_get_unscaled_from_scaled(cube, cube.max_energy_above_gmin);
    else
        cube.max_energy = cube.global_minimum + 5.0;
    return 0;
}

void NARO_shift_cube_energy(NARO_cube& cube) {
    const double g = cube.global_minimum;
    for (double& v : cube.energy) v -= g;
    cube.max_energy -= g;
    cube.energy_shift -= g;
    cube.global_minimum = 0;
}

bool naro_cube_is_flat(const NARO_cube& cube) {
    if (cube.energy.empty()) return false;
    const auto [lo, hi] = std::minmax_element(cube.energy.begin(), cube.energy.end());
    return *hi - *lo < 1e-7;
}

int NARO_process_cube(NARO_cube& cube) {
    NARO_shift_cube_energy(cube);
    return 0;
}

// ---------------------------------------------------------------- energy scaling
int NARO_parse_energy_scaling(NARO_cube& cube, const char* expression) {
    std::string ex = expression ? std::string(expression).substr(0, 100) : std::string();
    if (ex.find('E') == std::string::npos) {
        std::fprintf(stderr, "Error: Invalid scaling expression - variable E missing\n");
        return 1;
    }
    NARO_RPN_token rpn;
    if (NARO_RPN_compile(ex.c_str(), rpn) != 0 || NARO_RPN_check_variables(rpn, "E") != 0) {
        std::fprintf(stderr, "Error: Invalid scaling expression %s\n", ex.c_str());
        return 1;
    }
    cube.RPN = std::move(rpn);
    cube.scaling = 1;
    return 0;
}

double NARO_scale_cube_energy(const NARO_cube& cube, double e) {
    if (!cube.scaling || cube.RPN.item.empty()) return e;
    NARO_variable_list vars;
    vars.value['E' - 'A'] = e;
    double r = e;
    if (NARO_RPN_read(cube.RPN, vars, &r) != 0) return e;
    return r;
}

double NARO_get_unscaled_from_scaled(const NARO_cube& cube, double t) {
    if (!cube.scaling || cube.RPN.item.empty()) {
        // Without scaling the inverse is the identity; the bisection below would reach
        // t itself, except for a target that is not above the value at 0, which it
        // cannot bracket: that case is reported the same way, scaled or not.
        if (t > 0) return t;
        std::fprintf(stderr, "Warning: Program could not find the correct energy threshold to be applied\n");
        return 1.0;
    }
    // The upward search is bounded: a scaling that never reaches the target within
    // 10000 eV cannot give a meaningful ceiling.
    double u = 10;
    while (NARO_scale_cube_energy(cube, u) < t) {
        u += 1;
        if (u > 10000) {
            std::fprintf(stderr,
                         "Warning: Program could not find the correct energy threshold to be applied\n");
            return u;
        }
    }
    double left = 0, right = u;
    double left_s = NARO_scale_cube_energy(cube, 0), right_s = NARO_scale_cube_energy(cube, u);
    for (int step = 0; step < 100; ++step) {
        double mid = (left + right) / 2;
        double m = NARO_scale_cube_energy(cube, mid);
        if (m == t) return mid;
        if (m > t && t > left_s) {
            right = mid;
            right_s = m;
            if (std::fabs(m - t) < 0.001) return mid;
            if (std::fabs(left_s - t) < 0.001) return left;
        } else if (m < t && t < right_s) {
            left = mid;
            left_s = m;
            if (std::fabs(m - t) < 0.001) return mid;
            if (std::fabs(right_s - t) < 0.001) return right;
        } else {
            std::fprintf(stderr,
                         "Warning: Program could not find the correct energy threshold to be applied\n");
            return 1.0;
        }
    }
    return u;
}

// ---------------------------------------------------------------- index arithmetic
static int naro_axis_count(const NARO_cube& cube, int axis) {
    switch (axis) {
    case 1: return cube.a_grid;
    case 2: return cube.b_grid;
    case 3: return cube.c_grid;
    default: return -1;
    }
}

int NARO_shift_index(const NARO_cube& cube, int p, int axis) {
    int n = naro_axis_count(cube, axis);
    if (n <= 0) return -1;
    if (p >= 0) return p % n;
    // Negated in 64 bits so that the most negative int wraps like any other value.
    int r = static_cast<int>((-static_cast<long long>(p)) % n);
    return r == 0 ? 0 : n - r;
}

double NARO_shift_index_dbl(const NARO_cube& cube, double p, int axis) {
    int n = naro_axis_count(cube, axis);
    if (n <= 0) return -1;
    if (p == 0) return 0;
    double t = std::trunc(p);
    double r;
    if (p >= 0) r = (p - t) + std::fmod(t, n);
    else r = n - std::fmod(-t, n) + (p - t);
    if (r >= n) r -= n;
    return r;
}

void NARO_shift_index_xyz(const NARO_cube& cube, int* x, int* y, int* z) {
    *x = NARO_shift_index(cube, *x, 1);
    *y = NARO_shift_index(cube, *y, 2);
    *z = NARO_shift_index(cube, *z, 3);
}

void NARO_shift_index_xyz_dbl(const NARO_cube& cube, double* x, double* y, double* z) {
    *x = NARO_shift_index_dbl(cube, *x, 1);
    *y = NARO_shift_index_dbl(cube, *y, 2);
    *z = NARO_shift_index_dbl(cube, *z, 3);
}

double NARO_cube_energy(const NARO_cube& cube, int x, int y, int z) {
    return NARO_energy_at(cube, NARO_shift_index(cube, x, 1), NARO_shift_index(cube, y, 2),
                          NARO_shift_index(cube, z, 3));
}

int NARO_cube_equal_dbl(double a, double b) { return std::fabs(a - b) < 1e-7 ? 1 : 0; }

int NARO_is_minimum(const NARO_cube& cube, int x, int y, int z) {
    const double e = NARO_cube_energy(cube, x, y, z);
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k) {
                if (!i && !j && !k) continue;
                if (NARO_cube_energy(cube, x + i, y + j, z + k) <= e - 1e-7) return 0;
            }
    return 1;
}

int NARO_isin_minima_list(const NARO_cube& cube, int x, int y, int z) {
    for (const NARO_minima& m : cube.minima)
        if (m.x == x && m.y == y && m.z == z) return 1;
    return 0;
}

// ---------------------------------------------------------------- geometry
double NARO_distance_frac(const NARO_cube& cube, double x1, double y1, double z1, double x2,
                          double y2, double z2) {
    double da = x1 - x2, db = y1 - y2, dc = z1 - z2;
    double s = da * da * cube.d1 + db * db * cube.d2 + dc * dc * cube.d3 + da * db * cube.d4 +
               db * dc * cube.d5 + da * dc * cube.d6;
    return std::sqrt(s > 0 ? s : 0);
}

double NARO_distance_grid(const NARO_cube& cube, double x1, double y1, double z1, double x2,
                          double y2, double z2) {
    return NARO_distance_frac(cube, x1 / cube.a_grid, y1 / cube.b_grid, z1 / cube.c_grid,
                              x2 / cube.a_grid, y2 / cube.b_grid, z2 / cube.c_grid);
}

double NARO_angle(const NARO_cube& cube, double x1, double y1, double z1, double x2, double y2,
                  double z2, double x3, double y3, double z3) {
    auto cart = [&](double dx, double dy, double dz, double v[3]) {
        v[0] = dx * cube.a_x + dy * cube.b_x + dz * cube.c_x;
        v[1] = dx * cube.a_y + dy * cube.b_y + dz * cube.c_y;
        v[2] = dx * cube.a_z + dy * cube.b_z + dz * cube.c_z;
    };
    double u[3], w[3];
    cart(x1 - x2, y1 - y2, z1 - z2, u);
    cart(x3 - x2, y3 - y2, z3 - z2, w);
    double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    double lw = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (lu < 1e-7 || lw < 1e-7) return 0;
    double cs = (u[0] * w[0] + u[1] * w[1] + u[2] * w[2]) / (lu * lw);
    if (cs > 1) cs = 1;
    if (cs < -1) cs = -1;
    return std::acos(cs);
}

// ---------------------------------------------------------------- nearest stationary points
void NARO_init_nearest_neighbour(NARO_nearest_neighbour& nn) { nn = NARO_nearest_neighbour{}; }

int NARO_alloc_nearest_neighbour(NARO_nearest_neighbour& nn, int k) {
    if (k <= 0) {
        std::fprintf(stderr, "Error: Non-positive input size to NARO_alloc_nearest_neighbour()\n");
        return 1;
    }
    nn.total = k;
    nn.include_target = 1;
    nn.item.assign(static_cast<size_t>(k), NARO_nearest_neighbour_item{});
    return 0;
}

int NARO_add_nearest_neighbour(NARO_nearest_neighbour& nn, int index, int i, int j, int l,
                               double distance) {
    if (nn.item.empty() || !(distance < nn.item.back().distance)) return 0;
    size_t pos = nn.item.size() - 1;
    while (pos > 0 && distance < nn.item[pos - 1].distance) {
        nn.item[pos] = nn.item[pos - 1];
        --pos;
    }
    nn.item[pos] = {index, i, j, l, distance};
    return 1;
}

void NARO_free_nearest_neighbour(NARO_nearest_neighbour& nn) {
    nn.item.clear();
    nn.total = 0;
}

template <class Point>
static int naro_get_nearest(const NARO_cube& cube, const std::vector<Point>& pts,
                            NARO_nearest_neighbour& nn, int k, double x, double y, double z) {
    if (NARO_alloc_nearest_neighbour(nn, k) != 0) return 1;
    nn.x = x;
    nn.y = y;
    nn.z = z;
    for (int shell = 0;; ++shell) {
        int inserted = 0;
        for (size_t m = 0; m < pts.size(); ++m) {
            const Point& p = pts[m];
            naro_for_each_shell_shift(shell, [&](NaroShift t) {
                double px = p.tx + t.i * cube.a_grid, py = p.ty + t.j * cube.b_grid, pz = p.tz + t.k * cube.c_grid;
                if (std::fabs(px - x) < 1e-7 && std::fabs(py - y) < 1e-7 && std::fabs(pz - z) < 1e-7)
                    nn.include_target = 0;
                double d = NARO_distance_grid(cube, px, py, pz, x, y, z);
                inserted += NARO_add_nearest_neighbour(nn, static_cast<int>(m), t.i, t.j, t.k, d);
            });
        }
        if (!inserted) break;
    }
    return 0;
}

int NARO_get_nearest_minima(const NARO_cube& cube, NARO_nearest_neighbour& nn, int k, double x,
                            double y, double z) {
    return naro_get_nearest(cube, cube.minima, nn, k, x, y, z);
}

int NARO_get_nearest_saddle(const NARO_cube& cube, NARO_nearest_neighbour& nn, int k, double x,
                            double y, double z) {
    return naro_get_nearest(cube, cube.saddle, nn, k, x, y, z);
}
