// Landscape topology commands: --fft, --fft-cubes and --fp-map.
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "cube.hpp"
#include "fft-export.hpp"
#include "fp-export.hpp"

namespace {

// The smallest grid the neighbour scans make sense on: with fewer points along an axis the
// point before and the point after are the same point.
constexpr long kMinAnalysisPoints = 3;

// Reads the whole landscape of an analysis command and checks that its grid can be analysed;
// false after the error line.
bool load_landscape(const KELMAR_CMD_OPT* opt, const char* file, bool periodic, std::unique_ptr<KELMAR_CUBE>* cube) {
    if (kelmar_cube_import_from_file(cube, nullptr, file, periodic, opt->dir_unitary.c_str(), true) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_import_from_file() returns non-zero.\n");
        return false;
    }
    for (int r = 0; r < 3; ++r)
        if ((*cube)->n[r] < kMinAnalysisPoints) {
            std::fprintf(stderr, "Error: %s has %ld grid point(s) along axis %d; the analysis needs at least %ld.\n",
                         file, (*cube)->n[r], r + 1, kMinAnalysisPoints);
            return false;
        }
    if (!fft_landscape_finite(cube->get())) return false;
    if (periodic && cube_grid_repeats_boundary_planes(cube->get())) {
        std::fprintf(stderr, "Error: %s repeats its boundary planes (a non-periodic cube); give the periodic flag f.\n",
                     file);
        return false;
    }
    return true;
}

// Whether files can be created beside the given output name; checked before the analysis runs.
bool output_place_writable(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        std::fprintf(stderr, "Error: unable to write to directory %s.\n", dir.c_str());
        return false;
    }
    return true;
}

}  // namespace

int kelmar_cmd_opt_do_fft(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --fft [input.cube] | {cap} {flag:periodic} {output_name}\n\n");
        std::printf("  [input.cube]     landscape cube file written by --gen-cube.\n");
        std::printf("  {cap}            keep critical points at most this many eV above the lowest; 0 or below:\n");
        std::printf("                   keep all (default -0.1).\n");
        std::printf("  {flag:periodic}  t/f: f for a file that repeats its boundary planes (default t).\n");
        std::printf("  {output_name}    base of the output names <output_name>.fft.cif and .fft.txt\n");
        std::printf("                   (default: the input name).\n");
        std::printf("Example: ./kelmar.x --fft LiFePO4.cube\n");
        std::printf("Example: ./kelmar.x --fft LiFePO4.cube 1.0 t LiFePO4\n");
        return 0;
    }
    double cap = -0.1;
    if (const char* a = kelmar_cmd_opt_arg(opt, 3); a != nullptr && !kelmar_cmd_opt_parse_double(a, "cap", &cap))
        return 1;
    const bool periodic = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 4), true);
    const char* base = kelmar_cmd_opt_arg(opt, 5) != nullptr ? opt->argv[5] : opt->argv[2];
    if (!output_place_writable(base)) return 1;
    for (const char* suffix : {".fft.cif", ".fft.txt"}) kelmar_cmd_result_file(std::string(base) + suffix);
    std::unique_ptr<KELMAR_CUBE> cube;
    if (!load_landscape(opt, opt->argv[2], periodic, &cube)) return 1;
    if (kelmar_fft_analyze_export_to_file(cube.get(), cap, base) != 0) {
        std::fprintf(stderr, "Error: kelmar_fft_analyze_export_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_fft_cubes(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --fft-cubes [input.cube] | {flag:periodic} {output_name}\n\n");
        std::printf("  [input.cube]     landscape cube file written by --gen-cube.\n");
        std::printf("  {flag:periodic}  t/f: f for a file that repeats its boundary planes (default t).\n");
        std::printf("  {output_name}    base of the output names <output_name>.fft.f0.cube ... .fft.slope.cube\n");
        std::printf("                   (default: the input name).\n");
        std::printf("Example: ./kelmar.x --fft-cubes LiFePO4.cube\n");
        std::printf("Example: ./kelmar.x --fft-cubes LiFePO4.cube t LiFePO4\n");
        return 0;
    }
    const bool periodic = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 3), true);
    const char* base = kelmar_cmd_opt_arg(opt, 4) != nullptr ? opt->argv[4] : opt->argv[2];
    if (!output_place_writable(base)) return 1;
    for (const char* suffix : {".fft.f0.cube", ".fft.f1.cube", ".fft.f2.cube", ".fft.laplacian.cube", ".fft.slope.cube"})
        kelmar_cmd_result_file(std::string(base) + suffix);
    for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s)
            kelmar_cmd_result_file(std::string(base) + ".fft.k" + std::to_string(r) + std::to_string(s) + ".cube");
    std::unique_ptr<KELMAR_CUBE> cube;
    if (!load_landscape(opt, opt->argv[2], periodic, &cube)) return 1;
    if (kelmar_fft_analyze_export_cubes_to_file(cube.get(), base) != 0) {
        std::fprintf(stderr, "Error: kelmar_fft_analyze_export_cubes_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_fp_map(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --fp-map [input.cube] | {barrier_max} {flag:periodic} {output_name}\n\n");
        std::printf("  [input.cube]     landscape cube file written by --gen-cube.\n");
        std::printf("  {barrier_max}    keep half-paths whose barrier is at most this many eV; 0 or below:\n");
        std::printf("                   keep all (default -0.1).\n");
        std::printf("  {flag:periodic}  t/f: f for a file that repeats its boundary planes (default t).\n");
        std::printf("  {output_name}    path-map CIF file (default: input name + .fp.cif).\n");
        std::printf("Example: ./kelmar.x --fp-map LiFePO4.cube\n");
        std::printf("Example: ./kelmar.x --fp-map LiFePO4.cube 0.8 t LiFePO4_paths.cif\n");
        return 0;
    }
    double barrier_max = -0.1;
    if (const char* a = kelmar_cmd_opt_arg(opt, 3);
        a != nullptr && !kelmar_cmd_opt_parse_double(a, "barrier_max", &barrier_max))
        return 1;
    const bool periodic = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 4), true);
    const std::string output = kelmar_cmd_opt_arg(opt, 5) != nullptr
                                   ? std::string(opt->argv[5])
                                   : kelmar_cmd_opt_name_append(opt->argv[2], ".fp.cif");
    if (!output_place_writable(output)) return 1;
    kelmar_cmd_result_file(output);
    std::unique_ptr<KELMAR_CUBE> cube;
    if (!load_landscape(opt, opt->argv[2], periodic, &cube)) return 1;
    if (kelmar_fpcube_export_cif_to_file(cube.get(), barrier_max, output.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_fpcube_export_cif_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}
