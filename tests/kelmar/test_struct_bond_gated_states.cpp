// States that only bonds show: a hydride H, a phosphide P, P+4 beside a P-P bond and the peroxide
// O-1 are chosen where the structure has those bonds and never where charge alone would allow them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bond-gated-states.hpp"
#include "cli.hpp"

TEST(StructBondGatedStates, RulesByNeighbours) {
    const struct {
        const char* type;
        int os;
        std::vector<BondedNeighbour> around;
        bool allowed;
    } cases[] = {
        {"O", -1, {{"O", 1.49}, {"Li", 1.96}}, true},   // peroxide O-O
        {"O", -1, {{"O", 2.80}, {"Li", 1.96}}, false},  // oxide ions apart
        {"O", -1, {{"O", 0.60}}, false},                // split site, no bond
        {"O", -2, {{"O", 1.49}}, true},                 // states without a rule pass
        {"P", 4, {{"P", 2.20}, {"S", 2.03}}, true},     // P2S6
        {"P", 4, {{"S", 2.03}}, false},                 // PS4
        {"P", -3, {{"Li", 2.47}, {"Li", 2.53}}, true},  // Li3P
        {"P", -3, {{"S", 2.05}, {"Li", 2.50}}, false},  // thiophosphate
        {"H", -1, {{"B", 1.22}, {"Li", 2.0}}, true},    // BH4
        {"H", -1, {{"Al", 1.60}}, true},                // AlH4
        {"H", -1, {{"O", 0.97}, {"Li", 2.0}}, false},   // hydroxide
        {"H", -1, {{"N", 1.02}}, false},                // amide
        {"D", -1, {{"Al", 1.60}}, true},                // deuteride of a neutron refinement
        {"D", -1, {{"O", 0.97}}, false},                // heavy water
        {"H", 1, {{"B", 1.22}}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(state_allowed_by_bonds(c.type, c.os, c.around), c.allowed)
            << c.type << c.os << " near " << c.around[0].type << " " << c.around[0].d;
}

// The same compositions with and without the bond: charge balance needs the gated state, and
// kelmar.x takes it only where the bond is there.
TEST(StructBondGatedStates, ChargeBalanceAloneNeverChoosesThem) {
    const std::string head =
        "data_x\n_cell_length_a %A\n_cell_length_b %A\n_cell_length_c %A\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\nloop_\n"
        "_symmetry_equiv_pos_as_xyz\n'x,y,z'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
        "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n";
    const struct {
        const char* a;
        const char* atoms;
        const char* line;  // expected in the output of --cal-charge
    } cases[] = {
        // Li3OH: H 3.5 A from O is a hydride; 0.96 A from O it is the H of a hydroxide
        {"4", "O1 O 0.5 0.5 0.5 1\nH1 H 0 0 0 1\nLi1 Li 0.5 0.5 0 1\nLi2 Li 0.5 0 0.5 1\nLi3 Li 0 0.5 0.5 1\n",
         "Message: oxidation states from bond valence: H-1 Li+1 O-2\n"},
        {"4", "O1 O 0.5 0.5 0.5 1\nH1 H 0.5 0.5 0.74 1\nLi1 Li 0 0 0 1\nLi2 Li 0.5 0 0 1\nLi3 Li 0 0.5 0 1\n",
         "Warning: no charge-neutral oxidation states for H1 Li3 O1 (tried H +1 -1; Li +1; O -2 -1).\n"},
        // Li2O2: an O-O bond of 1.52 A makes the peroxide, O 2.8 A apart stay oxide ions
        {"4", "O1 O 0.5 0.5 0.31 1\nO2 O 0.5 0.5 0.69 1\nLi1 Li 0 0 0 1\nLi2 Li 0 0 0.5 1\n",
         "Message: oxidation states from bond valence: Li+1 O-1\n"},
        {"4", "O1 O 0.5 0 0.5 1\nO2 O 0 0.5 0.5 1\nLi1 Li 0 0 0 1\nLi2 Li 0.5 0.5 0 1\n",
         "Warning: no charge-neutral oxidation states for Li2 O2 (tried Li +1; O -2 -1).\n"},
        // Li2PS3: P+4 with a P-P bond of 2.2 A (P2S6), not in isolated PS3 groups
        {"6",
         "P1 P 0.5 0.5 0.3167 1\nP2 P 0.5 0.5 0.6833 1\nS1 S 0.85 0.5 0.25 1\nS2 S 0.15 0.5 0.25 1\n"
         "S3 S 0.5 0.85 0.25 1\nS4 S 0.85 0.5 0.75 1\nS5 S 0.15 0.5 0.75 1\nS6 S 0.5 0.15 0.75 1\n"
         "Li1 Li 0 0 0 1\nLi2 Li 0 0 0.5 1\nLi3 Li 0.5 0 0 1\nLi4 Li 0 0.5 0 1\n",
         "Message: oxidation states from bond valence: Li+1 P+4 S-2\n"},
        {"6",
         "P1 P 0.5 0.5 0.5 1\nS1 S 0.85 0.5 0.5 1\nS2 S 0.5 0.85 0.5 1\nS3 S 0.5 0.5 0.85 1\n"
         "Li1 Li 0 0 0 1\nLi2 Li 0.2 0.2 0.0 1\n",
         "Warning: no charge-neutral oxidation states for Li2 P1 S3 (tried Li +1; P +5 +3 +4 -3; S -2 +6 +4).\n"},
    };
    for (const auto& c : cases) {
        testcli::ScratchDir d;
        std::string cif = head;
        for (std::size_t at; (at = cif.find("%A")) != std::string::npos;) cif.replace(at, 2, c.a);
        testcli::spit(d / "x.cif", cif + c.atoms);
        const auto r = testcli::run(KELMAR_EXE, "--cal-charge x.cif", d.path());
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.atoms << "\n" << r.out << r.err;
    }
}

// An amine-borane beside LiF: the H on B is hydridic, the H on N protic. Neither state for every H
// balances the cell; one state per site does, and the bonds say which site takes which.
TEST(StructBondGatedStates, HydridicAndProticHydrogenInOneCell) {
    const std::string cif =
        "data_x\n_cell_length_a 6\n_cell_length_b 6\n_cell_length_c 6\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\nloop_\n"
        "_symmetry_equiv_pos_as_xyz\n'x,y,z'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
        "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n"
        "N1 N 0.00000 0.00000 0.00000 1\n"
        "B1 B 0.00000 0.00000 0.26333 1\n"
        "HN0 H 0.15833 0.00000 0.94500 1\n"
        "HB0 H 0.10356 0.16128 0.32667 1\n"
        "HN1 H 0.92083 0.13712 0.94500 1\n"
        "HB1 H 0.80855 0.00904 0.32667 1\n"
        "HN2 H 0.92083 0.86288 0.94500 1\n"
        "HB2 H 0.08790 0.82968 0.32667 1\n"
        "Li1 Li 0.50000 0.50000 0.50000 1\n"
        "Li2 Li 0.50000 0.00000 0.50000 1\n"
        "F1 F 0.00000 0.50000 0.50000 1\n"
        "F2 F 0.50000 0.50000 0.08333 1\n";
    testcli::ScratchDir d;
    testcli::spit(d / "x.cif", cif);
    const auto r = testcli::run(KELMAR_EXE, "--gen-cif x.cif out.cif", d.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: oxidation states from bond valence: B+3 F-1 H-1 H+1 Li+1 N-3\n"), std::string::npos)
        << r.out;
    const std::string out = testcli::slurp(d / "out.cif");
    for (const char* site : {"HB0  H1-", "HB1  H1-", "HB2  H1-", "HN0  H1+", "HN1  H1+", "HN2  H1+"})
        EXPECT_NE(out.find(site), std::string::npos) << site << "\n" << out;
}
