// CIF text to data blocks, on gemmi's CIF grammar. Only this file includes the parser: it is
// heavy to compile and nothing else needs it.
#include "cif-parse.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <set>

#include <gemmi/cif.hpp>

namespace {

// What a file that is not CIF text is, from its bytes; empty when it may be text.
std::string not_text_reason(const std::string& s) {
    auto starts = [&s](const char* magic, std::size_t n) { return s.size() >= n && std::memcmp(s.data(), magic, n) == 0; };
    if (starts("\x1f\x8b", 2)) return "the file is gzip-compressed; decompress it first (gunzip)";
    if (starts("PK\x03\x04", 4)) return "the file is a zip archive; extract the CIF from it first";
    if (starts("BZh", 3)) return "the file is bzip2-compressed; decompress it first (bunzip2)";
    if (starts("\xfd" "7zXZ", 5)) return "the file is xz-compressed; decompress it first (unxz)";
    if (starts("\xff\xfe", 2) || starts("\xfe\xff", 2)) return "the file is UTF-16 text; save it as ASCII or UTF-8";
    std::size_t control = 0;
    for (unsigned char c : s) {
        if (c == 0) return "the file is not text (it holds NUL bytes)";
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != 0x1a) control++;
    }
    if (control > 0 && control * 100 >= s.size()) return "the file is not text (it holds binary bytes)";
    return {};
}

// Control characters a text editor leaves (form feed, DOS end-of-file mark) are blanks to CIF.
void normalise_text(std::string& s, std::string& note) {
    if (s.size() >= 3 && std::memcmp(s.data(), "\xef\xbb\xbf", 3) == 0) s.erase(0, 3);
    const bool has_lf = s.find('\n') != std::string::npos;
    bool lone_cr = false;
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size(); i++) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') continue;  // CR LF: the LF follows
            lone_cr = true;
            out += '\n';
        } else if (c < 0x20 && c != '\n' && c != '\t') {
            out += ' ';
        } else {
            out += static_cast<char>(c);
        }
    }
    s.swap(out);
    if (lone_cr && !has_lf) note = "lines end with a carriage return alone (classic Mac OS); read as line ends";
}

// A CIF starts with a data block heading; a fragment without one is read as one unnamed block.
bool has_block_heading(const std::string& s) {
    std::size_t p = 0;
    while (p < s.size()) {
        while (p < s.size() && std::isspace(static_cast<unsigned char>(s[p]))) p++;
        if (p >= s.size()) return false;
        if (s[p] == '#') {
            p = s.find('\n', p);
            if (p == std::string::npos) return false;
            continue;
        }
        auto word = [&](const char* w) {
            const std::size_t n = std::strlen(w);
            if (s.size() - p < n) return false;
            for (std::size_t k = 0; k < n; k++)
                if (std::tolower(static_cast<unsigned char>(s[p + k])) != w[k]) return false;
            return true;
        };
        return word("data_") || word("global_");
    }
    return false;
}

std::string value_text(const std::string& raw) {
    if (gemmi::cif::is_null(raw)) return raw;
    std::string v = gemmi::cif::as_string(raw);
    if (raw[0] == ';') {
        // a text field holds a value on lines of its own: the line breaks around it are no part
        const std::size_t b = v.find_first_not_of(" \t\n");
        const std::size_t e = v.find_last_not_of(" \t\n");
        v = b == std::string::npos ? std::string() : v.substr(b, e - b + 1);
    }
    return v;
}

// A data name may appear once in a block (in either spelling): which of two values a reader
// took would be chance. False with the reason for the first name given twice.
bool collect(const gemmi::cif::Document& doc, std::vector<CifBlock>& blocks, std::string& why) {
    for (const auto& b : doc.blocks) {
        CifBlock v;
        v.name = b.name;
        std::set<std::string> seen;
        auto first_time = [&](const std::string& tag) {
            if (seen.insert(tag).second) return true;
            why = "the data name " + tag + " is given twice in data_" + b.name;
            return false;
        };
        for (const auto& item : b.items) {
            if (item.type == gemmi::cif::ItemType::Pair) {
                if (!first_time(cif_canonical_tag(item.pair[0]))) return false;
                v.pairs.emplace_back(cif_canonical_tag(item.pair[0]), value_text(item.pair[1]));
            } else if (item.type == gemmi::cif::ItemType::Loop) {
                const auto& loop = item.loop;
                const std::size_t w = loop.tags.size();
                if (w == 0) continue;
                CifLoop table;
                std::vector<std::string> head;
                for (const auto& t : loop.tags) {
                    head.push_back(cif_canonical_tag(t));
                    if (!first_time(head.back())) return false;
                }
                table.push_back(std::move(head));
                for (std::size_t r = 0; r + w <= loop.values.size(); r += w) {
                    std::vector<std::string> row;
                    row.reserve(w);
                    for (std::size_t c = 0; c < w; c++) row.push_back(value_text(loop.values[r + c]));
                    table.push_back(std::move(row));
                }
                v.loops.push_back(std::move(table));
            }
        }
        blocks.push_back(std::move(v));
    }
    return true;
}

bool parse(const std::string& s, std::vector<CifBlock>& blocks, std::string& why) {
    try {
        gemmi::cif::Document doc;
        tao::pegtl::memory_input<> in(s.data(), s.size(), "line");
        gemmi::cif::parse_input(doc, in);
        return collect(doc, blocks, why);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        why = std::string("malformed CIF: ") + e.what();
        std::replace(why.begin(), why.end(), '\n', ' ');
        return false;
    }
}

}  // namespace

bool cif_parse_blocks(const std::string& text, std::vector<CifBlock>& blocks, std::string& why,
                      std::string& note) {
    blocks.clear();
    why.clear();
    note.clear();
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        why = "the file is empty";
        return false;
    }
    why = not_text_reason(text);
    if (!why.empty()) return false;
    std::string s = text;
    normalise_text(s, note);
    if (!has_block_heading(s)) s.insert(0, "data_\n");
    if (parse(s, blocks, why)) return true;
    // Letters outside ASCII (an author's name written unquoted) are outside CIF 1.1; they are
    // never part of a number, so the file is read once more with them blanked out.
    if (std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) return false;
    for (char& c : s)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    std::string second;
    blocks.clear();
    if (!parse(s, blocks, second)) return false;
    why.clear();
    return true;
}
