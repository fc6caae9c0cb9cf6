// The data-file block reader: which lines reach the readers, in each of its two read forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli.hpp"
#include "data-file.hpp"

namespace {

std::vector<std::string> visited(const std::string& path, DataLineRead read, bool* opened, std::size_t stop_after = 0) {
    std::vector<std::string> lines;
    *opened = visit_data_block(path.c_str(), read, [&](const std::string& line) {
        lines.push_back(line);
        return stop_after != 0 && lines.size() == stop_after;
    });
    return lines;
}

}  // namespace

TEST(DataBlock, LinesBetweenTheMarkersInBothReadForms) {
    using V = std::vector<std::string>;
    const std::string z1500(1500, 'z'), y1020(1020, 'y');
    const struct {
        const char* what;
        std::string text;
        V whole, buffered;
    } cases[] = {
        {"comment, CR LF, text after the end", "note\nDATA_START\na\r\nb\nDATA_END\nc\n", {"a\r", "b"},
         {"a\r\n", "b\n"}},
        {"marker inside a line, no end marker, no final newline", "x DATA_START y\nq\nr", {"q", "r"}, {"q\n", "r"}},
        {"no start marker", "a\nDATA_END\nb\n", {}, {}},
        {"end marker on the start line's successor only", "DATA_START DATA_END\nk\nDATA_END\n", {"k"}, {"k\n"}},
        // A 1024-byte buffer hands a long line on in pieces of 1023 characters.
        {"long line", "DATA_START\n" + z1500 + "\nDATA_END\n", {z1500},
         {std::string(1023, 'z'), std::string(477, 'z') + "\n"}},
        // ... and a marker cut by a piece boundary is not seen.
        {"end marker across a piece boundary", "DATA_START\n" + y1020 + "DATA_END\nw\n", {},
         {y1020 + "DAT", "A_END\n", "w\n"}},
    };
    testcli::ScratchDir d;
    const std::string path = (d.path() / "block.dat").string();
    for (const auto& c : cases) {
        testcli::spit(path, c.text);
        bool opened = false;
        EXPECT_EQ(visited(path, DataLineRead::whole, &opened), c.whole) << c.what;
        EXPECT_TRUE(opened) << c.what;
        EXPECT_EQ(visited(path, DataLineRead::buffered, &opened), c.buffered) << c.what;
        EXPECT_TRUE(opened) << c.what;
        std::vector<std::string> all;
        EXPECT_TRUE(read_data_block(path.c_str(), all)) << c.what;
        EXPECT_EQ(all, c.whole) << c.what;
    }

    // The reader stops where the visitor asks; a missing file or null path is reported, silently.
    testcli::spit(path, "DATA_START\n1\n2\n3\n");
    bool opened = false;
    EXPECT_EQ(visited(path, DataLineRead::buffered, &opened, 2), (V{"1\n", "2\n"}));
    for (DataLineRead read : {DataLineRead::whole, DataLineRead::buffered}) {
        EXPECT_TRUE(visited((d.path() / "missing.dat").string(), read, &opened).empty());
        EXPECT_FALSE(opened);
        EXPECT_FALSE(visit_data_block(nullptr, read, [](const std::string&) { return false; }));
    }
    std::vector<std::string> none;
    EXPECT_FALSE(read_data_block(nullptr, none));
    EXPECT_TRUE(none.empty());
}
