// Pair forces, potential energy and virial of the moving ions: Verlet list and plain double sum.
#include "md-force.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "property-derived.hpp"
#include "neighbor.hpp"

namespace mdforce {

namespace {

constexpr double COULOMB_EV = 14.39964;

// Largest distance (up to reach) at which the force of the rule is still above the negligible
// level; scanned down from the reach, so a force that rises again towards short range is kept.
double force_reach(const PairRule& rule) {
    const double step = std::max(0.005, rule.reach / 20000.0);  // a bounded scan whatever the cutoff
    for (double x = rule.reach; x > step; x -= step)
        if (!(std::fabs(COULOMB_EV * rule.derivative(x)) < NEGLIGIBLE_FORCE)) return std::min(rule.reach, x + step);
    return step;
}

// d = x_j - x_i moved to the nearest lattice image (fractional components within [-0.5, 0.5]).
void nearest_image(double d[3], const KELMAR_CELL& cell, const double (*inv_a)[3]) {
    double n[3];
    for (int k = 0; k < 3; k++) n[k] = std::nearbyint(inv_a[k][0] * d[0] + inv_a[k][1] * d[1] + inv_a[k][2] * d[2]);
    for (int c = 0; c < 3; c++) d[c] -= n[0] * cell.a[0][c] + n[1] * cell.a[1][c] + n[2] * cell.a[2][c];
}

}  // namespace

double PairRule::energy(double d) const {
    if (kind == COULOMB) return kelmar_energy_coulombic(d, q, r_eff);
    if (kind == BONDING) return kelmar_energy_bonding_with_energy_shift(d, d0, rmin, b, en_s);
    return 0.0;
}

namespace {

// erfc(s) exp(s^2), smooth and slowly varying, as a cubic Hermite table on [0, 7] in steps of
// 1/1024: erfc(s) = exp(-s^2) erfcx(s) then shares its exponential with the Gaussian term of the
// screened Coulomb derivative. Relative error below 1e-13 (a test holds it to std::erfc).
class ScaledErfc {
public:
    static constexpr double STEP = 1.0 / 1024.0;
    static constexpr double END = 7.0;

