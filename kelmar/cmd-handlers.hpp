// The command handlers of kelmar.x, one per command word, grouped by the file that defines them.
// Each is listed in the command table (cmd-table.cpp), which says how to add one. A handler takes
// its arguments from opt->argv (argv[1] is the command word), prints its usage text when they are
// too few, and returns 0 when it did its work or printed its usage, 1 after an "Error:" line.
#pragma once

#include "cmd-opt.hpp"

// cmd-struct.cpp: reading, rewriting and symmetry of structures
int kelmar_cmd_opt_do_print_cell(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_sym(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_reduced(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_p1(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_assign(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_assign_all(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_sym(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_charge(KELMAR_CMD_OPT* opt);

// cmd-ppt.cpp: parameters, bond-valence sums and the global instability index
int kelmar_cmd_opt_do_print_ppt(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_ppt_full(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_bv(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_bv_gui(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_bv_type(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_gii(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_text_cal_bv(KELMAR_CMD_OPT* opt);

// cmd-rx.cpp: the force field (total energy, relaxation, nudged elastic band)
int kelmar_cmd_opt_do_cal_tot_en(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_rx_sd(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_rx_neb(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_rx_neb_images(KELMAR_CMD_OPT* opt);

// cmd-cn.cpp: coordination shells
int kelmar_cmd_opt_do_cal_cn(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_atom(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_type(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_bv(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_gui(KELMAR_CMD_OPT* opt);

// cmd-gin.cpp: GULP libraries and input
int kelmar_cmd_opt_do_gen_gin_lib(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_gin_eam(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_gin(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_text_gen_gin_lib(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_text_gen_gin_lib_set_sf(KELMAR_CMD_OPT* opt);

// cmd-cube.cpp: site-energy landscapes
int kelmar_cmd_opt_do_print_cube(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube_gii(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube_tot(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube_tot_eam(KELMAR_CMD_OPT* opt);

// cmd-fft.cpp: landscape topology (critical points, derivative cubes, path map)
int kelmar_cmd_opt_do_fft(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_fft_cubes(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_fp_map(KELMAR_CMD_OPT* opt);

// cmd-graph.cpp: site graph and conduction network
int kelmar_cmd_opt_do_sites(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gh(KELMAR_CMD_OPT* opt);

// cmd-kmc.cpp: kinetic Monte Carlo
int kelmar_cmd_opt_do_kmc(KELMAR_CMD_OPT* opt);

// cmd-md.cpp: molecular dynamics of the conducting ions
int kelmar_cmd_opt_do_md(KELMAR_CMD_OPT* opt);
