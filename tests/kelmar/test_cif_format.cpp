// The CIF format library both programs read structures with (cifio/): numbers, the document
// model the parser builds, and the choice of the structure's block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cif-document.hpp"
#include "cif-element.hpp"
#include "cif-number.hpp"
#include "cif-parse.hpp"
#include "cif-cell-check.hpp"
#include "cif-symop.hpp"

TEST(CifFormat, NumbersAsCifsWriteThem) {
    const struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"0.2500(3)", true, 0.25}, {"3/4", true, 0.75},  {"-1/3", true, -1.0 / 3.0}, {"5", true, 5.0},
        {"1e2", true, 100.0},      {"?", false, 0},      {".", false, 0},           {"", false, 0},
        {"x", false, 0},           {"1/0", false, 0},    {"1/x", false, 0},         {"inf", false, 0},
        {"-.5", true, -0.5},       {"2.5+", true, 2.5},
        // the whole text is one number: nothing before, after or inside it that is not
        {"1..2", false, 0},        {"0.5abc", false, 0}, {"0.5.5", false, 0},       {"1e", false, 0},
        {"1e+", false, 0},         {"0x1p3", false, 0},  {"0x10", false, 0},        {"nan", false, 0},
        {"1e999", false, 0},       {"3/4x", false, 0},   {"0.12(", false, 0},       {"0.12(3)x", false, 0},
        {"0.123(4)", true, 0.123}, {"-2.5e-1", true, -0.25}, {" 7 ", true, 7.0},   {"2-", true, -2.0},
        {"-2-", false, 0},         {".", false, 0},      {"+", false, 0},           {"1/2.", true, 0.5},
    };
    for (const auto& c : cases) {
        double v = -7.0;
        EXPECT_EQ(cif_read_number(c.text, &v), c.ok) << c.text;
        EXPECT_DOUBLE_EQ(v, c.ok ? c.value : -7.0) << c.text;  // untouched on failure
    }
    double v = 0;
    EXPECT_FALSE(cif_read_number(nullptr, &v));
}

TEST(CifFormat, BlocksHoldCanonicalTagsUnquotedValuesAndWholeLoopRows) {
    const std::string text =
        "data_first\n_Cell_Length_A 4.0\n"
        "data_mod\n_cell_length_a 5\n_space_group_ssg_name 'P(00g)'\n"
        "loop_\n_atom_site_label\n_atom_site_fract_x\nA 0\n"
        "data_main\n_cell.length_a 6\n_note\n;\n  two words\n;\n"
        "loop_\n_space_group_symop.operation_xyz\n'x, y, z'\n"
        "loop_\n_atom_site_label _atom_site_fract_x _atom_site_occupancy\n"
        "'Li 1' 0.5\n 1 \"O2\" . ?\n";
    std::vector<CifBlock> blocks;
    std::string why, note;
    ASSERT_TRUE(cif_parse_blocks(text, blocks, why, note)) << why;
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_NE(blocks[0].value("_cell_length_a"), nullptr);
    EXPECT_TRUE(cif_block_is_superspace(blocks[1]));
    EXPECT_FALSE(cif_block_is_superspace(blocks[2]));
    EXPECT_EQ(cif_structure_block(blocks), 2);  // a cell and sites, not superspace

    const CifBlock& b = blocks[2];
    EXPECT_EQ(b.name, "main");
    ASSERT_NE(b.value("_cell_length_a"), nullptr);  // DDLm dot read as underscore
    EXPECT_EQ(*b.value("_cell_length_a"), "6");
    EXPECT_EQ(*b.value("_note"), "two words");  // a text field without its line breaks
    EXPECT_EQ(*b.value("_space_group_symop_operation_xyz"), "x, y, z");  // the only row of a loop
    const CifLoop* sites = b.loop_with("_atom_site_fract_x");
    ASSERT_NE(sites, nullptr);
    ASSERT_EQ(sites->size(), 3u);  // header and two rows, the second spread over two lines
    const long occ = cif_loop_column(*sites, "_atom_site_occupancy");
    EXPECT_STREQ(cif_loop_cell(*sites, 1, 0), "Li 1");
    EXPECT_STREQ(cif_loop_cell(*sites, 2, 0), "O2");
    EXPECT_TRUE(cif_is_placeholder(cif_loop_cell(*sites, 2, 1)));
    EXPECT_TRUE(cif_is_placeholder(cif_loop_cell(*sites, 2, occ)));
    EXPECT_EQ(cif_loop_cell(*sites, 3, 0), nullptr);
    EXPECT_EQ(cif_loop_column(*sites, "_atom_site_fract_y"), -1);
}