    ScaledErfc() {
        const int n = static_cast<int>(END / STEP) + 2;
        node_.resize(2 * static_cast<std::size_t>(n));
        for (int i = 0; i < n; i++) {
            const double s = i * STEP;
            const double f = std::erfc(s) * std::exp(s * s);
            node_[2 * static_cast<std::size_t>(i)] = f;
            node_[2 * static_cast<std::size_t>(i) + 1] = STEP * (2.0 * s * f - M_2_SQRTPI);  // d/ds, scaled
        }
    }
    // erfc(s) given exp(-s^2) = gauss, s >= 0.
    double erfc(double s, double gauss) const {
        if (!(s < END)) return std::erfc(s);
        const double x = s * (1.0 / STEP);
        const auto i = static_cast<std::size_t>(x);
        const double t = x - static_cast<double>(i);
        const double* p = &node_[2 * i];
        const double u = 1.0 - t;
        const double f = (1.0 + 2.0 * t) * u * u * p[0] + t * u * u * p[1] + t * t * (3.0 - 2.0 * t) * p[2] -
                         t * t * u * p[3];
        return gauss * f;
    }

private:
    std::vector<double> node_;
};

const ScaledErfc& scaled_erfc() {
    static const ScaledErfc table;
    return table;
}

}  // namespace

double table_erfc(double s) { return scaled_erfc().erfc(s, std::exp(-s * s)); }

double PairRule::derivative(double d) const {
    if (kind == COULOMB) {
        const double s = d / r_eff;
        const double gauss = std::exp(-s * s);
        return -(q * scaled_erfc().erfc(s, gauss) / d + slope * gauss) / d;
    }
    if (kind == BONDING) {
        const double e = std::exp((rmin - d) / b);
        return -(d0 / b) * e * (e - 1.0);
    }
    return 0.0;
}

bool make_force_field(ForceField* ff, const KELMAR_PROPERTY& ppt) {
    const int s = ppt.total;
    ff->species = s;
    ff->rule.assign(static_cast<std::size_t>(s) * static_cast<std::size_t>(s), PairRule{});
    ff->reach = ff->reach_force = 0.0;
    for (int i = 0; i < s; i++)
        for (int j = 0; j < s; j++) {
            PairRule& r = ff->rule[static_cast<std::size_t>(i * s + j)];
            const int oi = ppt.os[static_cast<std::size_t>(i)], oj = ppt.os[static_cast<std::size_t>(j)];
            if (oi * oj > 0) {
                r.kind = PairRule::COULOMB;
                r.q = ppt.uni[static_cast<std::size_t>(i)].q * ppt.uni[static_cast<std::size_t>(j)].q;
                r.r_eff = (ppt.uni[static_cast<std::size_t>(i)].rc + ppt.uni[static_cast<std::size_t>(j)].rc) * ppt.sf;
                r.shift = r.q * std::erfc(10.0 / r.r_eff) / 10.0;
                r.slope = 2.0 * r.q / (std::sqrt(M_PI) * r.r_eff);
                r.reach = COULOMB_REACH;
                if (!(r.r_eff > 0.0) || !std::isfinite(r.q)) {
                    std::fprintf(stderr, "Error: no usable Coulomb screening for the pair (%s%d)-(%s%d).\n",
                                 ppt.type[static_cast<std::size_t>(i)].data(), oi,
                                 ppt.type[static_cast<std::size_t>(j)].data(), oj);
                    return false;
                }
            } else if (oi * oj < 0) {
                // the (cation, anion) entry serves both orders
                const KELMAR_PROPERTY_BINARY& e = oi > 0 ? ppt.bin[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]
                                                         : ppt.bin[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)];
                r.kind = PairRule::BONDING;
                r.d0 = e.d0;
                r.rmin = e.rmin;
                r.b = e.b;
                r.en_s = e.en_s;
                r.reach = e.cutoff;
                if (r.reach > 0.0 && !(r.b > 0.0 && std::isfinite(r.d0) && std::isfinite(r.rmin) && r.rmin > 0.0)) {
                    std::fprintf(stderr, "Error: no usable bonding parameters for the pair (%s%d)-(%s%d).\n",
                                 ppt.type[static_cast<std::size_t>(i)].data(), oi,
                                 ppt.type[static_cast<std::size_t>(j)].data(), oj);
                    return false;
                }
                if (!(r.reach > 0.0)) r.kind = PairRule::NONE;
            }
            if (r.kind == PairRule::NONE) continue;
            r.reach_force = force_reach(r);
            r.tail = r.energy(r.reach);
            ff->reach = std::max(ff->reach, r.reach);
            ff->reach_force = std::max(ff->reach_force, r.reach_force);
        }
    return true;
}

