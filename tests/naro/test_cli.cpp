// NARO.x end to end: flag rules, banner and help, the error file and exit status,
// the structure tasks, and minima and saddles on landscapes written as kelmar.x
// writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "naro_fixtures.hpp"
#include "output-path.hpp"

namespace fs = std::filesystem;
using narotest::errors;
using narotest::naro;

namespace {

const std::string kSamples = std::string(TEST_DATA_DIR) + "/samples/";

// ---------------------------------------------------------------- parsing
NARO_input parse(std::vector<const char*> words) {
    words.insert(words.begin(), "NARO.x");
    NARO_input in;
    NARO_init_input(in);
    ::testing::internal::CaptureStdout();
    NARO_process_command(in, static_cast<int>(words.size()), words.data());
    ::testing::internal::GetCapturedStdout();
    return in;
}

TEST(Flags, ProbeIonFollowsTheCifPath) {
    NARO_input in = parse({"--cif", "a.cif", "Na1+", "--cube", "a.cube"});
    EXPECT_EQ(in.cif, 1);
    EXPECT_EQ(in.cif_file, "a.cif");
    EXPECT_EQ(in.ion, 1);
    EXPECT_EQ(in.ion_type, "Na1+");
    EXPECT_EQ(in.cube_file, "a.cube");
    in = parse({"--cif", "a.cif", "--cube", "a.cube"});
    EXPECT_EQ(in.ion, 0);
    EXPECT_EQ(in.cube, 1);
    in = parse({"--cif", "a.cif", "VeryLongIonName"});
    EXPECT_EQ(in.ion_type, "VeryLongI");
}

TEST(Flags, ValuesAndPlainFlags) {
    NARO_input in = parse({"--scale", "--path", "--max", "abc", "--dir", "out", "--print-saddles", "--print-summary",
                           "--hk", "--deWarn", "--print-saddle", "--summary", "--smooth-cube", "--calc-gii", "junk"});
    EXPECT_EQ(in.scaling, 1);
    EXPECT_EQ(in.scaling_expression, "--path");
    EXPECT_EQ(in.path, 0);
    EXPECT_DOUBLE_EQ(in.max, 0.0);
    EXPECT_EQ(in.output_dir, "out");
    EXPECT_EQ(in.dir, 1);
    EXPECT_EQ(in.HK, 1);
    EXPECT_EQ(in.deWarn, 1);
    EXPECT_EQ(in.print_saddle, 1);
    EXPECT_EQ(in.summary, 1);
    EXPECT_EQ(in.smooth_cube, 1);
    EXPECT_EQ(in.calc_gii, 1);
    EXPECT_EQ(in.print_minima, 0);
    EXPECT_EQ(parse({"--max", "1.25"}).max, 1.25);
    EXPECT_EQ(parse({"--cif"}).missing_value_flag, "--cif");
    EXPECT_EQ(parse({"--path", "--help"}).path, 1);   // --help only counts first
    EXPECT_EQ(parse({"--help", "--path"}).path, 0);
    EXPECT_EQ(NARO_isflag("--print-all-sites"), 1);
    EXPECT_EQ(NARO_isflag("--Cif"), 0);
    EXPECT_EQ(NARO_isflag("Na1+"), 0);
}

TEST(Flags, OutputDirectoryIsGluedBeforeEveryFileName) {
    // --dir is a prefix, not a directory: no separator is added. Command mode's own
    // files stay in the working directory whatever --dir says.
    const std::string long_dir(1200, 'd');
    struct Case {
        std::vector<const char*> words;
        NaroOutputDir where;
        std::string want;
    } cases[] = {
        {{"--path"}, NaroOutputDir::run, "NARO_rp.csv"},
        {{"--dir", "out"}, NaroOutputDir::run, "outNARO_rp.csv"},
        {{"--dir", "out/"}, NaroOutputDir::run, "out/NARO_rp.csv"},
        {{"--dir", "out/"}, NaroOutputDir::working, "NARO_rp.csv"},
        {{"--dir", long_dir.c_str()}, NaroOutputDir::run, long_dir.substr(0, 1000) + "NARO_rp.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want.substr(0, 20));
        EXPECT_EQ(naro_output_path(parse(c.words), "NARO_rp.csv", c.where), c.want);
    }
}

// ---------------------------------------------------------------- program
TEST(Program, NoArgumentsPrintsTheBanner) {
    testcli::ScratchDir d;
    auto r = naro("", d.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " Zentrova (NARO) version 1.3.0\n > --help to list commands available.\n");
    ASSERT_TRUE(fs::exists(d / "NARO_error.txt"));
    EXPECT_EQ(errors(d.path()), "");
    EXPECT_EQ(naro("-v", d.path()).out, r.out);
    EXPECT_EQ(naro("--version --calc-gii", d.path()).out, r.out);
}

TEST(Program, ErrorFileThatCannotBeWrittenIsReportedOnTheConsole) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    fs::create_directories(d / "NARO_error.txt");   // a directory cannot be opened for writing
    auto r = naro("--cif Li2O.cif --calc-charge", d.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Total charge per unit cell: 0.000\n");   // the results still come
    EXPECT_EQ(r.err, "Warning: NARO_error.txt cannot be written in the working directory; errors and warnings go "
                     "to the console.\n");
    r = naro("--cif missing.cif --calc-charge", d.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: Unable to open CIF file\n"), std::string::npos) << r.err;
}

TEST(Program, HelpText) {
    testcli::ScratchDir d;
    auto r = naro("--help", d.path());
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_EQ(lines[0], "Message: Available commands are listed.");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[23], "Message:   --print-saddles     : print out saddle points");
    EXPECT_EQ(lines[28], "Message:   --cmd               : activate command mode (under development)");
    EXPECT_EQ(naro("-h", d.path()).out, r.out);
}

TEST(Program, BadInputGivesOneMessageAndStatusOne) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    testcli::spit(d / "trunc.cube", "t\r\nConducting = Li1+ ;\r\n   0 0 0 0\r\n   2 1 0 0\r\n   2 0 1 0\r\n   2 0 0 1\r\n 1.0\r\n");
    testcli::spit(d / "big.cube", "t\r\nx\r\n   0 0 0 0\r\n 900 1 0 0\r\n 900 0 1 0\r\n 400 0 0 1\r\n 1.0\r\n");
    testcli::spit(d / "zero.cube", "t\r\nx\r\n   0 0 0 0\r\n   0 1 0 0\r\n   2 0 1 0\r\n   2 0 0 1\r\n");
    testcli::spit(d / "nosite.cif", "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 90\n"
                                    "_cell_angle_beta 90\n_cell_angle_gamma 90\n");
    testcli::spit(d / "badcell.cif", "_cell_length_a 0\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 90\n"
                                     "_cell_angle_beta 90\n_cell_angle_gamma 90\nloop_\n_atom_site_label\n"
                                     "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nA 0 0 0\n");
    testcli::spit(d / "binary.cif", std::string("\x00\x01\x02\xff\xfe\n\x7f", 7));
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"--cube missing.cube", "Error: Unable to open CUBE file\n"},
        {"--cube trunc.cube", "Error: Invalid CUBE file - missing energy values\n"},
        {"--cube zero.cube", "Error: Invalid CUBE file - invalid grid resolution\n"},
        {"--cube big.cube", "Error: Invalid CUBE file - missing energy values\n"},
        {"--cif nosite.cif", "Error: No site is found!\n"},
        {"--cif badcell.cif", "Error: Invalid lattice parameters\n"},
        {"--cif binary.cif", "Error: binary.cif: the file is not text (it holds NUL bytes)\n"},
        {"--cif missing.cif", "Error: Unable to open CIF file\n"},
        {"--cif Li2O.cif --scale --path", "Error: Invalid scaling expression - variable E missing\n"},
        {"--cif Li2O.cif --scale 'E$2'", "Error: Expression cannot be fully parsed in NARO_RPN_tokenize()\n"},
        {"--cif Li2O.cif --scale '2*E+x'", "Error: Unknown variable x in expression\n"},
        {"--cif Li2O.cif --calc-charge --cube", "Error: --cube needs a value\n"},
    };
    for (const Case& c : cases) {
        auto r = naro(c.args, d.path());
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(errors(d.path()).rfind(c.message, 0), 0u) << c.args << ": " << errors(d.path());
    }
}

