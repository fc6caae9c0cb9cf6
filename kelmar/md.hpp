// Langevin molecular dynamics of the mobile ions of a structure in the field of a fixed host.
//
// Only the atoms of the conducting species that the CIF does not fix move; every other atom is
// marked `ignored` in the record's cell and stays where the structure puts it. The pair terms are
// those of the force field (screened Coulomb between like charges within 12 A, Morse bonding
// between cation and anion within the pair cutoff); the forces come from a Verlet list of the
// images within reach (md-force.hpp), the energy, virial and the reference forces from a plain
// double sum. Units: A, ps, eV, A/ps, eV/A, masses in eV ps^2/A^2 (amu x 0.000103642699), K.
//
//   md-force.cpp   neighbour list, forces, potential energy and virial
//   md.cpp         record, initial velocities, integrator, observables, results
//   md-log.cpp     listings and the three logs
//   md-run.cpp     the two phases and the --md pipeline
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kelmar.hpp"
#include "md-force.hpp"

struct KELMAR_PROPERTY;

// Boltzmann constant in eV/K and the mass unit used by the dynamics.
inline constexpr double KELMAR_MD_KB = 8.6173324e-5;
inline constexpr double KELMAR_MD_AMU = 0.000103642699;
// No phase runs more steps than this; longer runs are refused before they start.
inline constexpr double KELMAR_MD_MAX_STEPS = 1e8;

struct MdFileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using MdFile = std::unique_ptr<std::FILE, MdFileCloser>;
using MdVec = std::vector<std::array<double, 3>>;

struct KELMAR_MD {
    std::unique_ptr<KELMAR_CELL> cell;    // own copy; `ignored` marks the fixed atoms; wrapped positions
    std::unique_ptr<KELMAR_PROPERTY> ppt; // own copy
    RandomEngine* random = nullptr;       // the run's engine (borrowed): velocities and noise
    std::vector<double> m;                // masses, one per atom
    MdVec x;     // current positions, not wrapped
    MdVec x0;    // reference positions at the start of production
    MdVec x_p1;  // scratch: new positions, then the previous ones
    MdVec v;     // velocities
    MdVec v_nh;  // half-step velocities
    MdVec f;     // forces, eV/A
    MdVec r;     // standard normal deviates of the current half step
    double x_com[3] = {0.0, 0.0, 0.0};  // centre of mass of the mobile atoms at the start
    double en_k = 0.0, en_p = 0.0, en = 0.0;
    double volume = 0.0;
    double pressure = 0.0;  // eV/A^3
    long step = 0;
    double t = 0.0;
    double temperature = 0.0;
    double en_ave = 0.0, en_k_ave = 0.0, en_p_ave = 0.0, temperature_ave = 0.0, pressure_ave = 0.0;
    double t_equil = 0.0, t_end = 0.0, dt = 0.0, zeta = 0.0;
    double temperature_target = 0.0, temperature_init = 0.0;
    double displacement = 0.0, diffusivity = 0.0, mobility = 0.0, conductivity = 0.0;
    double t_log = 0.0;
    long step_log = 0;
    std::string logname, xyzname, trjname;
    MdFile log, xyz, trj;

    // --- bookkeeping of this implementation ---
    std::vector<long> mobile;    // indices of the atoms that move, in atom order
    std::vector<long> slot;      // per atom: its place in mobile, or -1
    std::vector<int> species;    // species index of every atom
    mdforce::ForceField field;   // pair rules of the species
    mdforce::NeighbourList list; // listed images for the forces
    double inv_a[3][3] = {};     // fractional = inv_a applied to Cartesian
    double t_averaged = 0.0;     // time of the last sample taken into the averages
    double virial = 0.0;         // sum of F d over the pairs of the last energy, eV
    long virial_step = -1;       // step of that sum
    bool virial_valid = false;
    bool initialised = false;
    bool progress = false;       // draw the phases' progress bars (the --md chain: on a terminal only)
};

// Record with copies of cell and parameters and zeroed arrays, drawing from engine (which must
// outlive it); null after a message.
std::unique_ptr<KELMAR_MD> kelmar_md_new(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, RandomEngine& engine);
void kelmar_md_free(std::unique_ptr<KELMAR_MD>& md);

// Defaults, logs, masses, forces, initial velocities and observables. 0 or 1 after a message.
int kelmar_md_init_vv(KELMAR_MD* md);
int kelmar_md_update_vv_langevin(KELMAR_MD* md);
int kelmar_md_update_vv(KELMAR_MD* md);

int kelmar_md_calculate_force(KELMAR_MD* md);
int kelmar_md_calculate_energy(KELMAR_MD* md);
int kelmar_md_calculate_energy_potential(KELMAR_MD* md);
int kelmar_md_calculate_energy_kinetic(KELMAR_MD* md);
int kelmar_md_calculate_temperature(KELMAR_MD* md);
int kelmar_md_calculate_pressure(KELMAR_MD* md);
int kelmar_md_calculate_average(KELMAR_MD* md);
int kelmar_md_calculate_conduction_property(KELMAR_MD* md);

// Integrator pieces over the mobile atoms: out = x + v dt; out = v + dt/2 f/m;
// Maxwell-Boltzmann velocities at temperature_init with zero total momentum;
// out = v + dt/2 (f/m - zeta v) + sqrt(dt kB T zeta / m) r.
int kelmar_md_calculate_x_vv(MdVec& out, const MdVec& x, const MdVec& v, const KELMAR_MD* md);
int kelmar_md_calculate_v_vv(MdVec& out, const MdVec& v, const MdVec& f, const KELMAR_MD* md);
int kelmar_md_calculate_vi_vv(MdVec& v, const KELMAR_MD* md);
int kelmar_md_calculate_v_vv_langevin(MdVec& out, const MdVec& v, const MdVec& f, const MdVec& r,
                                      const KELMAR_MD* md);

// Energy, temperature and pressure of the current state, with the error line of the one that fails.
int md_refresh_observables(KELMAR_MD* md);
// What the pair sums of md-force.hpp read about the record.
mdforce::Frame md_force_frame(const KELMAR_MD* md);
