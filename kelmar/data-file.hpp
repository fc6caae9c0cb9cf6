// The data files that lie beside the executables (database_unitary.dat, database_binary.dat, the
// space-group settings) keep their records between the first line that contains "DATA_START" and
// the next line that contains "DATA_END"; everything before is free comment text and everything
// after is ignored. Each reader reopens its file and rescans it from the start.
#pragma once

#include <functional>
#include <string>
#include <vector>

// How the lines of a data file reach the reader.
enum class DataLineRead {
    whole,     // whole lines of any length without the '\n' (a '\r' before it stays)
    buffered,  // as a 1024-byte line buffer reads them: pieces of at most 1023 characters, '\n' kept
};

// Hands every line of the data block of the file at path to visit, which returns true to stop.
// The marker lines themselves are not handed on. False, having printed nothing, when the file
// cannot be opened (also for a null path).
bool visit_data_block(const char* path, DataLineRead read, const std::function<bool(const std::string&)>& visit);

// The whole lines of the data block; false, having printed nothing, when the file cannot be opened.
bool read_data_block(const char* path, std::vector<std::string>& lines);
