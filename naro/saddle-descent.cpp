// Steepest-descent routes from a saddle point to the minima on either side.
#include "saddle-descent.hpp"

#include <cmath>
#include <cstdlib>

#include "cube.hpp"
#include "path-points.hpp"

using namespace naro_walk;

namespace {

constexpr int kMaxDescentSteps = 1000;

double energy_of(const NARO_cube& c, const Tri& p) { return NARO_cube_energy(c, p.x, p.y, p.z); }

bool strictly_below(double e, double than) { return e < than && !eq(e, than); }

// Lowest of the 26 neighbours strictly below p, tried in the order -1, 0, +1 on a, b, c.
bool lowest_lower_neighbour(const NARO_cube& c, const Tri& p, Tri& out) {
    const double e0 = energy_of(c, p);
    bool found = false;
    double best = e0;
    for (int da = -1; da <= 1; ++da)
        for (int db = -1; db <= 1; ++db)
            for (int dc = -1; dc <= 1; ++dc) {
                if (da == 0 && db == 0 && dc == 0) continue;
                const Tri q{p.x + da, p.y + db, p.z + dc};
                const double e = energy_of(c, q);
                if (strictly_below(e, best)) {
                    best = e;
                    out = q;
                    found = true;
                }
            }
    return found;
}

int nearest_cell(int d, int n) { return static_cast<int>(std::lround(static_cast<double>(d) / n)); }

// The listed minimum (and image) at the unwrapped point q, allowing one voxel of rounding
// in the minimum's recorded index; the closest match wins.
bool match_minimum(const NARO_cube& c, const Tri& q, NaroDescentEnd& end) {
    int best = 4;
    for (int m = 0; m < static_cast<int>(c.minima.size()); ++m) {
        const Tri h = minimum_home(c, m);
        const Tri d = sub(q, h);
        const Tri cell{nearest_cell(d.x, c.a_grid), nearest_cell(d.y, c.b_grid),
                       nearest_cell(d.z, c.c_grid)};
        const Tri r = sub(d, cells(c, cell));
        if (std::abs(r.x) > 1 || std::abs(r.y) > 1 || std::abs(r.z) > 1) continue;
        const int score = std::abs(r.x) + std::abs(r.y) + std::abs(r.z);
        if (score < best) {
            best = score;
            end.minimum = m;
            end.i = cell.x;
            end.j = cell.y;
            end.l = cell.z;
        }
    }
    return end.minimum >= 0;
}

// Descends from every neighbour of the top point t strictly below the pass energy es,
// adding each end not seen before to ends.
void descend_from_top_point(const NARO_cube& cube, const Tri& t, double es, std::vector<NaroDescentEnd>& ends) {
    for (int da = -1; da <= 1; ++da)
        for (int db = -1; db <= 1; ++db)
            for (int dc = -1; dc <= 1; ++dc) {
                if (da == 0 && db == 0 && dc == 0) continue;
                Tri p{t.x + da, t.y + db, t.z + dc};
                if (!strictly_below(energy_of(cube, p), es)) continue;
                std::vector<Tri> pts{t, p};
                Tri next{};
                while (lowest_lower_neighbour(cube, p, next) &&
                       static_cast<int>(pts.size()) < kMaxDescentSteps) {
                    p = next;
                    pts.push_back(p);
                }
                NaroDescentEnd end;
                if (!match_minimum(cube, p, end)) continue;
                bool known = false;
                for (const NaroDescentEnd& e : ends)
                    known = known || (e.minimum == end.minimum && e.i == end.i && e.j == end.j && e.l == end.l);
                if (known) continue;
                end.walk = std::move(pts);
                ends.push_back(std::move(end));
            }
}

}  // namespace

std::vector<NaroDescentEnd> naro_descend_from_saddle(const NARO_cube& cube, int x, int y, int z) {
    std::vector<NaroDescentEnd> ends;
    const Tri s{x, y, z};
    descend_from_top_point(cube, s, energy_of(cube, s), ends);
    return ends;
}

std::vector<NaroDescentEnd> naro_descend_from_saddle_top(const NARO_cube& cube, int x, int y, int z) {
    const Tri s{x, y, z};
    const double es = energy_of(cube, s);
    std::vector<Tri> top{s};
    // A stretch of one energy wider than a saddle's plateau is a contour line, not the top
    // of one pass: then the saddle point stands alone.
    NARO_same_energy_grid_list plateau;
    if (NARO_find_same_energy_neighbours(cube, plateau, x, y, z) == 0)
        for (const NARO_cube_triple_index& q : plateau.item)
            if (!same({q.x, q.y, q.z}, s)) top.push_back({q.x, q.y, q.z});
    std::vector<NaroDescentEnd> ends;
    for (const Tri& t : top) descend_from_top_point(cube, t, es, ends);
    return ends;
}
