// kelmar.x landscape commands end to end: output names, defaults and flags, the cube file they
// write, --print-cube, and refused input. Grids are coarse (resolution 1 A or more) to stay quick.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli.hpp"

namespace {

namespace fs = std::filesystem;
using testcli::run;
using testcli::ScratchDir;
using testcli::slurp;
using testcli::spit;

const std::string exe = KELMAR_EXE;
const fs::path samples = fs::path(TEST_DATA_DIR) / "samples";
const fs::path electrolytes = fs::path(TEST_DATA_DIR) / "electrolytes";

// The n-th line of a CR LF file, without its line end.
std::string line_of(const std::string& text, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) {
        pos = text.find("\r\n", pos);
        if (pos == std::string::npos) return "";
        pos += 2;
    }
    const std::size_t end = text.find("\r\n", pos);
    return text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

const char* const small_cif =
    "data_test\n"
    "_cell_length_a 5.0\n_cell_length_b 5.0\n_cell_length_c 5.0\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
    "_symmetry_space_group_name_H-M 'P 1'\n"
    "loop_\n_symmetry_equiv_pos_as_xyz\n'x, y, z'\n"
    "loop_\n_atom_type_symbol\n_atom_type_oxidation_number\n%TYPES%"
    "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
    "_atom_site_fract_z\n_atom_site_occupancy\n%SITES%";

std::string cif_with(const std::string& types, const std::string& sites) {
    std::string s = small_cif;
    s.replace(s.find("%TYPES%"), 7, types);
    s.replace(s.find("%SITES%"), 7, sites);
    return s;
}

TEST(CubeCli, UsageTexts) {
    ScratchDir dir;
    const char* words[] = {"--gen-cube", "--gen-cube-gii", "--gen-cube-tot", "--gen-cube-tot-eam"};
    for (const char* w : words) {
        auto r = run(exe, std::string(w) + " only.cif Li", dir.path());
        EXPECT_EQ(r.status, 1) << w;  // some but not all compulsory arguments
        const std::string first = std::string("Command: ") + w +
                                  " [input.cif] [type] [os] | {sf} {resolution} {flag:ignore_conducting_ion} "
                                  "{flag:periodic} {flag:skip_mix_occ} {output_name}\n\n";
        EXPECT_EQ(r.out.substr(0, first.size()), first) << w;
        EXPECT_NE(r.out.find(std::string("Example: ./kelmar.x ") + w + " "), std::string::npos);
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
    auto r = run(exe, "--print-cube", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 54), "Command: --print-cube [input.cube] | {flag:periodic}\n\n");
}

TEST(CubeCli, GenCubeWritesNamedCubeWithHeader) {
    ScratchDir dir;
    dir.add(samples / "Li2O.cif", "x.cif");
    auto r = run(exe, "--gen-cube x.cif Li 1 0.75 1.0", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Message: ignoring all Li1+ ions during cube generation.\n"), std::string::npos);
    EXPECT_NE(r.out.find("Message: cube has been generated successfully.\n"), std::string::npos);
    EXPECT_NE(r.out.find("Message: cube file saved to x.cube.\n"), std::string::npos);
    ASSERT_TRUE(fs::exists(dir / "x.cube"));
    EXPECT_FALSE(fs::exists(dir / "x_assigned.cif"));  // no shared Li sites in Li2O
    const std::string cube = slurp(dir / "x.cube");
    EXPECT_EQ(line_of(cube, 0), "Li1+:8.000 O2-:4.000 ");
    EXPECT_EQ(line_of(cube, 1), "Conducting = Li1+ ; sf = 0.750000;");
    EXPECT_EQ(line_of(cube, 2), "  12    0.000000    0.000000    0.000000");
    EXPECT_EQ(line_of(cube, 3).substr(0, 4), "  24");  // 4.66 A at 1 A: one block of 24
    EXPECT_EQ(line_of(cube, 6).substr(0, 16), "   3    0.840896");  // Li: atomic number, fractional charge
    std::size_t lines = 0;
    for (char c : cube) lines += c == '\n';
    EXPECT_EQ(lines, 6u + 12u + 24u * 24u * 24u);

    // the summary of the file just written
    auto p = run(exe, "--print-cube x.cube", dir.path());
    EXPECT_EQ(p.status, 0);
    EXPECT_NE(p.out.find("CUBE: cube size = 24 * 24 * 24\n"), std::string::npos) << p.out;
    EXPECT_NE(p.out.find("CUBE:     4.65884"), std::string::npos) << p.out;
    // read as non-periodic the last plane goes
    p = run(exe, "--print-cube x.cube f", dir.path());
    EXPECT_NE(p.out.find("CUBE: cube size = 23 * 23 * 23\n"), std::string::npos) << p.out;
}

TEST(CubeCli, FlagsOutputNameAndResolutionDefault) {
    ScratchDir dir;
    dir.add(samples / "Li2O.cif", "x.cif");
    // resolution 0 becomes 0.1 (48 points for 4.66 A); non-periodic writes 49; "yes" keeps the
    // default of ignore_conducting_ion
    auto r = run(exe, "--gen-cube x.cif Li 1 0.75 0 yes f f out.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: ignoring all Li1+ ions"), std::string::npos);
    ASSERT_TRUE(fs::exists(dir / "out.cube"));
    EXPECT_FALSE(fs::exists(dir / "x.cube"));
    const std::string cube = slurp(dir / "out.cube");
    EXPECT_EQ(line_of(cube, 3).substr(0, 4), "  49");
    // with the switch off the other Li ions take part
    r = run(exe, "--gen-cube x.cif Li 1 0.75 2.0 f t f all.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: no ion is ignored during cube generation.\n"), std::string::npos);
}

