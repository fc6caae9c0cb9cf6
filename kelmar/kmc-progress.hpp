// The progress of a long kinetic Monte Carlo run, shown on standard error when that is a terminal
// (as the landscape's progress is) and never on a pipe or a file, so logs stay clean.
#pragma once

#include <chrono>

class kmc_progress {
public:
    // show: whether anything is drawn at all; phase: the words before the figure.
    kmc_progress(bool show, const char* phase);
    // Called every hop with the share of the phase done (0..1): the line is drawn at the first look
    // and then redrawn at most a few times a second; the clock is read every few thousand calls.
    void note(double done) {
        if (show_ && ++calls_ % kCallsPerLook == 0) look(done);
    }
    // Ends the line (100 %) when something was drawn.
    void finish();
    // Ends a drawn line where it stands, before an error line.
    void break_line();

private:
    static constexpr long kCallsPerLook = 4096;
    bool show_ = false;
    bool drawn_ = false;
    const char* phase_ = "";
    long calls_ = 0;
    long last_percent_ = -1;
    std::chrono::steady_clock::time_point last_;
    void look(double done);
    void draw(long percent);
};

// Whether standard error is a terminal.
bool kmc_progress_wanted();
