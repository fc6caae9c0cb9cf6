// Oxidation states a structure file leaves out: charge balance first, then how common the states
// are, then the bond-valence sums.
#include "oxidation-states.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>

#include "atom-order.hpp"
#include "bond-gated-states.hpp"
#include "cell-ops.hpp"
#include "common-states.hpp"
#include "data-file.hpp"
#include "neighbor.hpp"

double CellChargeBalance::fraction() const {
    if (!(cation > 0.0)) return total == 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
    return std::fabs(total) / cation;
}

CellChargeBalance cell_charge_balance(const KELMAR_CELL* cell) {
    CellChargeBalance q;
    if (cell == nullptr) return q;
    for (const KELMAR_ATOM& a : cell->atom) {
        q.total += a.occ * a.os;
        if (a.os > 0) q.cation += a.occ * a.os;
    }
    return q;
}

namespace {

// Balance tolerances, as fractions of the cation charge: the parameter assembly's own tolerance,
// and the wider one within which refined occupancies are rescaled with a warning.
constexpr double kTightBalance = 0.01;
constexpr double kLooseBalance = 0.05;
// Defaults that balance are kept without a search when their bond-valence sums agree this well.
constexpr double kPlausibleGii = 0.5;
// Imbalances (fractions of the cation charge) closer than this rank as equally balanced.
constexpr double kBalanceTie = 0.002;
// Bond valences closer than this are no bonds (as in the bond-valence sums).
constexpr double kMinBondLength = 0.2;

using PairKey = std::tuple<std::string, int, std::string, int>;

struct PairValues {
    double r0 = 0.0, b = 0.0, cn = 0.0, cutoff = 0.0;
};

// The cation-anion table of the binary data file, with the cutoffs of halide and sulfide pairs
// taken from the fluoride and oxide pairs as the parameter assembly takes them.
class BondTable {
public:
    bool load(const char* path) {
        std::vector<std::string> lines;
        if (!read_data_block(path, lines)) return false;
        for (const auto& l : lines) {
            char c[64], a[64];
            int oc = 0, oa = 0;
            PairValues v;
            if (std::sscanf(l.c_str(), "%63s %d %63s %d %lf %lf %lf %lf", c, &oc, a, &oa, &v.r0, &v.b, &v.cn,
                            &v.cutoff) != 8)
                continue;
            pairs_.emplace(PairKey{c, oc, a, oa}, v);  // the first line of a pair counts
            if (v.cutoff > max_cutoff_) max_cutoff_ = v.cutoff;
        }
        return true;
    }
    PairValues find(const std::string& c, int oc, const std::string& a, int oa) const {
        auto it = pairs_.find(PairKey{c, oc, a, oa});
        PairValues v = it == pairs_.end() ? PairValues{} : it->second;
        if (oc > 0 && oa < 0 && v.cn <= 0.01) {
            const char* ref = nullptr;
            int ref_os = 0;
            if (oa == -1 && (a == "Cl" || a == "Br" || a == "I")) ref = "F", ref_os = -1;
            if (oa == -2 && a == "S") ref = "O", ref_os = -2;
            if (ref != nullptr) {
                auto r = pairs_.find(PairKey{c, oc, ref, ref_os});
                if (r != pairs_.end() && r->second.cutoff > 0) v.cutoff = r->second.cutoff;
            }
        }
        return v;
    }
    double max_cutoff() const { return max_cutoff_; }
    // Whether some pair of the table has the element in this state (as cation or as anion).
    bool bonds(const std::string& type, int os) const {
        for (const auto& [key, v] : pairs_)
            if ((std::get<0>(key) == type && std::get<1>(key) == os) ||
                (std::get<2>(key) == type && std::get<3>(key) == os))
                return true;
        return false;
    }

private:
    std::map<PairKey, PairValues> pairs_;
    double max_cutoff_ = 0.0;
};

// A neighbour of a site's representative: atom index and distance of one periodic image.
struct Neighbour {
    int atom;
    double d;
};

// Sites (symmetry orbits) of the cell with the neighbour lists of their representatives.
struct SiteModel {
    std::vector<int> orbit_of;                  // per atom: site index
    std::vector<int> rep;                       // per site: representative atom
    std::vector<double> weight;                 // per site: occupancy times multiplicity
    std::vector<std::vector<Neighbour>> neighbour;
};

SiteModel build_sites(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, double rmax) {
    SiteModel m;
    auto& at = cell->atom;
    const std::size_t n = at.size();
    std::vector<long> saved(n);
    for (std::size_t i = 0; i < n; i++) saved[i] = at[i].flag;
    bool flagged = symmetry != nullptr && !symmetry->card.empty() &&
                   kelmar_cell_flag_site_by_symmetry(cell, symmetry) == 0;
    std::map<long, int> site_of_flag;
    m.orbit_of.resize(n);
    for (std::size_t i = 0; i < n; i++) {
        const long f = flagged ? at[i].flag : static_cast<long>(i + 1);
        auto it = site_of_flag.find(f);
        if (it == site_of_flag.end()) {
            it = site_of_flag.emplace(f, static_cast<int>(m.rep.size())).first;
            m.rep.push_back(static_cast<int>(i));
            m.weight.push_back(0.0);
        }
        m.orbit_of[i] = it->second;
    }
    for (std::size_t i = 0; i < n; i++) at[i].flag = saved[i];
    // weight: occupancy of the representative times the number of atoms of its site
    std::vector<int> multi(m.rep.size(), 0);
    for (int o : m.orbit_of) multi[static_cast<std::size_t>(o)]++;
    for (std::size_t s = 0; s < m.rep.size(); s++)
        m.weight[s] = at[static_cast<std::size_t>(m.rep[s])].occ * multi[s];

    // the neighbour lists reach as far as the bond-valence sums look
    double len[3];
    for (int k = 0; k < 3; k++)
        len[k] = std::sqrt(cell->a[k][0] * cell->a[k][0] + cell->a[k][1] * cell->a[k][1] + cell->a[k][2] * cell->a[k][2]);
    long range[3];
    if (!latimg::image_range_wide(range, len, cell->a, rmax, 2.0)) return SiteModel{};
    m.neighbour.resize(m.rep.size());
    for (std::size_t s = 0; s < m.rep.size(); s++) {
        const KELMAR_ATOM& c = at[static_cast<std::size_t>(m.rep[s])];
        latimg::for_each_neighbor(*cell, range, c.x, rmax, [&](long j, const latimg::Image&, const double*, double d2) {
            const double d = std::sqrt(d2);
            if (d >= kMinBondLength && d < rmax) m.neighbour[s].push_back({static_cast<int>(j), d});
        });
    }
    return m;
}

// Scores an assignment of states by the instability index of its bond-valence sums, computed as
// the bond-valence commands compute them (effective b, pair cutoffs, occupancy weights).
class Scorer {
public:
    Scorer(const KELMAR_CELL& cell, const SiteModel& sites, const BondTable& table)
        : cell_(cell), sites_(sites), table_(table) {}