TEST(CubeCli, ForeignAndAnionProbes) {
    ScratchDir dir;
    dir.add(samples / "Li2O.cif", "x.cif");
    // a mobile species the structure does not contain
    auto r = run(exe, "--gen-cube x.cif Na 1 0.75 2.0 t t f na.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line_of(slurp(dir / "na.cube"), 1), "Conducting = Na1+ ; sf = 0.750000;");
    // an anion as the probe: the cations attract it, the other anions repel it
    r = run(exe, "--gen-cube x.cif O -2 0.75 2.0 t t f o.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: ignoring all O2- ions during cube generation.\n"), std::string::npos);
    EXPECT_EQ(line_of(slurp(dir / "o.cube"), 1), "Conducting = O2- ; sf = 0.750000;");
}

TEST(CubeCli, SharedLiSitesGiveAssignedSupercell) {
    ScratchDir dir;
    // (Li,Mg) share sites in this spinel: the landscape is built on a supercell with whole ions
    dir.add(electrolytes / "jkq.cif", "x.cif");
    auto r = run(exe, "--gen-cube x.cif Li 1 0.75 2.0 t t f a.b.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: partial occupancy at conducting sites detected. Cube will be generated based on "
                         "an asigned supercell.\n"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "x_assigned.cif"));
    EXPECT_TRUE(fs::exists(dir / "a_assigned.cube"));
    EXPECT_FALSE(fs::exists(dir / "a.b.cube"));
    // the assigned structure has whole occupancies at the former shared sites and reads back
    auto p = run(exe, "--print-cell x_assigned.cif", dir.path());
    EXPECT_EQ(p.status, 0) << p.err;
    // skip_mix_occ: nothing written, not a failure
    ScratchDir dir2;
    dir2.add(electrolytes / "jkq.cif", "x.cif");
    r = run(exe, "--gen-cube x.cif Li 1 0.75 2.0 t t t", dir2.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Message: partial occupancy at conducting sites detected. Cube file generation will be "
                         "skipped.\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir2 / "x.cube"));
    EXPECT_FALSE(fs::exists(dir2 / "x_assigned.cif"));
}

