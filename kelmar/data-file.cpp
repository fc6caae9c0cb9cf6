// The block of data lines of a data file.
#include "data-file.hpp"

#include <cstdio>
#include <fstream>

namespace {

// Where a line stands in the file: before the block, in it, or at its end.
enum class Place { before, data, end };

// Moves past the marker lines; a line is data only once the start marker has been seen.
Place place_of(const std::string& line, bool& started) {
    if (!started) {
        started = line.find("DATA_START") != std::string::npos;
        return Place::before;
    }
    return line.find("DATA_END") != std::string::npos ? Place::end : Place::data;
}

}  // namespace

bool visit_data_block(const char* path, DataLineRead read, const std::function<bool(const std::string&)>& visit) {
    if (path == nullptr) return false;
    bool started = false;
    if (read == DataLineRead::buffered) {
        std::FILE* fp = std::fopen(path, "rb");
        if (fp == nullptr) return false;
        char buffer[1024];
        while (std::fgets(buffer, sizeof(buffer), fp) != nullptr) {
            const std::string line(buffer);
            const Place at = place_of(line, started);
            if (at == Place::before) continue;
            if (at == Place::end || visit(line)) break;
        }
        std::fclose(fp);
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        const Place at = place_of(line, started);
        if (at == Place::before) continue;
        if (at == Place::end || visit(line)) break;
    }
    return true;
}

bool read_data_block(const char* path, std::vector<std::string>& lines) {
    return visit_data_block(path, DataLineRead::whole, [&](const std::string& line) {
        lines.push_back(line);
        return false;
    });
}