    // The index, or a negative number when a cation-anion pair of the cell has no parameters.
    double gii(const std::vector<int>& os) {
        const auto& at = cell_.atom;
        const std::size_t n = at.size();
        // species of the assignment
        species_.clear();
        species_of_.assign(n, 0);
        for (std::size_t i = 0; i < n; i++) {
            int k = 0;
            for (; k < static_cast<int>(species_.size()); k++)
                if (species_[static_cast<std::size_t>(k)].second == os[i] &&
                    species_[static_cast<std::size_t>(k)].first == at[i].type)
                    break;
            if (k == static_cast<int>(species_.size())) species_.emplace_back(at[i].type, os[i]);
            species_of_[i] = k;
        }
        const std::size_t s = species_.size();
        pair_.assign(s * s, PairValues{});
        // anion occupancy per species, for the effective b
        std::vector<double> anion_occ(s, 0.0);
        double anion_total = 0.0;
        for (std::size_t i = 0; i < n; i++)
            if (os[i] < 0) {
                anion_occ[static_cast<std::size_t>(species_of_[i])] += at[i].occ;
                anion_total += at[i].occ;
            }
        for (std::size_t c = 0; c < s; c++) {
            if (species_[c].second <= 0) continue;
            if (!(anion_total > 0)) return -1.0;
            double bbar = 0.0;
            for (std::size_t a = 0; a < s; a++) {
                if (species_[a].second >= 0) continue;
                PairValues v = table_.find(species_[c].first, species_[c].second, species_[a].first,
                                           species_[a].second);
                if (!(v.r0 > 0 && v.b > 0 && v.cutoff > 0)) return -1.0;
                bbar += anion_occ[a] * v.b;
                pair_[c * s + a] = v;
            }
            bbar /= anion_total;
            for (std::size_t a = 0; a < s; a++)
                if (species_[a].second < 0) {
                    PairValues& v = pair_[c * s + a];
                    v.b = (1.0 - 2.0 / 3.0) * v.b + (2.0 / 3.0) * bbar;
                }
        }
        double num = 0.0, den = 0.0;
        for (std::size_t site = 0; site < sites_.rep.size(); site++) {
            const int r = sites_.rep[site];
            const int osr = os[static_cast<std::size_t>(r)];
            const std::size_t sr = static_cast<std::size_t>(species_of_[static_cast<std::size_t>(r)]);
            double sum = 0.0;
            for (const Neighbour& nb : sites_.neighbour[site]) {
                const int osn = os[static_cast<std::size_t>(nb.atom)];
                const std::size_t sn = static_cast<std::size_t>(species_of_[static_cast<std::size_t>(nb.atom)]);
                const PairValues* v = nullptr;
                if (osr > 0 && osn < 0) v = &pair_[sr * s + sn];
                else if (osr < 0 && osn > 0) v = &pair_[sn * s + sr];
                else continue;
                if (v->cutoff <= kMinBondLength || !(nb.d < v->cutoff)) continue;
                const double bv = at[static_cast<std::size_t>(nb.atom)].occ * std::exp((v->r0 - nb.d) / v->b);
                sum += osr < 0 ? -bv : bv;
            }
            const double w = sites_.weight[site];
            num += w * (sum - osr) * (sum - osr);
            den += w;
        }
        if (!(den > 0)) return -1.0;
        return std::sqrt(num / den);
    }

private:
    const KELMAR_CELL& cell_;
    const SiteModel& sites_;
    const BondTable& table_;
    std::vector<std::pair<std::string, int>> species_;
    std::vector<int> species_of_;
    std::vector<PairValues> pair_;
};

// A free element: its type and the states to try (the reader's default first).
struct FreeElement {
    std::string type;
    std::vector<int> states;
};

// A unit of the search: the atoms that take one state together.
struct Unit {
    int element;
    std::vector<int> atoms;
    double n = 0.0;            // total occupancy
    std::vector<char> allowed;  // per state of the element: whether every atom's bonds allow it
};

struct Leaf {
    std::vector<int> choice;  // per unit: index into its element's states
    double fraction;          // imbalance over cation charge
    int changes;              // units away from their defaults
};

// Depth-first enumeration of the charge-balanced assignments, pruned by the charge that the
// remaining units can still bring, and capped.
class BalanceSearch {
public:
    BalanceSearch(const std::vector<Unit>& units, const std::vector<FreeElement>& elements, double q_fixed,
                  double p_fixed, std::size_t score_cap)
        : units_(units), elements_(elements), q_fixed_(q_fixed), p_fixed_(p_fixed), score_cap_(score_cap) {
        const std::size_t u = units.size();
        lo_.assign(u + 1, 0.0);
        hi_.assign(u + 1, 0.0);
        p_hi_ = p_fixed;
        for (std::size_t k = u; k-- > 0;) {
            const auto& st = elements[static_cast<std::size_t>(units[k].element)].states;
            double mn = st[0], mx = st[0];
            for (std::size_t c = 0; c < st.size(); c++)
                if (units[k].allowed[c]) mn = std::min<double>(mn, st[c]), mx = std::max<double>(mx, st[c]);
            lo_[k] = lo_[k + 1] + units[k].n * mn;
            hi_[k] = hi_[k + 1] + units[k].n * mx;
            p_hi_ += units[k].n * std::max(0.0, mx);
        }
        choice_.assign(u, 0);
    }

