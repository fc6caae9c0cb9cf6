// The three data files that ship beside kelmar.x (and in bin/ for NARO.x),
// read here with the same scanning rules the programs use: the free header
// ends at the first line containing DATA_START, data run to DATA_END, lines
// are scanned with sscanf patterns, and a setting is found by a substring
// search of its H-M line. The readers are written out again in this file so
// that the data are checked on their own.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kDataDir = KELMAR_DATA_DIR;

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

std::string read_file(const std::string& name) {
    std::ifstream in(kDataDir + "/" + name, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Block {
    bool has_start = false;
    bool has_end = false;
    std::vector<std::string> header;
    std::vector<std::string> data;
};

// Header = lines before the first line containing DATA_START; data = lines
// after it up to the first line containing DATA_END.
Block split_block(const std::string& text) {
    Block b;
    for (const std::string& line : split_lines(text)) {
        if (!b.has_start) {
            if (line.find("DATA_START") != std::string::npos) b.has_start = true;
            else b.header.push_back(line);
            continue;
        }
        if (line.find("DATA_END") != std::string::npos) {
            b.has_end = true;
            break;
        }
        b.data.push_back(line);
    }
    return b;
}

std::string strip_cr(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
    return s;
}

// ---------------------------------------------------------------- settings

struct Setting {
    int number = 0;
    std::string hall;
    std::string hm;       // first quoted text of the H-M line
    std::string hm_line;  // the whole line, searched by substring
    std::vector<std::string> ops;
};

// Reads "'%15[^'\n\r]" the way the settings reader does; false when the
// line does not start with a quoted text of 1..15 characters that closes.
bool read_quoted(const std::string& line, std::string& out) {
    char buf[16] = {0};
    if (std::sscanf(line.c_str(), "'%15[^'\n\r]", buf) != 1) return false;
    out = buf;
    return line.size() > out.size() + 1 && line[out.size() + 1] == '\'';
}

// The operation-text rules: at most 35 characters, three comma-separated
// components of at most 11 characters, each built of x, y, z (either case),
// signs, digits, '/' and '.'; a variable may be preceded only by the start,
// '+' or '-' (coefficients other than 1 are not understood), and a fraction
// is one digit over one digit.
bool operation_ok(const std::string& op, std::string& why) {
    if (op.empty() || op.size() > 35) {
        why = "length";
        return false;
    }
    std::vector<std::string> comps(1);
    for (char c : op) {
        if (c == ',') comps.emplace_back();
        else if (c != ' ' && c != '\t' && c != '\'') comps.back() += c;
    }
    if (comps.size() != 3) {
        why = "not three components";
        return false;
    }
    for (const std::string& c : comps) {
        if (c.empty() || c.size() > 11) {
            why = "component length";
            return false;
        }
        bool has_var = false;
        for (size_t i = 0; i < c.size(); ++i) {
            const char ch = c[i];
            if (std::strchr("xyzXYZ", ch)) {
                has_var = true;
                if (i > 0 && c[i - 1] != '+' && c[i - 1] != '-') {
                    why = "coefficient";
                    return false;
                }
            } else if (ch == '/') {
                if (i == 0 || i + 1 >= c.size() || !std::isdigit(static_cast<unsigned char>(c[i - 1])) ||
                    !std::isdigit(static_cast<unsigned char>(c[i + 1])) ||
                    (i >= 2 && std::isdigit(static_cast<unsigned char>(c[i - 2]))) ||
                    (i + 2 < c.size() && std::isdigit(static_cast<unsigned char>(c[i + 2])))) {
                    why = "fraction";
                    return false;
                }
            } else if (!std::strchr("+-.0123456789", ch)) {
                why = "character";
                return false;
            }
        }
        if (!has_var) {
            why = "no variable";
            return false;
        }
    }
    return true;
}

// Parses the data section of the settings file record by record; an error
// text names the first fault.
std::vector<Setting> parse_settings(const std::vector<std::string>& data, std::string& error) {
    std::vector<Setting> out;
    size_t i = 0;
    while (i < data.size()) {
        const std::string line = strip_cr(data[i]);
        if (line.empty()) {
            ++i;
            continue;
        }
        if (line[0] != '#') {
            error = "line " + std::to_string(i) + " is not a record marker: " + line;
            return out;
        }
        if (i + 5 > data.size()) {
            error = "record cut short after marker at line " + std::to_string(i);
            return out;
        }
        Setting s;
        int n = -1;
        char extra = 0;
        if (std::sscanf(data[i + 1].c_str(), "%d %c", &s.number, &extra) != 1 || s.number < 1 ||
            s.number > 230) {
            error = "bad number line: " + data[i + 1];
            return out;
        }
        if (!read_quoted(strip_cr(data[i + 2]), s.hall)) {
            error = "bad Hall line: " + data[i + 2];
            return out;
        }
        s.hm_line = strip_cr(data[i + 3]);
        if (!read_quoted(s.hm_line, s.hm)) {
            error = "bad H-M line: " + data[i + 3];
            return out;
        }
        if (std::sscanf(data[i + 4].c_str(), "%d %c", &n, &extra) != 1 || n < 1 || n > 192) {
            error = "bad count line: " + data[i + 4];
            return out;
        }
        if (i + 5 + static_cast<size_t>(n) > data.size()) {
            error = "operations cut short in record of " + s.hm;
            return out;
        }
        for (int k = 0; k < n; ++k) {
            const std::string op = strip_cr(data[i + 5 + k]);
            std::string why;
            if (!operation_ok(op, why)) {
                error = "operation '" + op + "' of " + s.hm + ": " + why;
                return out;
            }
            s.ops.push_back(op);
        }
        out.push_back(std::move(s));
        i += 5 + n;
    }
    return out;
}

const std::vector<Setting>& settings() {
    static const std::vector<Setting> all = [] {
        std::string error;
        auto v = parse_settings(split_block(read_file("database_symcards.dat")).data, error);
        if (!error.empty()) v.clear();
        return v;
    }();
    return all;
}

// The H-M lookup of kelmar.x: the first record whose H-M line contains the
// keyword; returns its index or -1.
int find_by_hm(const std::vector<Setting>& all, const std::string& keyword) {
    for (size_t k = 0; k < all.size(); ++k)
        if (all[k].hm_line.find(keyword) != std::string::npos) return static_cast<int>(k);
    return -1;
}

// The lookup of NARO.x: the symbol has its blanks removed, and a record
// matches when one piece of its H-M line, split at single quotes, equals it.
int find_by_hm_exact(const std::vector<Setting>& all, std::string symbol) {
    std::string s;
    for (char c : symbol)
        if (c != ' ' && c != '\'') s += c;
    for (size_t k = 0; k < all.size(); ++k) {
        std::string piece;
        for (char c : all[k].hm_line + "'") {
            if (c == '\'') {
                if (piece == s) return static_cast<int>(k);
                piece.clear();
            } else {
                piece += c;
            }
        }
    }
    return -1;
}

int first_with_number(const std::vector<Setting>& all, int number) {
    for (size_t k = 0; k < all.size(); ++k)
        if (all[k].number == number) return static_cast<int>(k);
    return -1;
}

// -------------------------------------------------------------- parameters

void check_header(const Block& b, const char* file) {
    ASSERT_TRUE(b.has_start) << file;
    ASSERT_TRUE(b.has_end) << file;
    EXPECT_FALSE(b.header.empty()) << file << ": the header explains the columns";
    for (const std::string& h : b.header) {
        EXPECT_EQ(h.find('#'), std::string::npos) << file << ": " << h;
        EXPECT_EQ(h.find("DATA_END"), std::string::npos) << file << ": " << h;
    }
    EXPECT_FALSE(b.data.empty()) << file;
}

TEST(DataFiles, UnitaryEveryLineHasTenColumns) {
    const Block b = split_block(read_file("database_unitary.dat"));
    check_header(b, "database_unitary.dat");
    EXPECT_EQ(b.data.size(), 186u);  // 181 CrysFML rows and H-1, D-1, O-1, P+4, P-3
    for (const std::string& line : b.data) {
        int an = 0, os = 0, def = 0, n = 0, g = 0, cls = 0;
        char type[8] = {0};
        double m = 0, rc = 0, soft = 0;
        char extra[8] = {0};
        const int got = std::sscanf(line.c_str(), "%d %7s %d %d %lf %d %d %d %lf %lf %7s", &an, type, &os,
                                    &def, &m, &n, &g, &cls, &rc, &soft, extra);
        EXPECT_EQ(got, 10) << line;
        EXPECT_LE(std::strlen(type), 2u) << line;
        EXPECT_TRUE(an >= 1 && an <= 103) << line;
        EXPECT_TRUE(cls >= 0 && cls <= 3) << line;
        EXPECT_GT(m, 0.0) << line;
        // the default-state scan of the structure reader
        char sym[8] = {0};
        int state = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "%*d %7s %*d %d", sym, &state), 2) << line;
        EXPECT_EQ(state, def) << line;
    }
}

