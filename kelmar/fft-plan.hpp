// FFTW arrays and threads shared by every transform of a landscape.
#pragma once

#include <fftw3.h>

// An FFTW array of total complex values (fftw_malloc); large ones ask for huge pages, which
// spares the kernel most of the page faults of first touch. Null when out of memory.
fftw_complex* fft_field_alloc(long total);

// FFTW's own threads for the next plans (0: every usable CPU); the planner itself runs on the
// calling thread only.
void fft_use_threads(int threads);