    void run() { visit(0, q_fixed_, p_fixed_, 0); }
    const std::vector<Leaf>& leaves() const { return leaves_; }
    bool capped() const { return capped_; }

private:
    void visit(std::size_t k, double q, double p, int changes) {
        if (capped_) return;
        if (++nodes_ > kOxidationSearchNodeCap) {
            capped_ = true;
            return;
        }
        const double slack = kLooseBalance * p_hi_ + 1e-9;
        if (q + lo_[k] > slack || q + hi_[k] < -slack) return;
        if (k == units_.size()) {
            const double frac = p > 0 ? std::fabs(q) / p : (q == 0 ? 0.0 : std::numeric_limits<double>::infinity());
            if (frac <= kLooseBalance + 1e-12) {
                leaves_.push_back({choice_, frac, changes});
                if (leaves_.size() >= score_cap_) capped_ = true;
            }
            return;
        }
        const Unit& u = units_[k];
        const auto& st = elements_[static_cast<std::size_t>(u.element)].states;
        for (std::size_t c = 0; c < st.size() && !capped_; c++) {
            if (!u.allowed[c]) continue;
            choice_[k] = static_cast<int>(c);
            visit(k + 1, q + u.n * st[c], p + u.n * std::max(0, st[c]), changes + (c == 0 ? 0 : 1));
        }
        choice_[k] = 0;
    }