TEST(Program, StructureTasks) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    auto r = naro("--cif Li2O.cif Li1+ --calc-charge --calc-bvsum --calc-gii --check-sub --check-subs", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    EXPECT_EQ(r.out.rfind("Total charge per unit cell: 0.000\nPrinting bond valence sum for each site...\n", 0), 0u);
    EXPECT_NE(r.out.find("> Li0 [0.250 0.250 0.250] : "), std::string::npos);
    EXPECT_NE(r.out.find("Global instability index: "), std::string::npos);
    EXPECT_NE(r.out.find("ICSD:  Not substituted\nICSD:  Not substituted\n"), std::string::npos);
    // A table under bin/ in the working directory comes before the one beside NARO.x.
    fs::create_directories(d / "bin");
    testcli::spit(d / "bin" / "database_binary.dat", "DATA_START\nLi 1 O -2 1.0 0.5 4 3.0\n");
    r = naro("--cif Li2O.cif --calc-bvsum", d.path());
    char line[64];
    std::snprintf(line, sizeof line, "> Li0 [0.250 0.250 0.250] : %.6f\n",
                  4 * std::exp((1.0 - 4.65884171 * std::sqrt(3.0) / 4) / 0.5));
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    r = naro("--cif Li2O.cif --print-all-sites", d.path());
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 9 + 12);   // 8 Li + 4 O
}

