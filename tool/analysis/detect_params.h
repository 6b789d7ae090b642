#pragma once
// Every tuned value of the steady-tone detector, with the value it was tuned to and
// what it decides. Where several rules ask the same question (is the partial present?
// does it hold its frequency? is this level the tone's own?) they read one field, so a
// value means one thing; values that follow from the method instead (the hop, the
// grids, the fewest readings that make a spread) are named constants in the stages' files.
// Every value is in physical units (Hz, s, dB, a probability or a share of frames), so
// it means the same at 44.1 and 48 kHz.
#include <cstdint>

struct DetectParams {
    // The short-time spectrum and its peaks.
    double floor_quantile = 0.2;        // quantile: low enough to fall between a hum's harmonics
    double peak_false_alarm = 0.25;     // probability: that a bin of noise stands as far over its
                                        // floor as a peak must (peak_db); a run compounds it
    double quietest_dbfs = -70;         // dBFS: quieter tones lie under a recording's own hiss

    // Runs of frames holding a peak.
    double shortest_seconds = 0.6;      // s: the shortest tone reported
    double present_share = 0.9;         // share of the frames a partial must hold to be there: a
                                        // run's peak, a followed line, a track going on or before

    // Whether a run holds still.
    double tone_db = 10.0;              // dB: a tone's median prominence over its floor; a level
                                        // step this high parts a sound switched on or off
    double own_quantile = 0.25;         // of a run's levels: the tone's own, nothing over it
    double covered_db = 3.0;            // dB: a frame this far over the own level holds other sound
                                        // too; a level this near the tone's is the tone's
    double steady_hz = 1.0;             // Hz: a held tone's frequency spreads no more (a note glides
                                        // more); two tones closer beat as one line
    double steady_hz_per_s = 0.2;       // Hz/s: a whine may drift this fast (with heat or load) and
                                        // still hold still; a note's glide moves Hz a second
    double level_range_db = 5.0;        // dB: spread of a steady sound's level, in the frames'
                                        // spectra or at its own frequency; a smooth dip deeper
                                        // between two swells is a beat
    double pair_unexplained = 0.05;     // share of a beating pair's clear phasors' energy two steady
                                        // tones may leave unexplained; a note swelling once leaves more

    // The run as a tone.
    double held_move_db = 1.75;         // dB: a hum or a whine holds its level within a dB or so;
                                        // one moving more from its first third to its last (and
                                        // scattering over covered_db) or along a robust line is a note

    // Twins, fundamentals and program sound.
    double multiple_hz = 9.0;           // Hz: a partial may lie this far off a whole multiple and be family
    double partial_present = 0.75;      // share of a family member's run its harmonic or
                                        // fundamental must hold a peak through (speech covers them)
    double together_seconds = 0.03;     // s: starts (or ends) closer than this are one event
    double surround_seconds = 1.5;      // s: around a region, most notes sounding into it start or
                                        // end within this, and it holds shortest_seconds
};