    const std::vector<Unit>& units_;
    const std::vector<FreeElement>& elements_;
    double q_fixed_, p_fixed_, p_hi_ = 0.0;
    std::size_t score_cap_;
    std::vector<double> lo_, hi_;
    std::vector<int> choice_;
    std::vector<Leaf> leaves_;
    long nodes_ = 0;
    bool capped_ = false;
};

// How uncommon an assignment's states are: the rarities of its distinct element states, summed.
double assignment_rarity(const std::vector<Unit>& units, const std::vector<FreeElement>& elements,
                       const std::vector<int>& choice) {
    std::vector<std::pair<int, int>> seen;
    double rarity = 0.0;
    for (std::size_t k = 0; k < units.size(); k++) {
        const FreeElement& e = elements[static_cast<std::size_t>(units[k].element)];
        const int os = e.states[static_cast<std::size_t>(choice[k])];
        const std::pair<int, int> key{units[k].element, os};
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        rarity += oxidation_state_rarity(e.type, os);
    }
    return rarity;
}

// The assignment to keep among the balanced ones: the smallest charge imbalance first (imbalances
// within kBalanceTie of the smallest count as equal), then the fewest states that are not common,
// then the best bond-valence fit (an assignment whose sums can be computed before one whose sums
// cannot), then the fewest changes from the defaults. need_fit keeps only assignments whose sums
// can be computed. Returns leaves.size() when none qualifies.
std::size_t rank_assignments(const std::vector<Leaf>& leaves, const std::vector<double>& gii,
                             const std::vector<double>& uncommon, bool need_fit) {
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t l = 0; l < leaves.size(); l++)
        if (!need_fit || gii[l] >= 0) least = std::min(least, leaves[l].fraction);
    std::size_t best = leaves.size();
    for (std::size_t l = 0; l < leaves.size(); l++) {
        if ((need_fit && gii[l] < 0) || leaves[l].fraction > least + kBalanceTie) continue;
        if (best == leaves.size()) {
            best = l;
            continue;
        }
        if (std::fabs(uncommon[l] - uncommon[best]) > 1e-9) {
            if (uncommon[l] < uncommon[best]) best = l;
            continue;
        }
        const bool fit_l = gii[l] >= 0, fit_b = gii[best] >= 0;
        if (fit_l != fit_b) {
            if (fit_l) best = l;
            continue;
        }
        if (fit_l && std::fabs(gii[l] - gii[best]) > 1e-9) {
            if (gii[l] < gii[best]) best = l;
            continue;
        }
        if (leaves[l].changes < leaves[best].changes) best = l;
    }
    return best;
}

std::string signed_state(int os) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%+d", os);
    return buf;
}

}  // namespace

