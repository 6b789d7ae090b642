#pragma once
// Every tuned value of the steady-tone detector, with the value it was tuned to and
// what it decides. One field decides one thing: where two rules happen to share a value
// today, each has a field of its own. Values in analysis bins scale with the block (a
// bin is 5.86 Hz at 48 kHz, 5.38 Hz at 44.1 kHz); "second-look bins" are half as wide.
#include <cstdint>

struct DetectParams {
    // The short-time spectrum and its peaks.
    double widest_bin_hz = 6.0;         // Hz: bins no wider, so a 50 Hz hum's harmonics lie apart
    int32_t smallest_block = 256;       // sample frames: the block grows from here by doubling
    int32_t hops_per_block = 4;         // count: frames start a quarter block apart
    int32_t floor_half_width_bins = 20;      // bins on each side whose levels make a peak's floor
    double floor_quantile = 0.2;        // quantile: low enough to fall between a hum's harmonics
    int32_t floor_every_bins = 4;       // the floor changes slowly: taken every few bins, held between
    double lowest_peak_hz = 20;         // Hz: nothing lower is heard as a tone
    double highest_peak_share = 0.98;   // of half the rate: the anti-alias filter's roll-off lies above
    double peak_db = 8.0;               // dB: a frame's peak over its floor
    double silent_dbfs = -90.3;         // dBFS: a sine one 16-bit step high; nothing quieter is sound
    double quietest_dbfs = -70;         // dBFS: quieter tones lie under a recording's own hiss

    // Runs of frames holding a peak.
    double shortest_seconds = 0.6;      // s: the shortest tone reported
    int32_t fewest_run_frames = 4;      // frames: a run shorter says nothing, whatever the rate
    double run_present = 0.9;           // share of a run's frames that must hold the peak
    int32_t gap_frames = 2;             // frames a run may miss in a row
    double switch_db = 10.0;            // dB: a level step that parts a sound switched on or off
                                        // from quieter sound at its bin around it
    int32_t switch_frames = 3;          // frames whose median level stands for each side of a step
    double switched_range_db = 6.0;     // dB: spread of the level between two steps; a struck note's
                                        // decay spreads more and stays with the sound around it

    // Whether a run holds still (first look, analysis block).
    double tone_db = 10.0;              // dB: a tone's median prominence over its floor
    double own_quantile = 0.25;         // of a run's levels: the tone's own, nothing over it
    double covered_db = 3.0;            // dB: a frame this far over the own level holds other sound too
    int32_t spare_edge_frames = 4;      // frames a run must hold beyond its two edges to leave the
                                        // edges (which only partly cover the tone) out of its level
    double drift_bins = 0.2;            // bins of the block that read it: a held note glides more
    double level_range_db = 6.0;        // dB: spread of the level in the frames' spectra

    // The second look: a longer block at the runs that stood clear but did not hold still.
    int32_t fine_factor = 2;            // ratio: its block against the analysis block
    int32_t fine_span_bins = 2;        // analysis bins it follows lines over on each side
    double line_present = 0.9;          // share of the run's frames a followed line must be seen in

    // The phase look: the run's frequency read from its phase, stretch by stretch.
    int32_t phase_grid_per_bin = 16;    // count: grid points per resolvable step of a stretch's frequency
    double phase_finest_hz = 1e-3;      // Hz: the search halves its step down to this
    double in_step = 0.95;              // of a stretch's phasors' sizes, their sum at the tone's
                                        // frequency: other sound there, some 6 dB under, pulls it below
    double phase_clear_share = 0.5;     // share of a stretch's frames that must be clear to read it
    int32_t fewest_phase_readings = 3;  // count: a spread needs three readings at the least
    double phase_drift_bins = 0.1;      // bins: the second look's limit, on its finer bin

    // The run as a tone.
    int32_t crossing_steps_per_block = 8;   // count: coarse steps a block holds, walking to a crossing
    int32_t crossing_steps_per_second = 400;  // 1/s: fine steps, the start's and end's resolution (2.5 ms)
    int32_t trend_parts = 3;            // count: the level's trend: its first part against its last
    int32_t slope_points = 200;         // frames: at most these that make the robust line
    double tone_level_range_db = 5.0;   // dB: spread of the level at the tone's own frequency
    double held_range_db = 3.0;         // dB: a level scattering more, if it also moves by
                                        // held_trend_db, is a held note's swell or decay
    double held_trend_db = 1.5;         // dB: how far such a level may move from its first
                                        // third to its last
    double beat_dip_db = 12.0;          // dB: a level dipping this deep between two peaks is a beat
    double widest_beat_hz = 1.0;        // Hz: two tones further apart than this are no beat
    double held_slope_db = 2.0;         // dB: a hum or a whine holds its level within a dB or so;
                                        // one moving more along a robust line is a note

    // Twins, fundamentals and program sound.
    int32_t twin_bins = 2;              // bins apart two overlapping runs may lie and read one line
    double twin_hz_bins = 1.0;          // bins: their frequencies this close make them one line
    int32_t known_fundamental_bins = 2; // bins: a run this near a fundamental found under a
                                        // harmonic is that fundamental's own run
    double multiple_bins = 1.5;         // bins a partial may lie off a whole multiple and be family
    int32_t highest_harmonic = 16;      // order: the highest order looked for
    double highest_harmonic_share = 0.98;  // of half the rate, where harmonics are looked for
    double lowest_fundamental_hz = 20;  // Hz: no hum's fundamental lies lower
    double harmonic_present = 0.75;     // share of the fundamental's run a harmonic must hold
    double harmonic_off_bins = 0.2;     // bins: a harmonic's median off the multiple, beyond drift
    double fundamental_present = 0.75;  // share of a harmonic's run its fundamental must hold
    double fundamental_off_bins = 0.1;  // bins: the fundamental's median off the family's frequency
    double fundamental_spread_bins = 0.2;  // bins: the middle half of its readings
    double fundamental_follow_bins = 0.2;  // bins: how near the family's frequency it is followed on
    int32_t fewest_track_frames = 4;    // frames beside a tone needed to tell whether its track goes on
    double track_on_share = 0.9;        // share of those frames holding its frequency: it goes on
    double partner_new_share = 0.9;     // share: a partner starting with a tone held its frequency in
                                        // fewer of the frames before it: it started there
    double together_seconds = 0.03;     // s: starts closer than this are one event
    double family_together_seconds = 0.03;  // s: a partial louder than the tone at whose
                                        // multiple it lies, starting or ending further
                                        // from it than this, is no harmonic of it
    double surround_seconds = 1.5;      // s: around a region, most notes sounding into it start or
                                        // end within this, and it holds shortest_seconds
    double jostled_offset_bins = 0.1;   // bins: an unsteady run this near the tone's frequency
                                        // (and within the next two) is the tone itself, jostled
    double jostled_spread_bins = 0.4;   // bins: the most such a run's frequency may spread
    double jostled_level_db = 3.0;      // dB: how near the tone's level its own level must lie
};