TEST(DataFiles, UnitaryLithiumAndOxideRowsCarryTheTableValues) {
    const Block b = split_block(read_file("database_unitary.dat"));
    struct Want {
        const char* type;
        int os, an, def, n, g, cls;
        double m, rc, soft;
    } const wants[] = {{"Li", 1, 3, 1, 2, 1, 1, 6.9410, 1.310, 0.02847},
                       {"O", -2, 8, -2, 2, 6, 1, 15.9994, 1.330, 0.14752}};
    for (const Want& w : wants) {
        bool found = false;
        for (const std::string& line : b.data) {
            int an = 0, os = 0, def = 0, n = 0, g = 0, cls = 0;
            char type[8] = {0};
            double m = 0, rc = 0, soft = 0;
            if (std::sscanf(line.c_str(), "%d %7s %d %d %lf %d %d %d %lf %lf", &an, type, &os, &def, &m, &n,
                            &g, &cls, &rc, &soft) != 10)
                continue;
            if (std::strcmp(type, w.type) != 0 || os != w.os) continue;
            found = true;  // the first match is the one the reader takes
            EXPECT_EQ(an, w.an);
            EXPECT_EQ(def, w.def);
            EXPECT_EQ(n, w.n);
            EXPECT_EQ(g, w.g);
            EXPECT_EQ(cls, w.cls);
            EXPECT_DOUBLE_EQ(m, w.m);
            EXPECT_DOUBLE_EQ(rc, w.rc);
            EXPECT_DOUBLE_EQ(soft, w.soft);
            break;
        }
        EXPECT_TRUE(found) << w.type << w.os;
    }
}