namespace {

bool build(NeighbourList& list, const Frame& fr, const Vec3s& x) {
    const KELMAR_CELL& cell = *fr.cell;
    const std::vector<long>& mobile = *fr.mobile;
    const std::vector<long>& slot = *fr.slot;
    const std::vector<int>& species = *fr.species;
    long m[3];
    if (!latimg::image_range_covering(m, cell.a, fr.ff->reach_force + list.skin)) return false;
    list.entry.clear();
    list.begin.assign(mobile.size() + 1, 0);
    list.x_built.resize(3 * mobile.size());
    const long n = cell.total();
    for (std::size_t a = 0; a < mobile.size(); a++) {
        const long i = mobile[a];
        list.begin[a] = list.entry.size();
        const auto& xi = x[static_cast<std::size_t>(i)];
        for (int c = 0; c < 3; c++) list.x_built[3 * a + static_cast<std::size_t>(c)] = xi[static_cast<std::size_t>(c)];
        const KELMAR_ATOM& ai = cell.atom[static_cast<std::size_t>(i)];
        for (long j = 0; j < n; j++) {
            // the images of an atom itself pull it equally both ways
            if (j == i) continue;
            const long sj = slot[static_cast<std::size_t>(j)];
            if (sj >= 0 && sj < static_cast<long>(a)) continue;  // listed from the partner's side
            const int rule = static_cast<int>(species[static_cast<std::size_t>(i)]) * fr.ff->species +
                             species[static_cast<std::size_t>(j)];
            const PairRule& pr = fr.ff->rule[static_cast<std::size_t>(rule)];
            if (pr.kind == PairRule::NONE) continue;
            const double reach = pr.reach_force + list.skin;
            const double reach2 = reach * reach;
            const auto& xj = x[static_cast<std::size_t>(j)];
            double d0[3] = {xj[0] - xi[0], xj[1] - xi[1], xj[2] - xi[2]};
            const double raw[3] = {d0[0], d0[1], d0[2]};
            nearest_image(d0, cell, fr.inv_a);
            const double w = ai.occ * cell.atom[static_cast<std::size_t>(j)].occ;
            latimg::for_each_image(cell.a, m, [&](const latimg::Image& img) {
                double v[3];
                img.add_to(v, d0);
                if (v[0] * v[0] + v[1] * v[1] + v[2] * v[2] > reach2) return;
                ListEntry e;
                e.w = w;
                e.rule = rule;
                if (sj >= 0) {
                    e.partner = static_cast<int>(sj);
                    for (int c = 0; c < 3; c++) e.p[c] = v[c] - raw[c];
                } else {
                    e.partner = -1;
                    for (int c = 0; c < 3; c++) e.p[c] = xi[static_cast<std::size_t>(c)] + v[c];
                }
                list.entry.push_back(e);
            });
        }
    }
    list.begin[mobile.size()] = list.entry.size();
    list.builds++;
    return true;
}

bool needs_build(const NeighbourList& list, const Frame& fr, const Vec3s& x) {
    const std::vector<long>& mobile = *fr.mobile;
    if (list.x_built.size() != 3 * mobile.size() || list.begin.size() != mobile.size() + 1) return true;
    const double limit2 = 0.25 * list.skin * list.skin;
    for (std::size_t a = 0; a < mobile.size(); a++) {
        const auto& xi = x[static_cast<std::size_t>(mobile[a])];
        double d2 = 0.0;
        for (int c = 0; c < 3; c++) {
            const double d = xi[static_cast<std::size_t>(c)] - list.x_built[3 * a + static_cast<std::size_t>(c)];
            d2 += d * d;
        }
        if (!(d2 <= limit2)) return true;
    }
    return false;
}

}  // namespace

Status list_forces(NeighbourList& list, const Frame& fr, const Vec3s& x, Vec3s& f, Contact* contact) {
    const std::vector<long>& mobile = *fr.mobile;
    if (needs_build(list, fr, x) && !build(list, fr, x)) return Status::RANGE;
    for (long i : mobile) f[static_cast<std::size_t>(i)] = {0.0, 0.0, 0.0};
    const PairRule* rules = fr.ff->rule.data();
    const double contact2 = CONTACT * CONTACT;
    for (std::size_t a = 0; a < mobile.size(); a++) {
        const long i = mobile[a];
        const auto& xi = x[static_cast<std::size_t>(i)];
        double fi[3] = {0.0, 0.0, 0.0};
        for (std::size_t k = list.begin[a]; k < list.begin[a + 1]; k++) {
            const ListEntry& e = list.entry[k];
            const PairRule& r = rules[e.rule];
            double v[3];
            if (e.partner < 0) {
                for (int c = 0; c < 3; c++) v[c] = e.p[c] - xi[static_cast<std::size_t>(c)];
            } else {
                const auto& xj = x[static_cast<std::size_t>(mobile[static_cast<std::size_t>(e.partner)])];
                for (int c = 0; c < 3; c++)
                    v[c] = xj[static_cast<std::size_t>(c)] + e.p[c] - xi[static_cast<std::size_t>(c)];
            }
            const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
            if (d2 > r.reach_force * r.reach_force) continue;
            if (d2 <= contact2) {
                contact->i = i;
                contact->j = e.partner < 0 ? -1 : mobile[static_cast<std::size_t>(e.partner)];
                contact->d = std::sqrt(d2);
                return Status::CONTACT;
            }
            const double d = std::sqrt(d2);
            // dE/dd along the pair: the force on i points towards j where the energy rises with distance
            const double s = COULOMB_EV * e.w * r.derivative(d) / d;
            for (int c = 0; c < 3; c++) fi[c] += s * v[c];
            if (e.partner >= 0) {
                auto& fj = f[static_cast<std::size_t>(mobile[static_cast<std::size_t>(e.partner)])];
                for (int c = 0; c < 3; c++) fj[static_cast<std::size_t>(c)] -= s * v[c];
            }
        }
        auto& out = f[static_cast<std::size_t>(i)];
        for (int c = 0; c < 3; c++) out[static_cast<std::size_t>(c)] += fi[c];
    }
    return Status::OK;
}

