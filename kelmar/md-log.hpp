// Listings and logs of a molecular-dynamics run (md-log.cpp).
#pragma once

#include "md.hpp"

// One record each, only when the file is open.
int kelmar_md_log_sample(KELMAR_MD* md);
int kelmar_md_log_xyz(KELMAR_MD* md);
int kelmar_md_log_trj(KELMAR_MD* md);
void kelmar_md_print(const KELMAR_MD* md);
void kelmar_md_print_short(const KELMAR_MD* md);