TEST(DataFiles, UnitaryFirstRowOfAnElementGivesItsUsualState) {
    // The structure reader fills a missing state from the first row whose
    // symbol matches; the atomic-number lookup takes the first row with Z.
    const Block b = split_block(read_file("database_unitary.dat"));
    auto first_state = [&](const char* type) {
        for (const std::string& line : b.data) {
            char sym[8] = {0};
            int state = 0;
            if (std::sscanf(line.c_str(), "%*d %7s %*d %d", sym, &state) == 2 && std::strcmp(sym, type) == 0)
                return state;
        }
        return 99;
    };
    EXPECT_EQ(first_state("Li"), 1);
    EXPECT_EQ(first_state("O"), -2);
    EXPECT_EQ(first_state("Cl"), -1);
    EXPECT_EQ(first_state("S"), -2);
    EXPECT_EQ(first_state("Fe"), 3);
    EXPECT_EQ(first_state("Xx"), 99);
    auto first_symbol = [&](int z) {
        for (const std::string& line : b.data) {
            int an = 0;
            char sym[8] = {0};
            if (std::sscanf(line.c_str(), "%d %7s", &an, sym) == 2 && an == z) return std::string(sym);
        }
        return std::string();
    };
    EXPECT_EQ(first_symbol(1), "H");
    EXPECT_EQ(first_symbol(8), "O");
}