// A structure task that cannot answer leaves its error line and exit status 1; the
// other tasks still run.
TEST(Program, StructureTaskWithoutAnAnswerFailsTheRun) {
    testcli::ScratchDir d;
    testcli::spit(d / "nocharge.cif",
                  "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 90\n"
                  "_cell_angle_beta 90\n_cell_angle_gamma 90\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                  "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nA Li 0 0 0\nB O 0.5 0.5 0.5\n");
    auto r = naro("--cif nocharge.cif --calc-charge --print-all-sites", d.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(errors(d.path()), "Error: Unable to calculate total charge\n");
    EXPECT_NE(r.out.find("loop_\n_atom_site_label\n"), std::string::npos);
    r = naro("--cif nocharge.cif --print-all-sites", d.path());
    EXPECT_EQ(r.status, 0);
}

TEST(Program, SpaceGroupLookupInTheShippedCardDatabase) {
    testcli::ScratchDir d;
    testcli::spit(d / "nosym.cif",
                  "_symmetry_space_group_name_H-M 'Fm-3m'\n_cell_length_a 4.6588\n_cell_length_b 4.6588\n"
                  "_cell_length_c 4.6588\n_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                  "loop_\n_symmetry_equiv_pos_as_xyz\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                  "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nLi1 Li1+ 0.25 0.25 0.25\nO1 O2- 0 0 0\n");
    auto r = naro("--cif nosym.cif --print-all-sites --calc-charge", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    EXPECT_EQ(r.out.rfind("Total charge per unit cell: 0.000\n", 0), 0u);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + 9 + 12);
}

// ---------------------------------------------------------------- landscapes
struct Landscape : ::testing::Test {
    testcli::ScratchDir d;
    // Wells at the probe sites of a sample structure, written as a cube.
    void write(const std::string& cif_name, const std::vector<narotest::Frac>& pos, int na, int nb, int nc,
               bool periodic = true, const std::string& ion_line = "Conducting = Li1+ ; sf = 0.750000;") {
        d.add(kSamples + cif_name);
        NARO_cif cif;
        NARO_init_cif(cif);
        ASSERT_EQ(NARO_load_cif((kSamples + cif_name).c_str(), cif), 0);
        double v[3][3];
        narotest::cell_vectors(cif.a, cif.b, cif.c, cif.alpha, cif.beta, cif.gamma, v);
        auto e = narotest::wells(na, nb, nc, v, pos, 0.7);
        narotest::write_cube(
            d / "x.cube", na, nb, nc, v,
            [&](int i, int j, int k) { return e[(static_cast<size_t>(i) * nb + j) * nc + k]; }, periodic, ion_line);
    }
    static std::vector<narotest::Frac> li2o() {
        std::vector<narotest::Frac> li;
        for (double x : {0.25, 0.75})
            for (double y : {0.25, 0.75})
                for (double z : {0.25, 0.75}) li.push_back({x, y, z});
        return li;
    }
    static double saddle_energy(const std::string& out) {
        size_t p = out.find("Saddle type: s1 (Energy: ");
        return p == std::string::npos ? -1 : std::atof(out.c_str() + p + 25);
    }
};

TEST_F(Landscape, Li2OEveryLithiumSiteIsAnOccupiedMinimum) {
    write("Li2O.cif", li2o(), 24, 24, 24);
    auto r = naro("--cif Li2O.cif Li1+ --cube x.cube --print-minima --print-saddle", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    EXPECT_EQ(errors(d.path()), "");
    EXPECT_NE(r.out.find("Total local minima in unit cell: 8\r\nTotal symmetrically inequivalent: 1\r\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Minima type: Li0 (Energy: 0.000000 eV)\r\n"), std::string::npos);
    size_t rows = 0;
    for (size_t p = 0; (p = r.out.find("   1.000   Li0\r\n", p)) != std::string::npos; ++p) ++rows;
    EXPECT_EQ(rows, 8u);
    EXPECT_NE(r.out.find("        0     6   6   6     6.0   6.0   6.0   0.250 0.250 0.250   1.000   Li0\r\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Total local saddle in unit cell: 24\r\n"), std::string::npos);
    EXPECT_GT(saddle_energy(r.out), 0.1);

    // The same landscape written with repeated boundary planes gives the same answer.
    write("Li2O.cif", li2o(), 24, 24, 24, false);
    auto r2 = naro("--cif Li2O.cif Li1+ --cube x.cube --print-minima --print-saddle", d.path());
    EXPECT_EQ(r2.out, r.out);
}

TEST_F(Landscape, ScalingFollowsTheProbeIonOrTheScaleFlag) {
    write("Li2O.cif", li2o(), 24, 24, 24);
    double plain = saddle_energy(naro("--cif Li2O.cif --cube x.cube --print-saddle", d.path()).out);
    double na = saddle_energy(naro("--cif Li2O.cif Na1+ --cube x.cube --print-saddle", d.path()).out);
    double twice = saddle_energy(naro("--cif Li2O.cif Li1+ --cube x.cube --scale 2*E --print-saddle", d.path()).out);
    ASSERT_GT(plain, 0);
    EXPECT_NEAR(na, 0.5695 * std::pow(plain, 0.6946), 2e-6);
    EXPECT_NEAR(twice, 2 * plain, 2e-6);
    // Below the bottleneck ceiling there are no saddles (scaled ceiling).
    auto low = naro("--cif Li2O.cif Li1+ --cube x.cube --scale 2*E --max " + std::to_string(plain) + " --print-saddle",
                    d.path());
    EXPECT_NE(low.out.find("Total local saddle in unit cell: 0\r\n"), std::string::npos);
}

TEST_F(Landscape, SmoothingKeepsTheSitesOfASymmetricLandscape) {
    write("Li2O.cif", li2o(), 12, 12, 12);
    auto r = naro("--cif Li2O.cif Li1+ --cube x.cube --smooth-cube --print-minima", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    EXPECT_EQ(r.out.rfind("Center weight: ", 0), 0u);
    EXPECT_NE(r.out.find("Total local minima in unit cell: 8\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("Minima type: Li0 (Energy: 0.000000 eV)\r\n"), std::string::npos);
}

TEST_F(Landscape, HexagonalCellRunsTheFullGridSearch) {
    std::vector<narotest::Frac> li = {{0, 0, 0}, {0, 0, 0.5}, {1.0 / 3, 2.0 / 3, 0.25}, {2.0 / 3, 1.0 / 3, 0.75}};
    write("Li2O2.cif", li, 24, 24, 48);
    auto r = naro("--cif Li2O2.cif Li1+ --cube x.cube --print-minima --print-saddle --print-symops", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    EXPECT_NE(r.out.find("diff_neigh: 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("Total local minima in unit cell: 4\r\n"), std::string::npos) << r.out;
    size_t rows = 0;
    for (const char* ion : {"   1.000   Li0\r\n", "   1.000   Li1\r\n"})
        for (size_t p = 0; (p = r.out.find(ion, p)) != std::string::npos; ++p) ++rows;
    EXPECT_EQ(rows, 4u);
    EXPECT_EQ(r.out.find("Total local saddle in unit cell: 0\r\n"), std::string::npos);
}

TEST_F(Landscape, CubeWithoutCifPrintsEmptyLists) {
    write("Li2O.cif", li2o(), 12, 12, 12);
    auto r = naro("--cube x.cube --print-minima --print-saddle --print-saddles", d.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Total local minima in unit cell: 0\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("Total local saddle in unit cell: 0\r\n"), std::string::npos);
}

TEST_F(Landscape, LiFePO4LithiumSitesAreOccupiedMinima) {
    // P2_1/c setting: Li on the two inversion centres (0,0,0) and (1/2,0,0) and their copies.
    std::vector<narotest::Frac> li = {{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0}, {0.5, 0.5, 0.5}};
    write("LiFePO4.cif", li, 24, 24, 48);
    auto r = naro("--cif LiFePO4.cif Li1+ --cube x.cube --print-minima --print-symops", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    EXPECT_NE(r.out.find("diff_neigh: 0\n"), std::string::npos);
    EXPECT_NE(r.out.find("X: -1  0  0     0   Y:  0  1  0    12   Z:  0  0 -1    24\n"), std::string::npos);
    EXPECT_NE(r.out.find("Total local minima in unit cell: 4\r\n"), std::string::npos);
    for (const char* row : {"  0   0   0     0.0   0.0   0.0   0.000 0.000 0.000   1.000   Li0\r\n",
                            "  0  12  24     0.0  12.0  24.0   0.000 0.500 0.500   1.000   Li0\r\n",
                            " 12   0   0    12.0   0.0   0.0   0.500 0.000 0.000   1.000   Li1\r\n",
                            " 12  12  24    12.0  12.0  24.0   0.500 0.500 0.500   1.000   Li1\r\n"})
        EXPECT_NE(r.out.find(row), std::string::npos) << row << r.out;
}

// ---------------------------------------------------------------- with kelmar.x
TEST(WithKelmar, Li2OLandscapeFromGenCube) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    auto k = testcli::run(KELMAR_EXE, "--gen-cube Li2O.cif Li 1 0.75 0.2", d.path());
    ASSERT_EQ(k.status, 0) << k.err;
    ASSERT_TRUE(fs::exists(d / "Li2O.cube"));
    auto r = naro("--cif Li2O.cif Li1+ --cube Li2O.cube --print-minima --print-saddle", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    size_t rows = 0;
    for (size_t p = 0; (p = r.out.find("   1.000   Li0\r\n", p)) != std::string::npos; ++p) ++rows;
    EXPECT_EQ(rows, 8u) << r.out;
    EXPECT_NE(r.out.find("Saddle type: s1 "), std::string::npos);
}

TEST(WithKelmar, OlivineLiSitesInPnmaAreMinimaOfOneType) {
    // In Pnma the four Li sites of the olivine form one orbit, so they are one type of minimum,
    // each holding its ion.
    testcli::ScratchDir d;
    d.add(std::string(TEST_DATA_DIR) + "/naro/LiFePO4_Pnma.cif");
    auto k = testcli::run(KELMAR_EXE, "--gen-cube LiFePO4_Pnma.cif Li 1 0.75 0.2", d.path());
    ASSERT_EQ(k.status, 0) << k.err;
    auto r = naro("--cif LiFePO4_Pnma.cif Li1+ --cube LiFePO4_Pnma.cube --print-minima", d.path());
    ASSERT_EQ(r.status, 0) << errors(d.path());
    const size_t first = r.out.find("Minima type: Li0 (Energy: 0.000000 eV)\r\n");
    ASSERT_NE(first, std::string::npos) << r.out;
    const size_t end = r.out.find("Multiplicity: 4\r\n", first);
    ASSERT_NE(end, std::string::npos) << r.out;
    size_t rows = 0;
    for (size_t p = first; (p = r.out.find("   1.000   Li0\r\n", p)) != std::string::npos && p < end; ++p) ++rows;
    EXPECT_EQ(rows, 4u) << r.out;
    EXPECT_EQ(r.out.find("Minima type: Li0", first + 1), std::string::npos) << "Li sites split into two types";
}

}  // namespace
