// The per-run option record (start-up, data-file discovery, text mode) and the helpers every
// command handler uses to read its arguments and load its structure.
#include "cmd-opt.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <unistd.h>

#include "cif-read.hpp"
#include "oxidation-states.hpp"
#include "property-assemble.hpp"
#include "text-buffer.hpp"

namespace {

const char KELMAR_DIR_SEPARATOR = '/';
const char* const KELMAR_DIR_FALLBACK = "./";

// The directory of the running executable, for a program found through PATH.
std::string executable_directory() {
    char buf[1024];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return KELMAR_DIR_FALLBACK;
    buf[n] = '\0';
    std::string dir;
    kelmar_cmd_opt_split_path(&dir, nullptr, buf);
    return dir;
}

}  // namespace

void kelmar_cmd_opt_split_path(std::string* dir, std::string* name, const char* path) {
    const char* last = std::strrchr(path, KELMAR_DIR_SEPARATOR);
    if (dir != nullptr) *dir = last ? std::string(path, static_cast<std::size_t>(last - path + 1)) : KELMAR_DIR_FALLBACK;
    if (name != nullptr) *name = last ? std::string(last + 1) : std::string(path);
}

void kelmar_cmd_opt_get_type(char* type, const char* str) {
    std::strncpy(type, str, 2);
    type[2] = '\0';
}

std::unique_ptr<KELMAR_CMD_OPT> kelmar_cmd_opt_init(int argc, char** argv) {
    const char* argv0 = (argc > 0 && argv != nullptr && argv[0] != nullptr) ? argv[0] : "";
    if (std::strlen(argv0) >= 1000) {
        std::fprintf(stderr, "Error: executable path too long.\n");
        return nullptr;
    }
    auto opt = std::make_unique<KELMAR_CMD_OPT>();
    opt->argc = argc;
    opt->argv = argv;
    if (std::strchr(argv0, KELMAR_DIR_SEPARATOR) != nullptr)
        kelmar_cmd_opt_split_path(&opt->path_executable, nullptr, argv0);
    else
        opt->path_executable = executable_directory();

    std::string* const fields[3] = {&opt->dir_unitary, &opt->dir_binary, &opt->dir_symcards};
    const char* const files[3] = {"database_unitary.dat", "database_binary.dat", "database_symcards.dat"};
    for (int i = 0; i < 3; i++) {
        std::string path = opt->path_executable.substr(0, 1023);
        path += files[i];
        std::FILE* probe = std::fopen(path.c_str(), "rb");
        if (probe == nullptr) std::printf("Warning: unable to find %s\n", path.c_str());
        else std::fclose(probe);
        *fields[i] = path;
    }
    opt->mode_text = "-:text";
    opt->mode_newline = "-:nl";
    return opt;
}

int kelmar_cmd_opt_print(KELMAR_CMD_OPT* opt) {
    if (opt == nullptr) {
        std::printf("CMD_OPT: (not allocated)\n");
        return 0;
    }
    std::printf("CMD_OPT: dir_unitary=     %s\n", opt->dir_unitary.c_str());
    std::printf("CMD_OPT: dir_binary=      %s\n", opt->dir_binary.c_str());
    std::printf("CMD_OPT: dir_symcards=    %s\n", opt->dir_symcards.c_str());
    std::printf("CMD_OPT: path_executable= %s\n", opt->path_executable.c_str());
    std::printf("CMD_OPT: mode_text=   \"%s\"\n", opt->mode_text.c_str());
    std::printf("CMD_OPT: mode_newline=\"%s\"\n", opt->mode_newline.c_str());
    return 0;
}

std::unique_ptr<KELMAR_TEXT> kelmar_cmd_opt_cat_tail(const KELMAR_CMD_OPT* opt) {
    int key = -1;
    for (int i = 0; i <= opt->argc - 2; i++)
        if (opt->mode_text == opt->argv[i]) key = i;
    if (key < 0) {
        std::fprintf(stderr, "Error: text-mode key phrase not found.\n");
        return nullptr;
    }
    auto text = kelmar_text_new();
    for (int i = key + 1; i < opt->argc; i++) {
        if (opt->mode_newline == opt->argv[i]) {
            kelmar_text_append(text.get(), "\n");
        } else {
            kelmar_text_append(text.get(), " ");
            kelmar_text_append(text.get(), opt->argv[i]);
        }
    }
    return text;
}

// --- handler helpers ---------------------------------------------------------------------