TEST(CifFormat, TextThatIsNoCifIsRefusedWithAReason) {
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {" \r\n\t", "the file is empty"},
        {std::string("\x1f\x8b\x08\x00", 4), "the file is gzip-compressed; decompress it first (gunzip)"},
        {std::string("data_x\n\0_a 1\n", 13), "the file is not text (it holds NUL bytes)"},
    };
    for (const auto& c : cases) {
        std::vector<CifBlock> blocks;
        std::string why, note;
        EXPECT_FALSE(cif_parse_blocks(c.text, blocks, why, note));
        EXPECT_EQ(why, c.why);
    }
    std::vector<CifBlock> blocks;
    std::string why, note;
    EXPECT_FALSE(cif_parse_blocks("data_x\nloop_\n_a\n_b\n1 2 3\n", blocks, why, note));
    EXPECT_EQ(why.rfind("malformed CIF: ", 0), 0u) << why;
    // a fragment without a heading is one unnamed block; CR alone ends lines, with a note
    ASSERT_TRUE(cif_parse_blocks("_cell_length_a 3\r_cell_length_b 4\r", blocks, why, note)) << why;
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(*blocks[0].value("_cell_length_b"), "4");
    EXPECT_FALSE(note.empty());
}

// Both programs take a site's element from its type symbol or, without one, from its label.
TEST(CifFormat, ElementsOfTypeSymbolsAndSiteLabels) {
    struct Row {
        const char* text;
        const char* leading;  // "" when no element leads the text
        long rest;            // offset behind the symbol
        bool label;           // whether the text names an element as a site label
    };
    const Row rows[] = {
        {"Li1+", "Li", 2, true},  {"O2-", "O", 1, true},   {"LI", "Li", 2, true},    {"fe3+", "Fe", 2, true},
        {"KI", "K", 1, true},     {"MgIII", "Mg", 2, true}, {"Oa", "O", 1, true},    {"OW1", "O", 1, true},
        {"2Fe", "Fe", 3, true},   {"Cl", "Cl", 2, true},    {"Co", "Co", 2, true},   {"D1", "D", 1, true},
        {"Wat", "W", 1, false},   {"Lig", "Li", 2, true},   {"Oxy", "O", 1, false},  {"Xx", "", -1, false},
        {"", "", -1, false},      {"123", "", -1, false},   {"Q1", "", -1, false},
    };
    for (const Row& r : rows) {
        char sym[3] = {'?', '?', '\0'};
        const long k = cif_leading_element(r.text, sym);
        EXPECT_EQ(k, r.rest) << r.text;
        if (r.rest >= 0) EXPECT_STREQ(sym, r.leading) << r.text;
        else EXPECT_STREQ(sym, "??") << r.text << ": the symbol is left as it was";
        char lab[3] = {};
        EXPECT_EQ(cif_element_of_label(r.text, lab), r.label) << r.text;
    }
    EXPECT_EQ(cif_leading_element(nullptr, nullptr), -1);
    EXPECT_FALSE(cif_is_element("li"));
    EXPECT_TRUE(cif_is_element("Og"));
}

TEST(CifFormat, ADataNameGivenTwiceInOneBlockIsRefused) {
    const struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"data_a\n_cell_length_a 4\n_cell_length_a 5\n", false},
        {"data_a\n_cell_length_a 4\n_cell.length_a 5\n", false},  // one name in two spellings
        {"data_a\n_cell_length_a 4\nloop_\n_cell_length_a\n5\n", false},
        {"data_a\nloop_\n_x _x\n1 2\n", false},
        {"data_a\n_cell_length_a 4\ndata_b\n_cell_length_a 5\n", true},  // two blocks
    };
    for (const auto& c : cases) {
        std::vector<CifBlock> blocks;
        std::string why, note;
        EXPECT_EQ(cif_parse_blocks(c.text, blocks, why, note), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_NE(why.find("is given twice in data_a"), std::string::npos) << why;
        }
    }
}