TEST(DataFiles, BinaryEveryLineHasEightColumns) {
    const Block b = split_block(read_file("database_binary.dat"));
    check_header(b, "database_binary.dat");
    EXPECT_EQ(b.data.size(), 1201u);  // 641 CrysFML pairs and the added hydride, deuteride, phosphide, peroxide and P+4 pairs
    for (const std::string& line : b.data) {
        char t1[8] = {0}, t2[8] = {0}, extra[8] = {0};
        int os1 = 0, os2 = 0;
        double r0 = 0, bb = 0, cn = 0, cut = 0;
        const int got = std::sscanf(line.c_str(), "%7s %d %7s %d %lf %lf %lf %lf %7s", t1, &os1, t2, &os2, &r0,
                                    &bb, &cn, &cut, extra);
        EXPECT_EQ(got, 8) << line;
        EXPECT_GT(os1, 0) << line;
        EXPECT_LT(os2, 0) << line;
        EXPECT_GT(r0, 0.0) << line;
        EXPECT_GT(bb, 0.0) << line;
        EXPECT_GE(cn, 0.0) << line;
        EXPECT_GT(cut, 0.0) << line;
        // The analyser splits at single blanks' runs and takes the first token
        // as the cation: no leading blank and no tab.
        ASSERT_FALSE(line.empty());
        EXPECT_NE(line[0], ' ') << line;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
        EXPECT_LT(line.size(), 200u) << line;
    }
}

TEST(DataFiles, BinaryLithiumOxidePairCarriesTheTableValues) {
    const Block b = split_block(read_file("database_binary.dat"));
    int matches = 0;
    for (const std::string& line : b.data) {
        char t1[8] = {0}, t2[8] = {0};
        int os1 = 0, os2 = 0;
        double r0 = 0, bb = 0, cn = 0, cut = 0;
        if (std::sscanf(line.c_str(), "%7s %d %7s %d %lf %lf %lf %lf", t1, &os1, t2, &os2, &r0, &bb, &cn,
                        &cut) != 8)
            continue;
        if (std::strcmp(t1, "Li") || os1 != 1 || std::strcmp(t2, "O") || os2 != -2) continue;
        ++matches;
        EXPECT_DOUBLE_EQ(r0, 1.17096);
        EXPECT_DOUBLE_EQ(bb, 0.516);
        EXPECT_DOUBLE_EQ(cn, 5.021);
        EXPECT_DOUBLE_EQ(cut, 5.500);
    }
    EXPECT_EQ(matches, 1);
}

// ---------------------------------------------------------------- settings