Status direct_sums(const Frame& fr, const Vec3s& x, DirectSums* sums, Vec3s* force, Contact* contact, bool exact) {
    const KELMAR_CELL& cell = *fr.cell;
    const std::vector<long>& slot = *fr.slot;
    const std::vector<int>& species = *fr.species;
    long m[3];
    if (!latimg::image_range_covering(m, cell.a, fr.ff->reach)) return Status::RANGE;
    *sums = DirectSums{};
    const long n = cell.total();
    for (long i : *fr.mobile) {
        const auto& xi = x[static_cast<std::size_t>(i)];
        const KELMAR_ATOM& ai = cell.atom[static_cast<std::size_t>(i)];
        double fi[3] = {0.0, 0.0, 0.0};
        for (long j = 0; j < n; j++) {
            const PairRule& r = fr.ff->at(species[static_cast<std::size_t>(i)], species[static_cast<std::size_t>(j)]);
            if (r.kind == PairRule::NONE) continue;
            const auto& xj = x[static_cast<std::size_t>(j)];
            double d0[3] = {xj[0] - xi[0], xj[1] - xi[1], xj[2] - xi[2]};
            nearest_image(d0, cell, fr.inv_a);
            const double w = ai.occ * cell.atom[static_cast<std::size_t>(j)].occ;
            const bool host = slot[static_cast<std::size_t>(j)] < 0;
            const double reach2 = r.reach * r.reach * (1.0 + 1e-12);  // the test on d itself decides
            bool touched = false;
            latimg::for_each_image(cell.a, m, [&](const latimg::Image& img) {
                if (touched) return;
                double v[3];
                img.add_to(v, d0);
                const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                if (d2 > reach2) return;
                const double d = std::sqrt(d2);
                if (d > r.reach) return;
                if (d <= CONTACT) {
                    if (j == i) return;  // the atom itself
                    contact->i = i;
                    contact->j = j;
                    contact->d = d;
                    touched = true;
                    return;
                }
                double e = 0.0, g = 0.0;
                if (!exact && d > r.reach_force) {
                    (host ? sums->e_host : sums->e_mobile) += w * r.tail;
                    return;
                }
                if (r.kind == PairRule::COULOMB) {
                    e = kelmar_energy_coulombic(d, r.q, r.r_eff);
                    g = kelmar_force_coulombic(d, r.q, r.r_eff);
                } else {
                    e = kelmar_energy_bonding_with_energy_shift(d, r.d0, r.rmin, r.b, r.en_s);
                    g = kelmar_force_bonding(d, r.d0, r.rmin, r.b);
                }
                (host ? sums->e_host : sums->e_mobile) += w * e;
                const double fd = COULOMB_EV * w * g;
                sums->virial += fd * d;
                for (int c = 0; c < 3; c++) fi[c] += fd * v[c] / d;
            });
            if (touched) return Status::CONTACT;
        }
        if (force != nullptr) (*force)[static_cast<std::size_t>(i)] = {fi[0], fi[1], fi[2]};
    }
    return Status::OK;
}

}  // namespace mdforce