// Numbers are read as the formatted scanning of "%d", "%ld" and "%lf" reads them (leading blanks
// skipped, a sign allowed, trailing text ignored), but a value that does not fit the type is
// refused rather than cut down ("4294967297" would scan as the int 1), and so are "nan", "inf"
// and overflowing reals, which no parameter of any command can use.
static bool wrong_parameter(const char* name) {
    std::fprintf(stderr, "Error: wrong parameter %s.\n", name);
    return false;
}

bool kelmar_cmd_opt_parse_int(const char* arg, const char* name, int* out) {
    long v = 0;
    if (!kelmar_cmd_opt_parse_long(arg, name, &v)) return false;
    if (v < INT_MIN || v > INT_MAX) return wrong_parameter(name);
    *out = static_cast<int>(v);
    return true;
}

bool kelmar_cmd_opt_parse_long(const char* arg, const char* name, long* out) {
    if (arg == nullptr) return wrong_parameter(name);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(arg, &end, 10);
    if (end == arg || errno == ERANGE) return wrong_parameter(name);
    *out = v;
    return true;
}

bool kelmar_cmd_opt_parse_double(const char* arg, const char* name, double* out) {
    if (arg == nullptr) return wrong_parameter(name);
    char* end = nullptr;
    const double v = std::strtod(arg, &end);
    if (end == arg || !std::isfinite(v)) return wrong_parameter(name);
    *out = v;
    return true;
}

bool kelmar_cmd_opt_parse_flag(const char* arg, bool def) {
    if (arg == nullptr) return def;
    if (def) return !(arg[0] == 'f' || arg[0] == 'F');
    return arg[0] == 't' || arg[0] == 'T';
}

std::string kelmar_cmd_opt_name_append(const char* input, const char* suffix) {
    return std::string(input) + suffix;
}

std::string kelmar_cmd_opt_name_replace4(const char* input, const char* suffix) {
    std::string base(input);
    base.resize(base.size() >= 4 ? base.size() - 4 : 0);
    return base + suffix;
}

const char* kelmar_cmd_opt_arg(const KELMAR_CMD_OPT* opt, int i) {
    return (i >= 0 && i < opt->argc) ? opt->argv[i] : nullptr;
}

bool kelmar_cmd_opt_load_structure(const KELMAR_CMD_OPT* opt, const char* cif, std::unique_ptr<KELMAR_CELL>* cell,
                                   std::unique_ptr<KELMAR_SYMMETRY>* sym, bool need_neutral, const char* mobile) {
    if (kelmar_cell_import_cif_from_file(cell, sym, cif, opt->dir_symcards.c_str(), opt->dir_unitary.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
        return false;
    }
    // states the file leaves out, and the charge balance the command can live with
    return settle_states_for_command(cell->get(), sym->get(), opt->dir_unitary.c_str(), opt->dir_binary.c_str(),
                                     need_neutral, mobile);
}

bool kelmar_cmd_opt_load_structure_text(const KELMAR_CMD_OPT* opt, std::unique_ptr<KELMAR_CELL>* cell,
                                        std::unique_ptr<KELMAR_SYMMETRY>* sym) {
    auto text = kelmar_cmd_opt_cat_tail(opt);
    if (text == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cmd_opt_cat_tail() returns NULL.\n");
        return false;
    }
    if (kelmar_cell_import_cif_from_text(cell, sym, text.get(), opt->dir_symcards.c_str(),
                                         opt->dir_unitary.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_text() returns non-zero.\n");
        return false;
    }
    return true;
}

bool kelmar_cmd_opt_optional_double(const KELMAR_CMD_OPT* opt, int i, const char* name, double* value) {
    const char* arg = kelmar_cmd_opt_arg(opt, i);
    return arg == nullptr || kelmar_cmd_opt_parse_double(arg, name, value);
}

bool kelmar_cmd_opt_optional_long(const KELMAR_CMD_OPT* opt, int i, const char* name, long* value) {
    const char* arg = kelmar_cmd_opt_arg(opt, i);
    return arg == nullptr || kelmar_cmd_opt_parse_long(arg, name, value);
}

std::unique_ptr<KELMAR_PROPERTY> kelmar_cmd_opt_assemble(const KELMAR_CMD_OPT* opt, KELMAR_CELL* cell,
                                                         const char* type, int os, double sf) {
    auto ppt = kelmar_property_import_from_cell(cell, type, os, sf, opt->dir_unitary.c_str(), opt->dir_binary.c_str());
    if (ppt == nullptr) std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
    return ppt;
}