TEST(CubeCli, GiiAndTotalEnergyLandscapes) {
    ScratchDir dir;
    dir.add(samples / "Li2O.cif", "x.cif");
    auto r = run(exe, "--gen-cube-gii x.cif Li 1 0.75 2.0 t t f gii.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Progress: calculating for --gen-cube-gii: ...0.0%..."), std::string::npos);
    EXPECT_NE(r.out.find("95.8%..."), std::string::npos);
    EXPECT_NE(r.out.find("Message: cube_by_gii has been generated successfully.\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "gii.cube"));
    r = run(exe, "--gen-cube-tot-eam x.cif Li 1 0.75 2.0 t t f tot.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Progress: calculating  ...0.0%..."), std::string::npos);
    EXPECT_NE(r.out.find("Message: cube_by_tot_en has been generated successfully.\n"), std::string::npos);
    EXPECT_NE(r.out.find("Elapsed: "), std::string::npos);
    r = run(exe, "--gen-cube-tot x.cif Li 1 0.75 2.0 t t f tot2.cube", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Elapsed: "), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "tot.cube"));
    EXPECT_TRUE(fs::exists(dir / "tot2.cube"));
}

TEST(CubeCli, RefusedArguments) {
    ScratchDir dir;
    dir.add(samples / "Li2O.cif", "x.cif");
    struct Case {
        const char* args;
        const char* err;
    } cases[] = {
        {"--gen-cube x.cif Li one", "Error: wrong parameter conducting os.\n"},
        {"--gen-cube x.cif Li 0", "Error: wrong parameter conducting os.\n"},
        {"--gen-cube x.cif Li 1 abc", "Error: wrong parameter screening factor.\n"},
        {"--gen-cube x.cif Li 1 0.75 fine", "Error: wrong parameter resolution.\n"},
        {"--gen-cube x.cif Li 1 0.75 nan", "Error: wrong parameter resolution.\n"},
        {"--gen-cube-gii x.cif Li 1 0.75 x", "Error: wrong parameter resolution.\n"},
    };
    for (const Case& c : cases) {
        auto r = run(exe, c.args, dir.path());
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_FALSE(fs::exists(dir / "x.cube")) << c.args;
    }
}

TEST(CubeCli, RefusedStructures) {
    ScratchDir dir;
    // a structure whose oxidation states do not balance
    spit(dir / "charged.cif", cif_with("Li+ 1\nO2- -2\n", "Li1 Li+ 0 0 0 1\nO1 O2- 0.5 0.5 0.5 1\n"));
    auto r = run(exe, "--gen-cube charged.cif Li 1 0.75 1.0", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: total charge of the cell is not neutral: -1.000000\n"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "charged.cube"));
    // a mobile species the data files hold no parameters for
    spit(dir / "ok.cif", cif_with("Li+ 1\nO2- -2\n", "Li1 Li+ 0 0 0 1\nLi2 Li+ 0.5 0 0 1\nO1 O2- 0.5 0.5 0.5 1\n"));
    r = run(exe, "--gen-cube ok.cif Zz 1 0.75 1.0", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error:"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "ok.cube"));
    // empty, binary and missing structure files
    spit(dir / "empty.cif", "");
    spit(dir / "junk.cif", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0\x01\0\0\0", 24));
    for (const char* f : {"empty.cif", "junk.cif", "missing.cif"}) {
        r = run(exe, std::string("--gen-cube ") + f + " Li 1 0.75 1.0", dir.path());
        EXPECT_EQ(r.status, 1) << f;
        EXPECT_NE(r.err.find("Error:"), std::string::npos) << f;
    }
    EXPECT_FALSE(fs::exists(dir / "empty.cube"));
    EXPECT_FALSE(fs::exists(dir / "junk.cube"));
}

TEST(CubeCli, ChargeBalanceOfSharedMobileSites) {
    ScratchDir dir;
    // Li sharing a site with Ti in a structure whose oxidation states do not balance: skipping
    // mixed occupancies comes first and is no failure
    spit(dir / "x.cif", cif_with("Li+ 1\nTi4+ 4\nO2- -2\n",
                                 "Li1 Li+ 0 0 0 0.5\nTi1 Ti4+ 0 0 0 0.5\nO1 O2- 0.5 0.5 0.5 1\n"));
    auto r = run(exe, "--gen-cube x.cif Li 1 0.75 1.0 t t t", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Message: partial occupancy at conducting sites detected. Cube file generation will be "
                         "skipped.\n"),
              std::string::npos);
    // 6 % off balance: refused with the tolerance of the parameter assembly (5 %), before the
    // assigned structure is written
    spit(dir / "y.cif", cif_with("Li+ 1\nTi4+ 4\nO2- -2\n",
                                 "Li1 Li+ 0 0 0 0.5\nTi1 Ti4+ 0 0 0 0.5\nTi2 Ti4+ 0.5 0.5 0.5 1\n"
                                 "O1 O2- 0.5 0 0.5 1\nO2 O2- 0 0.5 0.5 1\nO3 O2- 0.5 0.5 0 1\n"
                                 "O4 O2- 0 0 0.5 0.445\n"));
    r = run(exe, "--gen-cube y.cif Li 1 0.75 1.0", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: total charge of the cell is not neutral: -0.390000\n"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "y_assigned.cif"));
    EXPECT_FALSE(fs::exists(dir / "y_assigned.cube"));
}

TEST(CubeCli, PrintCubeRefusesBadFiles) {
    ScratchDir dir;
    spit(dir / "cut.cube", "name\r\n\r\n   0 0 0 0\r\n  24 0.3 0 0\r\n");
    spit(dir / "junk.cube", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12));
    spit(dir / "empty.cube", "");
    for (const char* f : {"cut.cube", "junk.cube", "empty.cube"}) {
        auto r = run(exe, std::string("--print-cube ") + f, dir.path());
        EXPECT_EQ(r.status, 1) << f;
        EXPECT_NE(r.err.find("Error:"), std::string::npos) << f;
        EXPECT_EQ(r.out.find("CUBE:"), std::string::npos) << f;
    }
    auto r = run(exe, "--print-cube missing.cube", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: unable to open missing.cube.\n");
}

}  // namespace