OxidationStateOutcome settle_oxidation_states(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                              const char* dir_unitary, const char* dir_binary) {
    OxidationStateOutcome out;
    if (cell == nullptr || cell->atom.empty()) return out;
    auto& at = cell->atom;
    const std::size_t n = at.size();

    // elements whose states the file leaves out; an element the data file does not know keeps
    // its unknown state and is reported where parameters are assembled
    std::vector<FreeElement> elements;
    std::vector<int> element_of(n, -1);
    for (std::size_t i = 0; i < n; i++) {
        if (at[i].os == KELMAR_OS_UNKNOWN) return out;
        if (!at[i].os_default) continue;
        int e = 0;
        for (; e < static_cast<int>(elements.size()); e++)
            if (elements[static_cast<std::size_t>(e)].type == at[i].type) break;
        if (e == static_cast<int>(elements.size())) elements.push_back({at[i].type, {at[i].os}});
        element_of[i] = e;
    }
    if (elements.empty()) return out;

    std::vector<std::string> unitary;
    BondTable table;
    if (!read_data_block(dir_unitary, unitary) || !table.load(dir_binary)) return out;
    for (auto& e : elements) {
        for (const auto& l : unitary) {
            char symbol[64];
            int os = 0;
            if (std::sscanf(l.c_str(), "%*d %63s %d", symbol, &os) != 2) continue;
            // a state without any bond-valence pair could never be judged (O+6 has none)
            if (e.type == symbol && os != 0 && std::find(e.states.begin(), e.states.end(), os) == e.states.end() &&
                table.bonds(e.type, os))
                e.states.push_back(os);
        }
    }

    double q_fixed = 0.0, p_fixed = 0.0;
    for (std::size_t i = 0; i < n; i++)
        if (element_of[i] < 0) {
            q_fixed += at[i].occ * at[i].os;
            if (at[i].os > 0) p_fixed += at[i].occ * at[i].os;
        }

    // a cell too small for lattice sums is refused where sums are made; nothing to judge here
    for (int k = 0; k < 3; k++) {
        const double len = std::sqrt(cell->a[k][0] * cell->a[k][0] + cell->a[k][1] * cell->a[k][1] +
                                     cell->a[k][2] * cell->a[k][2]);
        if (!(len > 0.5)) return out;
    }
    const SiteModel sites = build_sites(cell, symmetry, table.max_cutoff());
    if (sites.rep.empty()) return out;
    Scorer scorer(*cell, sites, table);
    // per site and state of its element: whether the bonds of the site's atom allow the state
    // (the default state always is)
    std::vector<std::vector<char>> site_allows(sites.rep.size());
    {
        std::vector<BondedNeighbour> around;
        for (std::size_t site = 0; site < sites.rep.size(); site++) {
            const std::size_t r = static_cast<std::size_t>(sites.rep[site]);
            if (element_of[r] < 0) continue;
            around.clear();
            for (const Neighbour& nb : sites.neighbour[site])
                around.push_back({at[static_cast<std::size_t>(nb.atom)].type, nb.d});
            const auto& st = elements[static_cast<std::size_t>(element_of[r])].states;
            auto& allow = site_allows[site];
            allow.assign(st.size(), 1);
            for (std::size_t c = 1; c < st.size(); c++) allow[c] = state_allowed_by_bonds(at[r].type, st[c], around);
        }
    }
    std::vector<int> os(n);
    for (std::size_t i = 0; i < n; i++) os[i] = at[i].os;

    // scoring costs one pass over the neighbour lists: large cells score fewer assignments
    std::size_t pairs = 1;
    for (const auto& nb : sites.neighbour) pairs += nb.size();
    const std::size_t score_cap = std::clamp<std::size_t>(static_cast<std::size_t>(2e8 / static_cast<double>(pairs)),
                                                           50, kOxidationSearchScoreCap);
    const CellChargeBalance start = cell_charge_balance(cell);
    double gii_default = scorer.gii(os);
    out.gii = gii_default;
    // defaults that balance, are each element's most common candidate and fit their bond
    // valences: nothing ranks higher
    bool defaults_common = true;
    for (const FreeElement& e : elements)
        for (int os : e.states)
            defaults_common = defaults_common && oxidation_state_rarity(e.type, e.states[0]) <=
                                                     oxidation_state_rarity(e.type, os) + 1e-12;
    if (start.fraction() <= kBalanceTie && defaults_common && gii_default >= 0 && gii_default <= kPlausibleGii)
        return out;

    // units: one per element, then one per element and site
    auto make_units = [&](bool per_site) {
        std::vector<Unit> units;
        std::map<std::pair<int, int>, std::size_t> index;
        for (std::size_t i = 0; i < n; i++) {
            if (element_of[i] < 0) continue;
            const std::pair<int, int> key{element_of[i], per_site ? sites.orbit_of[i] : -1};
            auto it = index.find(key);
            if (it == index.end()) {
                it = index.emplace(key, units.size()).first;
                const std::size_t states = elements[static_cast<std::size_t>(element_of[i])].states.size();
                units.push_back({element_of[i], {}, 0.0, std::vector<char>(states, 1)});
            }
            Unit& u = units[it->second];
            u.atoms.push_back(static_cast<int>(i));
            u.n += at[i].occ;
            const std::size_t site = static_cast<std::size_t>(sites.orbit_of[i]);
            const auto& st = elements[static_cast<std::size_t>(element_of[i])].states;
            const bool same = element_of[static_cast<std::size_t>(sites.rep[site])] == element_of[i];
            for (std::size_t c = 1; c < u.allowed.size(); c++) {
                // an atom whose site stands for another element has no neighbour list of its own
                const bool ok = same ? site_allows[site][c] != 0 : state_allowed_by_bonds(at[i].type, st[c], {});
                u.allowed[c] = u.allowed[c] && ok;
            }
        }
        // heaviest units first: the charge bound prunes earlier
        std::stable_sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) { return a.n > b.n; });
        return units;
    };
    auto apply = [&](const std::vector<Unit>& units, const std::vector<int>& choice) {
        for (std::size_t k = 0; k < units.size(); k++)
            for (int i : units[k].atoms)
                os[static_cast<std::size_t>(i)] =
                    elements[static_cast<std::size_t>(units[k].element)].states[static_cast<std::size_t>(choice[k])];
    };

    const Leaf* best = nullptr;
    double best_gii = -1.0;
    std::vector<Unit> units;
    std::vector<Leaf> leaves;
    int passes = 1;
    {
        bool element_has_more_sites = false;
        std::vector<int> first_site(elements.size(), -1);
        for (std::size_t i = 0; i < n; i++) {
            const int e = element_of[i];
            if (e < 0) continue;
            int& f = first_site[static_cast<std::size_t>(e)];
            if (f < 0) f = sites.orbit_of[i];
            else if (f != sites.orbit_of[i]) element_has_more_sites = true;
        }
        if (element_has_more_sites) passes = 2;
    }
    for (int pass = 0; pass < passes && best == nullptr; pass++) {
        units = make_units(pass == 1);
        BalanceSearch search(units, elements, q_fixed, p_fixed, score_cap);
        search.run();
        leaves = search.leaves();
        if (leaves.empty()) continue;
        std::vector<double> score(leaves.size());
        std::vector<double> rarity(leaves.size());
        for (std::size_t l = 0; l < leaves.size(); l++) {
            apply(units, leaves[l].choice);
            score[l] = scorer.gii(os);
            rarity[l] = assignment_rarity(units, elements, leaves[l].choice);
        }
        const std::size_t pick = rank_assignments(leaves, score, rarity, pass == 1);
        if (pick < leaves.size()) {
            best = &leaves[pick];
            best_gii = score[pick];
        }
    }

    if (best == nullptr) {
        // name the composition and the states tried
        std::map<std::string, double> count;
        for (const auto& a : at) count[a.type] += a.occ;
        std::string comp;
        for (const auto& [type, c] : count) {
            char buf[64];
            std::snprintf(buf, sizeof(buf), "%s%s%.4g", comp.empty() ? "" : " ", type.c_str(), c);
            comp += buf;
        }
        std::string tried;
        for (const auto& e : elements) {
            if (!tried.empty()) tried += "; ";
            tried += e.type;
            for (int s : e.states) {
                tried += ' ';
                tried += signed_state(s);
            }
        }
        out.balanced = false;
        out.failure = "no charge-neutral oxidation states for " + comp + " (tried " + tried + ")";
        return out;
    }

    std::vector<int> choice = best->choice;
    int changes = best->changes;
    // The capped enumeration may stop short of the best assignment when many units take
    // different states (mixed valence in a cell given without symmetry): two units of one element
    // and equal weight may trade states, or move them apart or together, at the same total
    // charge; keep every such move that lowers the index, within a budget of scorings.
    if (best_gii >= 0) {
        long budget = static_cast<long>(2e8 / static_cast<double>(pairs)) + 20;
        double best_rarity = assignment_rarity(units, elements, choice);
        bool improved = true;
        while (improved && budget > 0) {
            improved = false;
            for (std::size_t u = 0; u < units.size() && budget > 0; u++)
                for (std::size_t v = u + 1; v < units.size() && budget > 0; v++) {
                    if (units[u].element != units[v].element || std::fabs(units[u].n - units[v].n) > 1e-9) continue;
                    const auto& st = elements[static_cast<std::size_t>(units[u].element)].states;
                    const int sum = st[static_cast<std::size_t>(choice[u])] + st[static_cast<std::size_t>(choice[v])];
                    for (std::size_t a = 0; a < st.size() && budget > 0; a++) {
                        const auto b = std::find(st.begin(), st.end(), sum - st[a]);
                        if (b == st.end()) continue;
                        const int cu = static_cast<int>(a), cv = static_cast<int>(b - st.begin());
                        if (cu == choice[u] && cv == choice[v]) continue;
                        if (!units[u].allowed[a] || !units[v].allowed[static_cast<std::size_t>(cv)]) continue;
                        const int old_u = choice[u], old_v = choice[v];
                        choice[u] = cu, choice[v] = cv;
                        apply(units, choice);
                        const double g = scorer.gii(os);
                        budget--;
                        const double u_new = assignment_rarity(units, elements, choice);
                        if (g >= 0 && g < best_gii - 1e-9 && u_new <= best_rarity + 1e-9) {
                            best_gii = g;
                            best_rarity = u_new;
                            improved = true;
                        } else {
                            choice[u] = old_u, choice[v] = old_v;
                        }
                    }
                }
        }
        changes = 0;
        for (int c : choice) changes += c == 0 ? 0 : 1;
    }
    apply(units, choice);
    out.gii = best_gii;
    if (changes == 0) return out;
    for (std::size_t i = 0; i < n; i++) at[i].os = os[i];
    // the states chosen per element, in element order
    std::map<std::string, std::vector<int>> chosen;
    for (std::size_t i = 0; i < n; i++)
        if (element_of[i] >= 0) {
            auto& v = chosen[at[i].type];
            if (std::find(v.begin(), v.end(), at[i].os) == v.end()) v.push_back(at[i].os);
        }
    std::string list;
    for (auto& [type, v] : chosen) {
        std::sort(v.begin(), v.end());
        for (int s : v) {
            if (!list.empty()) list += ' ';
            list += type;
            list += signed_state(s);
        }
    }
    out.inferred = true;
    out.message = std::string(best_gii >= 0 ? "oxidation states from bond valence: "
                                            : "oxidation states from charge balance: ") +
                  list;
    kelmar_atom_sort(at);
    kelmar_cell_update_name(cell);
    return out;
}

