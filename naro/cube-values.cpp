// The energy lines of a cube file, one value per line, parsed in parallel into the grid.
// The text is read in blocks of whole lines; each block is split at line ends into one part per
// thread, every part counts its lines and then parses them straight into their grid points.
#include "cube-values.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "workshare.hpp"

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 24;

inline bool naro_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

// One value line [b, e) as strtod would read it: leading space, an optional sign, a decimal
// number, trailing space only. Values strtod turns into a denormal or zero go through strtod.
bool naro_parse_value_line(const char* b, const char* e, double& v) {
    while (b < e && naro_space(*b)) ++b;
    const char* start = b;
    if (b < e && *b == '+') {
        ++b;
        if (b < e && *b == '-') return false;
    }
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec == std::errc::result_out_of_range) {
        const std::string text(start, e);
        char* end = nullptr;
        v = std::strtod(text.c_str(), &end);
        p = start + (end - text.c_str());
    } else if (ec != std::errc()) {
        return false;
    }
    if (!std::isfinite(v)) return false;
    while (p < e && naro_space(*p)) ++p;
    return p == e;
}

bool naro_blank_range(const char* b, const char* e) {
    for (; b < e; ++b)
        if (!naro_space(*b)) return false;
    return true;
}

// One thread's share of a block: its byte range, its first line number, and what it found.
struct Part {
    const char* begin = nullptr;
    const char* end = nullptr;
    long long first_line = 0;
    long long lines = 0;
    long long first_invalid = -1;  // first value line that is not a number
    bool extra = false;            // a non-blank line after the last value
    bool has_lowest = false;
    double lowest = 0;
};

}  // namespace

NaroValueRead naro_read_value_lines(std::FILE* fp, const int file_grid[3], const int kept_grid[3],
                                    std::vector<double>& energy, int threads) {
    const long long nb = file_grid[1], nc = file_grid[2];
    const long long total = static_cast<long long>(file_grid[0]) * nb * nc;
    const long long kb = kept_grid[1], kc = kept_grid[2];
    const int ka = kept_grid[0];
    if (threads < 1) threads = 1;

    NaroValueRead result;
    bool have_lowest = false;
    long long first_invalid = -1;
    bool extra = false;
    long long line_base = 0;

    std::vector<char> buf(kBlockBytes);
    std::size_t held = 0;
    std::vector<Part> parts(static_cast<std::size_t>(threads));
    bool at_end = false;
    while (!at_end) {
        if (held == buf.size()) buf.resize(buf.size() * 2);  // one line longer than a block
        const std::size_t got = std::fread(buf.data() + held, 1, buf.size() - held, fp);
        held += got;
        at_end = got == 0 || std::feof(fp) || std::ferror(fp);
        // Whole lines only; at the end of the file the last line may lack its line end.
        std::size_t usable = held;
        if (!at_end) {
            const char* last = static_cast<const char*>(memrchr(buf.data(), '\n', held));
            if (last == nullptr) continue;
            usable = static_cast<std::size_t>(last - buf.data()) + 1;
        }
        if (usable == 0) break;
        for (Part& part : parts) part = Part{};
        const int np = workshare_text_pieces(buf.data(), usable, threads, 4096, parts,
                                             [](const char* aim, const char* stop) {
                                                 const char* nl = static_cast<const char*>(
                                                     std::memchr(aim, '\n', static_cast<std::size_t>(stop - aim)));
                                                 return nl != nullptr ? nl + 1 : stop;
                                             });
        workshare_parts(np, threads, [&](long t) {
            Part& part = parts[static_cast<std::size_t>(t)];
            part.lines = std::count(part.begin, part.end, '\n');
            if (part.end > part.begin && part.end[-1] != '\n') ++part.lines;
        });
        long long next_line = line_base;
        for (int t = 0; t < np; ++t) {
            parts[static_cast<std::size_t>(t)].first_line = next_line;
            next_line += parts[static_cast<std::size_t>(t)].lines;
        }
        workshare_parts(np, threads, [&](long t) {
            Part& part = parts[static_cast<std::size_t>(t)];
            long long line = part.first_line;
            for (const char* b = part.begin; b < part.end; ++line) {
                const char* nl = static_cast<const char*>(std::memchr(b, '\n', static_cast<std::size_t>(part.end - b)));
                const char* e = nl ? nl : part.end;
                if (line < total) {
                    double v = 0;
                    if (!naro_parse_value_line(b, e, v)) {
                        if (part.first_invalid < 0) part.first_invalid = line;
                    } else {
                        const long long i = line / (nb * nc), j = (line / nc) % nb, k = line % nc;
                        if (i < ka && j < kb && k < kc) {
                            energy[static_cast<std::size_t>((i * kb + j) * kc + k)] = v;
                            if (!part.has_lowest || v < part.lowest) part.lowest = v;
                            part.has_lowest = true;
                        }
                    }
                } else if (!part.extra && !naro_blank_range(b, e)) {
                    part.extra = true;
                }
                b = nl ? nl + 1 : part.end;
            }
        });
        for (int t = 0; t < np; ++t) {
            const Part& part = parts[static_cast<std::size_t>(t)];
            if (first_invalid < 0 && part.first_invalid >= 0) first_invalid = part.first_invalid;
            extra = extra || part.extra;
            if (part.has_lowest && (!have_lowest || part.lowest < result.lowest)) {
                result.lowest = part.lowest;
                have_lowest = true;
            }
        }
        line_base = next_line;
        std::memmove(buf.data(), buf.data() + usable, held - usable);
        held -= usable;
        // A bad value decides the outcome: the rest of the file need not be read.
        if (first_invalid >= 0) break;
    }
    if (first_invalid >= 0)
        result.status = NaroValueStatus::invalid_value;
    else if (line_base < total)
        result.status = NaroValueStatus::missing_values;
    else if (extra)
        result.status = NaroValueStatus::extra_values;
    if (!have_lowest) result.lowest = 9999.9;
    return result;
}
