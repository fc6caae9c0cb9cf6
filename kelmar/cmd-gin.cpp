// Handlers of the GULP commands.
#include <cstdio>
#include <cstring>
#include <string>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "gin.hpp"
#include "kelmar.hpp"
#include "property-assemble.hpp"

namespace {

// Default library name: the input name cut at the first '.' of its file-name part that follows
// another character ("dir.v2/x.cif" -> "dir.v2/x", ".hidden.cif" -> ".hidden"), then ".lib".
std::string library_name(const char* input) {
    std::string name(input);
    const std::size_t sep = name.rfind('/');
    const std::size_t start = sep == std::string::npos ? 0 : sep + 1;
    const std::size_t dot = name.find('.', start + 1);
    if (start < name.size() && dot != std::string::npos) name.resize(dot);
    return name + ".lib";
}

bool sf_argument(const KELMAR_CMD_OPT* opt, int i, double* sf) {
    return kelmar_cmd_opt_optional_double(opt, i, "screening factor", sf);
}

void library_usage(const char* word, const char* what) {
    std::printf("Command: %s [input.cif] | {sf} {output_name}\n\n", word);
    std::printf("  input.cif:   the structure whose parameters are written.\n");
    std::printf("  sf:          Coulomb screening factor (default -1.0: searched automatically).\n");
    std::printf("  output_name: the %s library (default: input name up to its first '.', + \".lib\").\n\n", what);
    std::printf("Example: ./kelmar.x %s Li2O.cif\n", word);
    std::printf("Example: ./kelmar.x %s Li2O.cif 0.75 Li2O_ff.lib\n", word);
}

int library_command(KELMAR_CMD_OPT* opt, bool eam) {
    double sf = -1.0;
    if (!sf_argument(opt, 3, &sf)) return 1;
    const char* given = kelmar_cmd_opt_arg(opt, 4);
    const std::string output = given != nullptr ? std::string(given) : library_name(opt->argv[2]);
    kelmar_cmd_result_file(output);
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    auto ppt = kelmar_cmd_opt_assemble(opt, cell.get(), nullptr, 0, sf);
    if (ppt == nullptr) return 1;
    const int rc = eam ? kelmar_gin_eam_write_to_file(ppt.get(), sf, output.c_str())
                       : kelmar_gin_lib_write_to_file(ppt.get(), sf, output.c_str());
    if (rc != 0) {
        std::fprintf(stderr, eam ? "Error: kelmar_gin_eam_write_to_file() returns non-zero.\n"
                                 : "Error: kelmar_gin_lib_write_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

// The structure given on the command line, its parameters and the printed library.
int text_library(const KELMAR_CMD_OPT* opt, double sf) {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure_text(opt, &cell, &sym)) return 1;
    auto ppt = kelmar_cmd_opt_assemble(opt, cell.get(), nullptr, 0, sf);
    if (ppt == nullptr) return 1;
    auto lib = kelmar_gin_lib_import_from_property(ppt.get());
    if (lib == nullptr) {
        std::fprintf(stderr, "Error: kelmar_gin_lib_import_from_property() returns NULL.\n");
        return 1;
    }
    std::printf("\n=====================================\n\n");
    std::fwrite(lib->content.data(), 1, lib->content.size(), stdout);
    return 0;
}

}  // namespace

int kelmar_cmd_opt_do_gen_gin_lib(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        library_usage("--gen-gin-lib", "Morse-type");
        return 0;
    }
    return library_command(opt, false);
}

int kelmar_cmd_opt_do_gen_gin_eam(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        library_usage("--gen-gin-eam", "embedded-atom");
        return 0;
    }
    return library_command(opt, true);
}

int kelmar_cmd_opt_do_gen_gin(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --gen-gin [input.cif] | {sf} {output_name}\n\n");
        std::printf("  input.cif:   the structure; partially occupied sites are resolved at random in the\n");
        std::printf("               default supercell first.\n");
        std::printf("  sf:          Coulomb screening factor (default -1.0: searched automatically).\n");
        std::printf("  output_name: base name of the .gin file (default: the input name without extension).\n\n");
        std::printf("Example: ./kelmar.x --gen-gin Li2O.cif\n");
        std::printf("Example: ./kelmar.x --gen-gin Li2O.cif 0.75 Li2O_md\n");
        return 0;
    }
    double sf = -1.0;
    if (!sf_argument(opt, 3, &sf)) return 1;
    auto conf = kelmar_gin_conf_new(opt->argc >= 5 ? opt->argv[4] : opt->argv[2]);
    conf->sf = sf;
    kelmar_cmd_result_file(conf->filename + ".gin");
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    if (kelmar_gin_write_to_file(cell.get(), opt->dir_unitary.c_str(), opt->dir_binary.c_str(), conf.get(), opt->random) != 0) {
        std::fprintf(stderr, "Error: kelmar_gin_write_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_text_gen_gin_lib(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 4) {
        std::fprintf(stderr, "Error: not enough arguments.\n");
        return 1;
    }
    return text_library(opt, -1.0);
}

int kelmar_cmd_opt_do_text_gen_gin_lib_set_sf(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 5) {
        std::fprintf(stderr, "Error: not enough arguments.\n");
        return 1;
    }
    double sf = -0.1;
    if (!kelmar_cmd_opt_parse_double(opt->argv[2], "sf", &sf)) return 1;
    return text_library(opt, sf);
}
