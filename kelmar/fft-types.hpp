// The FFTW array owner shared by the landscape's transforms.
#pragma once

#include <memory>

#include <fftw3.h>

// Releases an array that came from fftw_malloc.
struct kelmar_fftw_release {
    void operator()(fftw_complex* p) const { fftw_free(p); }
};
using kelmar_fftw_array = std::unique_ptr<fftw_complex[], kelmar_fftw_release>;
