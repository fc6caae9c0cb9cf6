// Site-energy landscapes on a grid (the engine): the bond-valence landscape (reference loop and
// the binned, threaded production path), the GII and total-energy landscapes. The levels that
// build the parameters, resolve partial occupancies and write the file are in cube-run.cpp.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bv.hpp"
#include "cell-ops.hpp"
#include "cube-grid.hpp"
#include "cube.hpp"
#include "property-assemble.hpp"
#include "symmetry-grid.hpp"
#include "neighbor.hpp"
#include "pair-table.hpp"
#include "workshare.hpp"
#include "rx-eam.hpp"

namespace {

constexpr double KELMAR_EV = 14.39964;       // e^2/A to eV
constexpr double KELMAR_COULOMB_CUT = 10.0;  // fixed cutoff of the screened Coulomb term
// Images and blocks are compared with this much slack, so rounding never drops a pair term.
constexpr double KELMAR_CUBE_SLACK = 1e-6;

bool same_sign(int a, int b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

// The pair entry that describes the mobile species M near species X.
const KELMAR_PROPERTY_BINARY& pair_entry(const KELMAR_PROPERTY* ppt, int M, int X) {
    return ppt->os[M] > 0 ? ppt->bin[M][X] : ppt->bin[X][M];
}

// Grid point (i, j, k) in Cartesian coordinates; both paths compute it the same way.
inline void grid_point(double r[3], const double a_i[3][3], long i, long j, long k) {
    const double di = static_cast<double>(i), dj = static_cast<double>(j), dk = static_cast<double>(k);
    for (int d = 0; d < 3; ++d) r[d] = di * a_i[0][d] + dj * a_i[1][d] + dk * a_i[2][d];
}

// Everything the core steps share before the grid loop.
struct GridSetup {
    long n[3] = {0, 0, 0};
    long m[3] = {0, 0, 0};
    double rmax = 0.0;
    std::vector<KELMAR_CARD> cards;  // the cards that fit the grid (the others would misplace values)
    gridsym::GridSymmetry grid_sym;  // the same operations in grid form
    std::unique_ptr<KELMAR_CUBE> cube;
};

// Steps shared by the three variants: zero oxidation states, grid size, grid form of the
// symmetry, the cube, the ignore marks and the image ranges. False after a message.
bool grid_setup(GridSetup* g, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const KELMAR_PROPERTY* ppt,
                double resolution, bool ignore_conducting) {
    for (long i = 0; i < cell->total(); ++i)
        if (cell->atom[static_cast<std::size_t>(i)].os == 0) {
            std::fprintf(stderr, "Error: oxidation state is zero where atom[%ld]: %s0+.\n", i,
                         cell->atom[static_cast<std::size_t>(i)].type);
            return false;
        }
    for (int k = 0; k < 3; ++k)
        if (!(cell->parameter[k] >= 0.5) || !std::isfinite(cell->parameter[k])) {
            // a degenerate lattice would ask for an unbounded number of periodic images
            std::fprintf(stderr, "Error: lattice length %f is too short for a landscape.\n", cell->parameter[k]);
            return false;
        }
    if (!(resolution > 0) || !std::isfinite(resolution)) resolution = 0.1;
    kelmar_cube_grid_size(g->n, cell->parameter, resolution);
    if (symmetry == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_SYMMETRY has not been properly initialized.\n");
        std::printf("Error: kelmar_symmetry_fill_card_discrete() returns non-zero.\n");
        return false;
    }
    KELMAR_SYMMETRY sym = *symmetry;
    if (kelmar_symmetry_fill_card_discrete(&sym, g->n) != 0) {
        std::printf("Error: kelmar_symmetry_fill_card_discrete() returns non-zero.\n");
        return false;
    }
    for (const KELMAR_CARD& c : sym.card)
        if (gridsym::card_fits_grid(c, g->n)) g->cards.push_back(c);
    g->grid_sym = gridsym::GridSymmetry::usable(sym, g->n);
    g->cube = kelmar_cube_new(g->n);
    if (!g->cube) {
        std::fprintf(stderr, "Error: kelmar_cube_new() returns NULL.\n");
        return false;
    }
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) {
            g->cube->a[k][d] = cell->a[k][d];
            g->cube->a_i[k][d] = cell->a[k][d] / static_cast<double>(g->n[k]);
        }
    for (KELMAR_ATOM& atom : cell->atom) atom.ignored = false;
    const int M = ppt->conducting;
    if (ignore_conducting && M >= 0 && M < ppt->total) {
        std::printf("Message: ignoring all %s%d%c ions during cube generation.\n", ppt->type[M].data(),
                    std::abs(ppt->os[M]), os_sign_char(ppt->os[M]));
        for (KELMAR_ATOM& atom : cell->atom)
            if (std::strcmp(atom.type, ppt->type[M].data()) == 0 && atom.os == ppt->os[M]) atom.ignored = true;
    } else {
        std::printf("Message: no ion is ignored during cube generation.\n");
    }
    g->rmax = KELMAR_COULOMB_CUT;
    for (int i = 0; i < ppt->total; ++i)
        for (int j = 0; j < ppt->total; ++j) g->rmax = std::max(g->rmax, ppt->bin[i][j].cutoff);
    // Both paths place an image at x + T(h) (latimg::Image::add_to) over the same range: the padded
    // range m_k = trunc(rmax / L_k + 2), widened where an oblique cell brings images from further
    // out within reach.
    return latimg::image_range_wide(g->m, cell->parameter, cell->a, g->rmax, 2.0);
}

void clear_marks(KELMAR_CELL* cell) {
    for (KELMAR_ATOM& atom : cell->atom) atom.ignored = false;
}

// --- production path ----------------------------------------------------------------------------

// What the mobile ion feels from one species: the reach of its term and the term itself as a
// tabulated function of the squared distance.
struct SpeciesTerm {
    double cutoff = -1.0;  // bonding cutoff, or 10 A for Coulomb; negative: no term
    pairtab::Curve curve;
};

// Periodic images of the contributing atoms, structure of arrays.
struct ImageSet {
    std::vector<double> x, y, z, occ;
    std::vector<int> s;
    void clear() { x.clear(), y.clear(), z.clear(), occ.clear(), s.clear(); }
    void reserve(std::size_t n) { x.reserve(n), y.reserve(n), z.reserve(n), occ.reserve(n), s.reserve(n); }
    void push(const ImageSet& from, std::size_t c) {
        x.push_back(from.x[c]), y.push_back(from.y[c]), z.push_back(from.z[c]);
        occ.push_back(from.occ[c]), s.push_back(from.s[c]);
    }
    std::size_t size() const { return x.size(); }
};

// Every species group of a block is padded with far-away candidates of zero weight to a multiple
// of this (the SIMD width of the widest CPUs), so the pair-term loops run without remainders.
constexpr std::size_t GROUP_PAD = 8;
constexpr double FAR_AWAY = 1e100;

// The candidates of one block grouped by species: those of species X are begin[X] .. begin[X+1]-1,
// each group in the order of the tile's list and then padded.
struct BlockImages {
    std::vector<double> x, y, z, occ;
    std::vector<std::size_t> begin;
    std::vector<std::uint32_t> picked;  // tile indices in reach of the block (scratch)
    std::vector<std::size_t> cursor;    // fill positions of the groups (scratch)
    void reserve(std::size_t n, std::size_t species) {
        const std::size_t room = n + GROUP_PAD * species;
        x.resize(room), y.resize(room), z.resize(room), occ.resize(room);
        picked.reserve(n);
        begin.assign(species + 1, 0);
        cursor.reserve(species);
    }
};

// Centre and radius of the parallelepiped of grid points [lo, hi] (inclusive) on every axis.
void block_sphere(double c[3], double* radius, const double a_i[3][3], const long lo[3], const long hi[3]) {
    double corner[8][3];
    for (int t = 0; t < 8; ++t)
        grid_point(corner[t], a_i, (t & 1) ? hi[0] : lo[0], (t & 2) ? hi[1] : lo[1], (t & 4) ? hi[2] : lo[2]);
    for (int d = 0; d < 3; ++d) {
        c[d] = 0.0;
        for (int t = 0; t < 8; ++t) c[d] += corner[t][d];
        c[d] /= 8.0;
    }
    double r2 = 0.0;
    for (int t = 0; t < 8; ++t) {
        double s = 0.0;
        for (int d = 0; d < 3; ++d) s += (corner[t][d] - c[d]) * (corner[t][d] - c[d]);
        r2 = std::max(r2, s);
    }
    *radius = std::sqrt(r2) + KELMAR_CUBE_SLACK;
}

// Images of `from` that can reach a point of the sphere (c, radius).
void filter_images(ImageSet* out, const ImageSet& from, const std::vector<SpeciesTerm>& terms, const double c[3],
                   double radius) {
    out->clear();
    for (std::size_t t = 0; t < from.size(); ++t) {
        const double dx = from.x[t] - c[0], dy = from.y[t] - c[1], dz = from.z[t] - c[2];
        const double reach = radius + terms[static_cast<std::size_t>(from.s[t])].cutoff + KELMAR_CUBE_SLACK;
        if (dx * dx + dy * dy + dz * dz <= reach * reach) out->push(from, t);
    }
}

// As filter_images, grouped by species for the block. False when no image is in reach.
bool filter_block(BlockImages* out, const ImageSet& from, const std::vector<SpeciesTerm>& terms, const double c[3],
                  double radius) {
    out->picked.clear();
    std::fill(out->begin.begin(), out->begin.end(), 0);
    for (std::size_t t = 0; t < from.size(); ++t) {
        const std::size_t X = static_cast<std::size_t>(from.s[t]);
        const double dx = from.x[t] - c[0], dy = from.y[t] - c[1], dz = from.z[t] - c[2];
        const double reach = radius + terms[X].cutoff + KELMAR_CUBE_SLACK;
        if (dx * dx + dy * dy + dz * dz <= reach * reach) {
            out->picked.push_back(static_cast<std::uint32_t>(t));
            ++out->begin[X + 1];
        }
    }
    if (out->picked.empty()) return false;
    // starts of the groups, each group's size rounded up to the padding
    const std::size_t groups = out->begin.size() - 1;
    for (std::size_t X = 1; X <= groups; ++X)
        out->begin[X] = out->begin[X - 1] + (out->begin[X] + GROUP_PAD - 1) / GROUP_PAD * GROUP_PAD;
    out->cursor.assign(out->begin.begin(), out->begin.end() - 1);
    for (const std::uint32_t t : out->picked) {
        const std::size_t at = out->cursor[static_cast<std::size_t>(from.s[t])]++;
        out->x[at] = from.x[t], out->y[at] = from.y[t], out->z[at] = from.z[t], out->occ[at] = from.occ[t];
    }
    for (std::size_t X = 0; X < groups; ++X)
        for (std::size_t at = out->cursor[X]; at < out->begin[X + 1]; ++at)
            out->x[at] = out->y[at] = out->z[at] = FAR_AWAY, out->occ[at] = 0.0;
    return true;
}

// The bond-valence value at r from the block's candidates (eV, capped): per species, a squared
// distance, the cutoff test and a table lookup per candidate.
inline double point_value(const BlockImages& bi, const std::vector<SpeciesTerm>& terms, const double r[3],
                          long long* count) {
    double sum = 0.0;
    long long entered = 0;
    const double* px = bi.x.data();
    const double* py = bi.y.data();
    const double* pz = bi.z.data();
    const double* occ = bi.occ.data();
    for (std::size_t X = 0; X + 1 < bi.begin.size(); ++X) {
        const std::size_t b = bi.begin[X], e = bi.begin[X + 1];
        if (b == e) continue;
        sum += pairtab::sum_terms(terms[X].curve, px + b, py + b, pz + b, occ + b, e - b, r, &entered);
    }
    *count += entered;
    const double E = sum * KELMAR_EV;
    return E > KELMAR_CUBE_CAP ? KELMAR_CUBE_CAP : E;
}

// Species terms and the image list of every atom not marked ignored. False after a message.
bool build_images(std::vector<SpeciesTerm>* terms, ImageSet* images, const KELMAR_CELL* cell,
                  const KELMAR_PROPERTY* ppt, const GridSetup& g) {
    const int M = ppt->conducting;
    terms->assign(static_cast<std::size_t>(ppt->total), SpeciesTerm());
    for (int X = 0; X < ppt->total; ++X) {
        SpeciesTerm& t = (*terms)[static_cast<std::size_t>(X)];
        const KELMAR_PROPERTY_BINARY& P = pair_entry(ppt, M, X);
        if (same_sign(ppt->os[M], ppt->os[X])) {
            t.cutoff = KELMAR_COULOMB_CUT;
            t.curve = pairtab::curve_coulomb(ppt->uni[M].q * ppt->uni[X].q,
                                             ppt->sf * (ppt->uni[M].rc + ppt->uni[X].rc), KELMAR_COULOMB_CUT,
                                             P.r_cc, P.a2, P.a1, P.a0);
        } else if (ppt->os[M] != 0 && ppt->os[X] != 0) {
            t.cutoff = P.cutoff;
            t.curve = pairtab::curve_bonding(P.d0, P.rmin, P.b, P.en_s, P.cutoff, P.r_bc, P.a2, P.a1, P.a0);
        }
    }
    // only images that can come within reach of some grid point of the cell are kept
    const long lo[3] = {0, 0, 0};
    const long hi[3] = {g.n[0] - 1, g.n[1] - 1, g.n[2] - 1};
    double centre[3], radius;
    block_sphere(centre, &radius, g.cube->a_i, lo, hi);
    images->clear();
    for (const KELMAR_ATOM& atom : cell->atom) {
        if (atom.ignored) continue;
        const int X = kelmar_property_find_index(ppt, atom.type, atom.os);
        if (X < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return false;
        }
        const SpeciesTerm& t = (*terms)[static_cast<std::size_t>(X)];
        if (t.cutoff < 0) continue;
        const double reach = radius + t.cutoff + KELMAR_CUBE_SLACK;
        latimg::for_each_image(cell->a, g.m, [&](const latimg::Image& img) {
            double p[3];
            img.add_to(p, atom.x);
            const double dx = p[0] - centre[0], dy = p[1] - centre[1], dz = p[2] - centre[2];
            if (dx * dx + dy * dy + dz * dz > reach * reach) return;
            images->x.push_back(p[0]), images->y.push_back(p[1]), images->z.push_back(p[2]);
            images->occ.push_back(atom.occ), images->s.push_back(X);
        });
    }
    return true;
}

// Evaluates every representative point: tiles of 24^3 points are handed out to the threads; each
// tile narrows the image list, and each 8^3 block of it narrows it again. A block that no image
// reaches holds zeros without a pass over its points.
long long evaluate_representatives(KELMAR_CUBE* cube, const gridsym::GridMask& rep, const ImageSet& images,
                                   const std::vector<SpeciesTerm>& terms, int threads, double* cpu_seconds) {
    const long* n = cube->n;
    constexpr long TILE = 24, BLOCK = 8;
    const long tiles[3] = {(n[0] + TILE - 1) / TILE, (n[1] + TILE - 1) / TILE, (n[2] + TILE - 1) / TILE};
    const long total_tiles = tiles[0] * tiles[1] * tiles[2];
    std::atomic<long> next{0};
    std::atomic<long> done{0};
    std::atomic<long long> pair_terms{0};
    const bool show = isatty(STDERR_FILENO) != 0;
    double* en = cube->en.data.data();
    // Candidate lists of every thread, reserved here: a filtered list never outgrows the full one,
    // so the workers allocate nothing, and an allocation failure is thrown on the calling thread
    // (where it can be caught) instead of ending the process from a worker.
    struct Scratch {
        ImageSet tile_images;
        BlockImages block;
    };
    std::vector<Scratch> scratch(static_cast<std::size_t>(std::max(threads, 1)));
    for (Scratch& sc : scratch) {
        sc.tile_images.reserve(images.size());
        sc.block.reserve(images.size(), terms.size());
    }
    std::atomic<long long> cpu_ns{0};
    auto thread_cpu_ns = []() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    };
    auto worker = [&](int id) {
        const long long started = thread_cpu_ns();
        ImageSet& tile_images = scratch[static_cast<std::size_t>(id)].tile_images;
        BlockImages& block = scratch[static_cast<std::size_t>(id)].block;
        long last_percent = -1;
        long long entered = 0;
        for (;;) {
            const long t = next.fetch_add(1);
            if (t >= total_tiles) break;
            const long ti = t / (tiles[1] * tiles[2]), tj = (t / tiles[2]) % tiles[1], tk = t % tiles[2];
            const long tlo[3] = {ti * TILE, tj * TILE, tk * TILE};
            const long thi[3] = {std::min(tlo[0] + TILE, n[0]) - 1, std::min(tlo[1] + TILE, n[1]) - 1,
                                 std::min(tlo[2] + TILE, n[2]) - 1};
            bool any = false;
            for (long i = tlo[0]; i <= thi[0] && !any; ++i)
                for (long j = tlo[1]; j <= thi[1] && !any; ++j)
                    for (long k = tlo[2]; k <= thi[2]; ++k)
                        if (rep.get(static_cast<long>(cube->en.index(i, j, k)))) {
                            any = true;
                            break;
                        }
            if (any) {
                double c[3], radius;
                block_sphere(c, &radius, cube->a_i, tlo, thi);
                filter_images(&tile_images, images, terms, c, radius);
                for (long bi = tlo[0]; bi <= thi[0]; bi += BLOCK)
                    for (long bj = tlo[1]; bj <= thi[1]; bj += BLOCK)
                        for (long bk = tlo[2]; bk <= thi[2]; bk += BLOCK) {
                            const long blo[3] = {bi, bj, bk};
                            const long bhi[3] = {std::min(bi + BLOCK - 1, thi[0]), std::min(bj + BLOCK - 1, thi[1]),
                                                 std::min(bk + BLOCK - 1, thi[2])};
                            int filtered = 0;  // 0 not yet, 1 candidates, -1 none in reach
                            for (long i = blo[0]; i <= bhi[0] && filtered >= 0; ++i)
                                for (long j = blo[1]; j <= bhi[1] && filtered >= 0; ++j)
                                    for (long k = blo[2]; k <= bhi[2]; ++k) {
                                        const std::size_t p = cube->en.index(i, j, k);
                                        if (!rep.get(static_cast<long>(p))) continue;
                                        if (filtered == 0) {
                                            double bc[3], br;
                                            block_sphere(bc, &br, cube->a_i, blo, bhi);
                                            filtered = filter_block(&block, tile_images, terms, bc, br) ? 1 : -1;
                                            if (filtered < 0) break;  // the block keeps its zeros
                                        }
                                        double r[3];
                                        grid_point(r, cube->a_i, i, j, k);
                                        en[p] = point_value(block, terms, r, &entered);
                                    }
                        }
            }
            const long finished = done.fetch_add(1) + 1;
            if (show && id == 0) {
                const long percent = 100 * finished / total_tiles;
                if (percent != last_percent) {
                    std::fprintf(stderr, "\rProgress: %3ld%%", percent);
                    last_percent = percent;
                }
            }
        }
        pair_terms += entered;
        cpu_ns += thread_cpu_ns() - started;
    };
    if (threads <= 1) {
        worker(0);
    } else {
        std::vector<std::thread> pool;
        pool.reserve(static_cast<std::size_t>(threads - 1));  // no allocation once threads run
        for (int id = 1; id < threads; ++id) {
            try {
                pool.emplace_back(worker, id);
            } catch (const std::system_error&) {
                break;  // the threads already running share the remaining tiles
            }
        }
        worker(0);
        for (std::thread& th : pool) th.join();
    }
    if (show) std::fprintf(stderr, "\rProgress: 100%%\n");
    *cpu_seconds = 1e-9 * static_cast<double>(cpu_ns.load());
    return pair_terms.load();
}

}  // namespace

