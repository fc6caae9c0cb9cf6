// The mean squared displacement of the mobile ions over a run and the diffusivity drawn from it.
// Every ion's unwrapped displacement is recorded at equal times; the mean squared displacement at
// a lag is averaged over every time origin of the record, and D is the slope of a straight line
// fitted to it over the lags from a fifth to half of the run, divided by 6. The line's intercept
// absorbs what the ions gain at once and then keep (rattling inside a cage of split sites), which
// <r^2>/(6t) from the end point would spread over the whole run and so let D fall with run length.
// The error of D is the standard error of the slopes of disjoint groups of ions.
#pragma once

#include "kmc-record.hpp"

// What the record gives: D per axis and total (A^2/ps), the standard error of the total, the lag
// window of the fit (ps) and how it was made.
struct kmc_msd_fit {
    double D[4] = {};
    double error = -1.0;         // < 0: not available (too few ions)
    double lag_lo = 0.0, lag_hi = 0.0;
    long frames = 0;
    int groups = 0;
    bool slope = false;          // false: too few snapshots, D is the end-point <r^2>/(6t)
};

// Starts the record at the present time (t = 0 of the measured stretch) with the ions where they
// stand; `spacing` is the first time between snapshots, ps.
void kmc_msd_start(KELMAR_KMC* kmc, double spacing);
// Records every snapshot due up to time t_new (the occupation that held up to it).
void kmc_msd_take(KELMAR_KMC* kmc, double t_new);
// Fits the record; `t` is the length of the measured stretch and `end_msd` the end-point mean
// squared displacement (per axis and total), used when the record is too short.
kmc_msd_fit kmc_msd_diffusivity(const KELMAR_KMC* kmc, double t, const double end_msd[4]);