TEST(CifFormat, SymmetryOperationsAreReadStrictly) {
    const struct {
        const char* text;
        const char* why;  // null: accepted
        int row0[3];
        double t0;
    } cases[] = {
        {"x,y,z", nullptr, {1, 0, 0}, 0.0},
        {"-x+1/2, y, z", nullptr, {-1, 0, 0}, 0.5},
        {"1/2-x,y,z", nullptr, {-1, 0, 0}, 0.5},
        {"x-y, x, z+1/6", nullptr, {1, -1, 0}, 0.0},
        {"'X+0.25', Y, Z", nullptr, {1, 0, 0}, 0.25},
        {"x+1,y,z", nullptr, {1, 0, 0}, 1.0},
        {"0,0,0", "the operation is singular", {}, 0},
        {"x,x,z", "the operation is singular", {}, 0},
        {"x+y,x-y,z", "does not map the lattice onto itself", {}, 0},
        {"2x,y,z", "a coefficient other than +-1", {}, 0},
        {"1/2x,y,z", "a coefficient other than +-1", {}, 0},
        {"0.5*x,y,z", "a coefficient other than +-1", {}, 0},
        {"x+x,y,z", "a variable appears twice", {}, 0},
        {"x,y,-z+", "a sign has no term after it", {}, 0},
        {"x,y,", "a component is empty", {}, 0},
        {"x,y", "fewer than three components", {}, 0},
        {"x,y,z,t", "more than three components", {}, 0},
        {"x,y,w", "unexpected character 'w'", {}, 0},
        {"x y,y,z", "terms must be joined by + or -", {}, 0},
        {"x+1/0,y,z", "a fraction has no denominator", {}, 0},
    };
    for (const auto& c : cases) {
        CifSymop op;
        std::string why;
        const bool ok = cif_symop_parse(c.text, op, why);
        EXPECT_EQ(ok, c.why == nullptr) << c.text << ": " << why;
        if (c.why != nullptr) {
            EXPECT_NE(why.find(c.why), std::string::npos) << c.text << ": " << why;
            continue;
        }
        for (int j = 0; j < 3; j++) EXPECT_EQ(op.rot[0][j], c.row0[j]) << c.text;
        EXPECT_DOUBLE_EQ(op.trans[0], c.t0) << c.text;
    }
}

TEST(CifFormat, CellsNoGridCanCoverAreRefused) {
    const struct {
        const char* cell;  // a b c alpha beta gamma
        const char* why;   // null: accepted
    } cases[] = {
        {"4 4 4 90 90 90", nullptr},
        {"0.5 4 4 90 90 90", nullptr},
        {"999 999 999 90 90 90", "volume"},
        {"0.0001 4 4 90 90 90", "_cell_length_a 0.0001 A is shorter than 0.5 A"},
        {"4 4 0.3 90 90 90", "_cell_length_c 0.3 A is shorter"},
        {"4 4 1001 90 90 90", "_cell_length_c 1001 A is longer than 1000 A"},
        {"4 4 4 90 90 179.99", "thick across its a axis"},
        {"4 4 4 90 90 180", nullptr},  // no cell at all: each reader words that itself
        {"4 4 4 90 90 ?", nullptr},    // missing: likewise
        {"4 4 4e 90 90 90", "'4e' of _cell_length_c is not a number"},
    };
    static const char* const tags[6] = {"_cell_length_a", "_cell_length_b", "_cell_length_c",
                                        "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
    for (const auto& c : cases) {
        CifBlock b;
        std::string text = c.cell;
        for (int i = 0; i < 6; i++) {
            const std::size_t sp = text.find(' ');
            b.pairs.emplace_back(tags[i], text.substr(0, sp));
            text = sp == std::string::npos ? std::string() : text.substr(sp + 1);
        }
        std::string why;
        EXPECT_EQ(cif_block_check(b, why), c.why == nullptr) << c.cell << ": " << why;
        if (c.why != nullptr) {
            EXPECT_NE(why.find(c.why), std::string::npos) << c.cell << ": " << why;
        }
    }
}