// --- bond-valence landscape ------------------------------------------------------------------------

double kelmar_cube_point_value_plain(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const double r[3],
                                     const long m[3]) {
    const int M = ppt->conducting;
    double bond = 0.0, coul = 0.0;
    for (const KELMAR_ATOM& atom : cell->atom) {
        if (atom.ignored) continue;
        const int X = kelmar_property_find_index(ppt, atom.type, atom.os);
        if (M < 0 || X < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return std::numeric_limits<double>::quiet_NaN();
        }
        const KELMAR_PROPERTY_BINARY& P = pair_entry(ppt, M, X);
        const bool opposite = (ppt->os[M] > 0 && ppt->os[X] < 0) || (ppt->os[M] < 0 && ppt->os[X] > 0);
        const bool like = same_sign(ppt->os[M], ppt->os[X]);
        latimg::for_each_image(cell->a, m, [&](const latimg::Image& img) {
            double p[3];
            img.add_to(p, atom.x);
            const double dx = p[0] - r[0], dy = p[1] - r[1], dz = p[2] - r[2];
            const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (opposite && d <= P.cutoff) {
                if (d <= P.r_bc)
                    bond += atom.occ * kelmar_pseudopotential_energy_bonding(d, P.a2, P.a1, P.a0);
                else
                    bond += atom.occ * kelmar_energy_bonding_with_energy_shift(d, P.d0, P.rmin, P.b, P.en_s);
            } else if (like && d <= KELMAR_COULOMB_CUT) {
                if (d <= P.r_cc)
                    coul += atom.occ * kelmar_pseudopotential_energy_coulombic(d, P.a2, P.a1, P.a0);
                else
                    coul += atom.occ * kelmar_energy_coulombic(d, ppt->uni[M].q * ppt->uni[X].q,
                                                               ppt->sf * (ppt->uni[M].rc + ppt->uni[X].rc));
            }
        });
    }
    const double E = (bond + coul) * KELMAR_EV;
    return E > KELMAR_CUBE_CAP ? KELMAR_CUBE_CAP : E;
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_plain(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                         const KELMAR_PROPERTY* ppt, double resolution,
                                                         bool ignore_conducting) {
    if (kelmar_cube_validate_property(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_validate_property() returns non-zero.\n");
        return nullptr;
    }
    if (cell == nullptr) return nullptr;
    GridSetup g;
    if (!grid_setup(&g, cell, symmetry, ppt, resolution, ignore_conducting)) {
        clear_marks(cell);
        return nullptr;
    }
    KELMAR_CUBE* cube = g.cube.get();
    for (long i = 0; i < g.n[0]; ++i)
        for (long j = 0; j < g.n[1]; ++j)
            for (long k = 0; k < g.n[2]; ++k) {
                if (std::fabs(cube->en(i, j, k)) > KELMAR_CUBE_UNKNOWN) continue;
                double r[3];
                grid_point(r, cube->a_i, i, j, k);
                const double E = kelmar_cube_point_value_plain(cell, ppt, r, g.m);
                if (std::isnan(E)) {
                    clear_marks(cell);
                    return nullptr;
                }
                cube->en(i, j, k) = E;
                const long in[3] = {i, j, k};
                for (const KELMAR_CARD& c : g.cards) {
                    long o[3];
                    if (kelmar_card_transform_vector3_long(o, in, g.n, &c) != 0) continue;  // fits: never
                    if (cube->en(o[0], o[1], o[2]) <= KELMAR_CUBE_UNKNOWN) cube->en(o[0], o[1], o[2]) = E;
                }
            }
    clear_marks(cell);
    std::printf("Message: cube has been generated successfully.\n");
    return std::move(g.cube);
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_threads(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                           const KELMAR_PROPERTY* ppt, double resolution,
                                                           bool ignore_conducting, int threads,
                                                           KELMAR_CUBE_STATS* stats) {
    if (kelmar_cube_validate_property(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_validate_property() returns non-zero.\n");
        return nullptr;
    }
    if (cell == nullptr) return nullptr;
    GridSetup g;
    if (!grid_setup(&g, cell, symmetry, ppt, resolution, ignore_conducting)) {
        clear_marks(cell);
        return nullptr;
    }
    std::vector<SpeciesTerm> terms;
    ImageSet images;
    if (!build_images(&terms, &images, cell, ppt, g)) {
        clear_marks(cell);
        return nullptr;
    }
    threads = workshare_threads_resolve(threads);
    gridsym::GridMask is_rep(g.grid_sym.points());
    const std::vector<std::int32_t> reps = g.grid_sym.representatives(&is_rep);
    KELMAR_CUBE* cube = g.cube.get();
    double cpu = 0.0;
    const long long entered = evaluate_representatives(cube, is_rep, images, terms, threads, &cpu);
    if (stats != nullptr) {
        stats->points = cube->en.size();
        stats->representatives = static_cast<long>(reps.size());
        stats->images = static_cast<long>(images.size());
        stats->pair_terms = entered;
        stats->terms_cpu_seconds = cpu;
    }
    // every other point takes the value of the first representative that reaches it
    g.grid_sym.spread(cube->en.data.data(), reps, KELMAR_CUBE_UNKNOWN);
    clear_marks(cell);
    std::printf("Message: cube has been generated successfully.\n");
    return std::move(g.cube);
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                   const KELMAR_PROPERTY* ppt, double resolution,
                                                   bool ignore_conducting) {
    return kelmar_cube_calculate_threads(cell, symmetry, ppt, resolution, ignore_conducting, 0);
}

// --- probe cell, GII and total-energy landscapes ---------------------------------------------------

std::unique_ptr<KELMAR_CELL> kelmar_cube_cell_new(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                  const char* type, int os, long /*ignored_count*/) {
    if (cell == nullptr || type == nullptr || ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or conducting ions info has not been properly initialized.\n");
        return nullptr;
    }
    auto probe = kelmar_cell_new(cell->total() + 1);
    if (!probe) {
        std::fprintf(stderr, "Error: kelmar_cell_new() returns NULL.\n");
        return nullptr;
    }
    std::memcpy(probe->name, cell->name, sizeof(probe->name));
    for (int k = 0; k < 3; ++k) {
        for (int d = 0; d < 3; ++d) probe->a[k][d] = cell->a[k][d];
        probe->parameter[k] = cell->parameter[k];
        probe->angle[k] = cell->angle[k];
    }
    probe->Z = cell->Z;
    KELMAR_ATOM& p = probe->atom[0];
    kelmar_copy_field(p.name, type);
    kelmar_copy_field(p.type, type);
    p.os = os;
    p.occ = 1.0;
    p.ignored = false;
    double c = 0.0;
    const int M = kelmar_property_find_index(ppt, type, os);
    if (M >= 0 && M < static_cast<int>(ppt->count.size())) c = ppt->count[static_cast<std::size_t>(M)];
    for (long i = 0; i < cell->total(); ++i) {
        KELMAR_ATOM a = cell->atom[static_cast<std::size_t>(i)];
        if (a.ignored) a.occ = c > 1.0 ? a.occ * (c - 1.0) / c : 0.0;
        probe->atom[static_cast<std::size_t>(i + 1)] = a;
    }
    return probe;
}

namespace {

// What a probe model evaluates at one grid point: the cell with the probe ion in place as atom 0
// (its sites flagged) gives the value, or false after a message.
using ProbeValue = bool (*)(KELMAR_CELL* probe, KELMAR_PROPERTY* ppt, double* value);

bool gii_value(KELMAR_CELL* probe, KELMAR_PROPERTY* ppt, double* value) {
    auto bv = kelmar_bv_calculate_from_flagged_cell(probe, ppt);
    if (!bv) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_flagged_cell returns NULL.\n");
        return false;
    }
    *value = kelmar_gii_calculate_from_bv_no_msg(bv.get());
    return true;
}

bool tot_en_value(KELMAR_CELL* probe, KELMAR_PROPERTY* ppt, double* value) {
    *value = kelmar_cell_total_energy(probe, ppt, false);
    return true;
}

bool tot_en_eam_value(KELMAR_CELL* probe, KELMAR_PROPERTY* ppt, double* value) {
    *value = kelmar_cell_total_energy(probe, ppt, true);
    return true;
}

// The landscape of a probe model on the grid-symmetry facility: the symmetry-distinct points are
// evaluated in walking order (a progress figure per plane of the first axis), capped, and spread
// to their images. The parameter record is ready; progress and done are the model's lines.
std::unique_ptr<KELMAR_CUBE> probe_landscape(ProbeValue value_at, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                             KELMAR_PROPERTY* ppt, double resolution, bool ignore_conducting,
                                             const char* progress, const char* done) {
    auto p1 = kelmar_symmetry_new_p1();
    if (!p1) {
        std::fprintf(stderr, "Error: kelmar_symmetry_new_p1() returns NULL.\n");
        return nullptr;
    }
    if (cell == nullptr) return nullptr;
    GridSetup g;
    if (!grid_setup(&g, cell, symmetry, ppt, resolution, ignore_conducting)) {
        clear_marks(cell);
        return nullptr;
    }
    const int M = ppt->conducting;
    auto probe = kelmar_cube_cell_new(cell, ppt, ppt->type[M].data(), ppt->os[M], 0);
    if (!probe) {
        std::fprintf(stderr, "Error: kelmar_cube_cell_new() returns NULL.\n");
        clear_marks(cell);
        return nullptr;
    }
    // The ignore switch acts here only through the lowered occupancy of the other mobile ions;
    // they take full part in the sums. The copied marks are scratch marks of the landscape and
    // must not reach the total energy, which leaves marked (fixed) atoms out of its outer loop.
    clear_marks(probe.get());
    std::printf("%s", progress);
    std::fflush(stdout);
    KELMAR_CUBE* cube = g.cube.get();
    gridsym::GridMask is_rep(g.grid_sym.points());
    const std::vector<std::int32_t> reps = g.grid_sym.representatives(&is_rep);
    const long plane = g.n[1] * g.n[2];
    std::size_t next = 0;
    for (long i = 0; i < g.n[0]; ++i) {
        std::printf("%3.1f%%...", 100.0 * static_cast<double>(i) / static_cast<double>(g.n[0]));
        std::fflush(stdout);
        for (; next < reps.size() && reps[next] / plane == i; ++next) {
            const long p = reps[next], j = (p / g.n[2]) % g.n[1], k = p % g.n[2];
            KELMAR_ATOM& pa = probe->atom[0];
            grid_point(pa.x, cube->a_i, i, j, k);
            pa.x_f[0] = static_cast<double>(i) / static_cast<double>(g.n[0]);
            pa.x_f[1] = static_cast<double>(j) / static_cast<double>(g.n[1]);
            pa.x_f[2] = static_cast<double>(k) / static_cast<double>(g.n[2]);
            double E = 0.0;
            if (kelmar_cell_flag_site_by_symmetry(probe.get(), p1.get()) != 0) {
                std::fprintf(stderr, "Error: kelmar_cell_flag_site_by_symmetry() returns non-zero.\n");
                std::printf("\n");
                clear_marks(cell);
                return nullptr;
            }
            if (!value_at(probe.get(), ppt, &E)) {
                std::printf("\n");
                clear_marks(cell);
                return nullptr;
            }
            cube->en.data[static_cast<std::size_t>(p)] = E > KELMAR_CUBE_CAP ? KELMAR_CUBE_CAP : E;
        }
    }
    std::printf("\n");
    g.grid_sym.spread(cube->en.data.data(), reps, KELMAR_CUBE_UNKNOWN);
    probe.reset();
    clear_marks(cell);
    std::printf("%s", done);
    return std::move(g.cube);
}

// The checks every probe model makes before its grid.
bool probe_property_valid(const KELMAR_PROPERTY* ppt) {
    if (kelmar_cube_validate_property(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_validate_property() returns non-zero.\n");
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_gii_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                          const KELMAR_PROPERTY* ppt, double resolution,
                                                          bool ignore_conducting) {
    if (!probe_property_valid(ppt)) return nullptr;
    // the GII only reads the record
    return probe_landscape(gii_value, cell, symmetry, const_cast<KELMAR_PROPERTY*>(ppt), resolution,
                           ignore_conducting, "Progress: calculating for --gen-cube-gii: ...",
                           "Message: cube_by_gii has been generated successfully.\n");
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_tot_en_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             KELMAR_PROPERTY* ppt, double resolution,
                                                             bool ignore_conducting, bool eam) {
    if (!probe_property_valid(ppt)) return nullptr;
    if (kelmar_property_calculate_unitary_eam_parameter(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_binary_derived() returns non-zero.\n");
        return nullptr;
    }
    return probe_landscape(eam ? tot_en_eam_value : tot_en_value, cell, symmetry, ppt, resolution,
                           ignore_conducting, "Progress: calculating  ...",
                           "Message: cube_by_tot_en has been generated successfully.\n");
}