bool settle_states_for_command(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* dir_unitary,
                               const char* dir_binary, bool need_neutral, const char* mobile) {
    if (cell == nullptr) return false;
    const OxidationStateOutcome o = settle_oxidation_states(cell, symmetry, dir_unitary, dir_binary);
    if (o.inferred) std::printf("Message: %s\n", o.message.c_str());
    bool mobile_present = mobile == nullptr || mobile[0] == '\0';
    for (const auto& a : cell->atom) mobile_present = mobile_present || std::strncmp(a.type, mobile, 2) == 0;
    const CellChargeBalance q = cell_charge_balance(cell);
    const double f = q.fraction();
    const bool balanced = o.balanced && f <= kLooseBalance + 1e-12;
    if (balanced) {
        if (f > kTightBalance)
            std::printf("Warning: total charge of the cell is %f, %.1f%% of the cation charge; the charges are "
                        "rescaled to neutrality.\n",
                        q.total, 100.0 * f);
        return true;
    }
    const char* prefix = need_neutral ? "Error" : "Warning";
    FILE* stream = need_neutral ? stderr : stdout;
    if (!mobile_present) std::fprintf(stream, "%s: no %s in the structure.\n", prefix, mobile);
    else if (!o.balanced) std::fprintf(stream, "%s: %s.\n", prefix, o.failure.c_str());
    else std::fprintf(stream, "%s: total charge of the cell is not neutral: %f\n", prefix, q.total);
    return !need_neutral;
}
