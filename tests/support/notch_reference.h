#pragma once
// Where the plug-in puts its notch, worked out independently of the tool: the centre is
// the one the plug-in's own render plan derives for a slider value, the band is read off
// the spectrum entries its notch really changes, and the choice among slider values is
// a search over every one of them. The table and guide tests check the tool's figures
// against this.
#include <cstdint>
#include <vector>

struct ReferenceNotch {
    int32_t frequency = 0; // slider value; 0: no value places the notch
    int32_t width = 0;
    bool inside = false; // the centre entry lies within the block's spectrum
    int64_t centre_entry = 0;
    double centre_hz = 0; // entry c sits c/2 bins up: entries 2k and 2k+1 hold bin k
    double low_hz = 0;    // the lowest and highest bin whose entries the notch changes
    double high_hz = 0;
};

// The notch of these slider values (frequency, FFT order, width; no window) at `rate`.
ReferenceNotch reference_notch(int32_t rate, int32_t order, int32_t frequency, int32_t width);

// The centre entry of every frequency slider value, lowest value first, and the block size.
struct ReferenceCentres {
    int64_t n = 0;
    std::vector<int64_t> entry; // [f - lowest slider value]
};
const ReferenceCentres& reference_centres(int32_t rate, int32_t order);

// Hz of spectrum entry e for a block of n at `rate`.
double reference_entry_hz(int64_t e, int32_t rate, int64_t n);

// The slider value whose centre lies nearest `tone` (a tie going to the value whose
// nominal value x 10 Hz is nearer, then to the lower value), with `width`, or with 0 the
// narrowest width whose band reaches `guard_bins` bins past the tone on each side (down
// to 0 Hz), the widest when none does. frequency 0 when no value places the notch.
ReferenceNotch reference_placement(int32_t rate, int32_t order, double tone, int32_t width, double guard_bins);