TEST(DataFiles, SettingsEveryRecordParses) {
    const Block b = split_block(read_file("database_symcards.dat"));
    check_header(b, "database_symcards.dat");
    // The analyser wants DATA_START at the very start of its line.
    const std::string text = read_file("database_symcards.dat");
    EXPECT_NE(text.find("\nDATA_START\n"), std::string::npos);
    std::string error;
    const auto all = parse_settings(b.data, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(all.size(), 559u);
    for (const Setting& s : all) {
        EXPECT_LE(s.hall.size(), 15u);
        EXPECT_LE(s.hm.size(), 15u);
        EXPECT_EQ(s.ops.front(), "x,y,z") << s.hm;
        // every quoted spelling on the H-M line fits the analyser's 19 characters
        std::vector<std::string> pieces(1);
        for (char c : s.hm_line) {
            if (c == '\'') pieces.emplace_back();
            else pieces.back() += c;
        }
        for (size_t k = 1; k < pieces.size(); k += 2) EXPECT_LE(pieces[k].size(), 19u) << s.hm_line;
        for (const std::string& op : s.ops) EXPECT_LT(op.size(), 30u) << op;
    }
}

TEST(DataFiles, SettingsDefaultSettingComesFirst) {
    const auto& all = settings();
    ASSERT_EQ(all.size(), 559u);
    EXPECT_EQ(all.front().hm, "P 1");
    int k = first_with_number(all, 227);
    ASSERT_GE(k, 0);
    EXPECT_EQ(all[k].hm, "F d -3 m:2");
    EXPECT_EQ(all[k].ops.size(), 192u);
    k = first_with_number(all, 166);
    ASSERT_GE(k, 0);
    EXPECT_EQ(all[k].hm, "R -3 m:H");
    EXPECT_EQ(all[k].ops.size(), 36u);
    k = first_with_number(all, 48);
    ASSERT_GE(k, 0);
    EXPECT_EQ(all[k].hm, "P n n n:2");
    EXPECT_EQ(all[first_with_number(all, 14)].hm, "P 1 21/c 1");
    // every group 1 to 230 is there
    for (int n = 1; n <= 230; ++n) EXPECT_GE(first_with_number(all, n), 0) << n;
}

TEST(DataFiles, SettingsLookupByNumberTextFindsThatNumber) {
    // The number importer matches the number line by substring, so "2" must
    // not stop at 12 or 20 and "21" not at 210.
    const auto& all = settings();
    ASSERT_EQ(all.size(), 559u);
    for (int n = 1; n <= 230; ++n) {
        const std::string key = std::to_string(n);
        int found = -1;
        for (size_t k = 0; k < all.size() && found < 0; ++k) {
            char line[16];
            std::snprintf(line, sizeof line, "%d", all[k].number);
            if (std::strstr(line, key.c_str())) found = static_cast<int>(k);
        }
        ASSERT_GE(found, 0) << n;
        EXPECT_EQ(found, first_with_number(all, n)) << n;
    }
}

TEST(DataFiles, SettingsLookupByHermannMauguinSymbol) {
    const auto& all = settings();
    ASSERT_EQ(all.size(), 559u);
    int k = find_by_hm(all, "P 1 21/c 1");
    ASSERT_GE(k, 0);
    EXPECT_EQ(all[k].number, 14);
    EXPECT_EQ(all[k].ops.size(), 4u);
    // Spellings as structure files write them, with the group they name and
    // the setting that must be found (the first of the number).
    struct Case {
        const char* symbol;
        int number;
    } const cases[] = {{"P 1", 1},       {"P-1", 2},         {"P2_1/c", 14},  {"P21/c", 14},   {"P 21/c", 14},
                       {"P21/n", 14},    {"C2", 5},          {"C2/c", 15},    {"C 2 2 2", 21}, {"C222", 21},
                       {"C222_1", 20},   {"Pna2_1", 33},     {"Pnma", 62},    {"Cmce", 64},    {"Cmca", 64},
                       {"I4_1/a", 88},   {"P4_2/mnm", 136},  {"P4_2/nmc", 137}, {"I4_1/amd", 141},
                       {"R-3m", 166},    {"R -3 m", 166},    {"R-3c", 167},   {"P-31m", 162},  {"P6_3mc", 186},
                       {"P6_3/mmc", 194}, {"P432", 207},     {"P4_332", 212}, {"F-43m", 216},  {"Pm-3m", 221},
                       {"P m -3 m", 221}, {"Fm-3m", 225},    {"Fd-3m", 227},  {"F d -3 m", 227},
                       {"Ia-3d", 230}};
    for (const Case& c : cases) {
        const int sub = find_by_hm(all, c.symbol);
        ASSERT_GE(sub, 0) << c.symbol;
        EXPECT_EQ(all[sub].number, c.number) << c.symbol << " -> " << all[sub].hm;
        const int exact = find_by_hm_exact(all, c.symbol);
        ASSERT_GE(exact, 0) << c.symbol;
        EXPECT_EQ(all[exact].number, c.number) << c.symbol << " -> " << all[exact].hm;
        if (std::strchr(c.symbol, ':') == nullptr && c.number != 1) {
            const int first = first_with_number(all, c.number);
            if (std::string(c.symbol) != "P21/n") {
                EXPECT_EQ(all[sub].ops, all[first].ops) << c.symbol;
                EXPECT_EQ(all[exact].ops, all[first].ops) << c.symbol;
            }
        }
    }
    // Origin choice 1 and rhombohedral axes are reached by their suffix.
    k = find_by_hm(all, "F d -3 m:1");
    ASSERT_GE(k, 0);
    EXPECT_EQ(all[k].number, 227);
    EXPECT_NE(all[k].ops, all[first_with_number(all, 227)].ops);
    k = find_by_hm_exact(all, "R-3m:R");
    ASSERT_GE(k, 0);
    EXPECT_EQ(all[k].ops.size(), 12u);
    EXPECT_EQ(find_by_hm(all, "Q 9 9 9"), -1);
}

// The checks above must notice a damaged file, not pass on anything.
TEST(DataFiles, SettingsParserRejectsDamagedRecords) {
    const std::vector<std::string> good = {"# 1", "14", "'-P 2ybc'", "'P 1 21/c 1' 'P21/c'", "2", "x,y,z",
                                           "-x,-y,-z"};
    std::string error;
    EXPECT_EQ(parse_settings(good, error).size(), 1u);
    EXPECT_EQ(error, "");

    auto broken = [&](std::vector<std::string> v) {
        std::string e;
        parse_settings(v, e);
        return !e.empty();
    };
    std::vector<std::string> v = good;
    v.pop_back();  // one operation missing at the end
    EXPECT_TRUE(broken(v));
    v = good;
    v[5] = "x,y";  // two components
    EXPECT_TRUE(broken(v));
    v = good;
    v[5] = "2x,y,z";  // coefficient other than one
    EXPECT_TRUE(broken(v));
    v = good;
    v[5] = "x+1/12,y,z";  // two-digit denominator
    EXPECT_TRUE(broken(v));
    v = good;
    v[3] = "'P 1 21/c 1 extra long symbol'";  // longer than 15
    EXPECT_TRUE(broken(v));
    v = good;
    v[2] = "'-P 2ybc";  // quote not closed
    EXPECT_TRUE(broken(v));
    v = good;
    v[1] = "fourteen";
    EXPECT_TRUE(broken(v));
    v = good;
    v[4] = "0";
    EXPECT_TRUE(broken(v));
    v = {"# 1", "1"};  // truncated record
    EXPECT_TRUE(broken(v));
    v = {"\x01\x02\xff binary", "14"};
    EXPECT_TRUE(broken(v));
    EXPECT_TRUE(parse_settings({}, error).empty());

    std::string why;
    EXPECT_TRUE(operation_ok("-x+y+2/3,-x+1/3,z+1/3", why));
    EXPECT_TRUE(operation_ok("1/2-x,y,0.5+z", why));
    EXPECT_FALSE(operation_ok("x,y,z,x", why));
    EXPECT_FALSE(operation_ok("x,y,a", why));
    EXPECT_FALSE(operation_ok(std::string(36, 'x'), why));
}

TEST(DataFiles, BlockSplitIgnoresTextBeforeStartAndAfterEnd) {
    const Block b = split_block("header\nmore\nDATA_START\nline 1\r\nline 2\nDATA_END\nafter\n");
    EXPECT_TRUE(b.has_start);
    EXPECT_TRUE(b.has_end);
    ASSERT_EQ(b.data.size(), 2u);
    EXPECT_EQ(strip_cr(b.data[0]), "line 1");
    const Block none = split_block("");
    EXPECT_FALSE(none.has_start);
    EXPECT_TRUE(none.data.empty());
    const Block cut = split_block("DATA_START\nx\n");
    EXPECT_FALSE(cut.has_end);
}

}  // namespace
