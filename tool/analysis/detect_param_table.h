#pragma once
// Each field of DetectParams by name, with its unit and what it decides: the one place
// docs/detect.md's parameter table is checked against, and a way for an evaluation to
// set a field it is given by name. The defaults are read from DetectParams itself.
#include "tool/analysis/detect_params.h"

struct DetectParamInfo {
    const char* name;
    double DetectParams::*field;
    const char* unit;
    const char* meaning;
};

inline constexpr DetectParamInfo kDetectParamTable[] = {
    {"floor_quantile", &DetectParams::floor_quantile, "quantile", "low enough to fall between a hum's harmonics"},
    {"peak_false_alarm", &DetectParams::peak_false_alarm, "probability",
     "that a bin of noise stands as far over its floor as a peak must (peak_db); a run compounds it"},
    {"quietest_dbfs", &DetectParams::quietest_dbfs, "dBFS", "quieter tones lie under a recording's own hiss"},
    {"shortest_seconds", &DetectParams::shortest_seconds, "s", "the shortest tone reported"},
    {"present_share", &DetectParams::present_share, "share",
     "share of the frames a partial must hold to be there: a run's peak, a followed line, a track going on or "
     "before"},
    {"tone_db", &DetectParams::tone_db, "dB",
     "a tone's median prominence over its floor; a level step this high parts a sound switched on or off"},
    {"own_quantile", &DetectParams::own_quantile, "share", "of a run's levels: the tone's own, nothing over it"},
    {"covered_db", &DetectParams::covered_db, "dB",
     "a frame this far over the own level holds other sound too; a level this near the tone's is the tone's"},
    {"steady_hz", &DetectParams::steady_hz, "Hz",
     "a held tone's frequency spreads no more (a note glides more); two tones closer beat as one line"},
    {"steady_hz_per_s", &DetectParams::steady_hz_per_s, "Hz/s",
     "a whine may drift this fast (with heat or load) and still hold still; a note's glide moves Hz a second"},
    {"level_range_db", &DetectParams::level_range_db, "dB",
     "spread of a steady sound's level, in the frames' spectra or at its own frequency; a smooth dip deeper between "
     "two swells is a beat"},
    {"pair_unexplained", &DetectParams::pair_unexplained, "share",
     "share of a beating pair's clear phasors' energy two steady tones may leave unexplained; a note swelling once "
     "leaves more"},
    {"held_move_db", &DetectParams::held_move_db, "dB",
     "a hum or a whine holds its level within a dB or so; one moving more from its first third to its last (and "
     "scattering over covered_db) or along a robust line is a note"},
    {"multiple_hz", &DetectParams::multiple_hz, "Hz", "a partial may lie this far off a whole multiple and be family"},
    {"partial_present", &DetectParams::partial_present, "share",
     "share of a family member's run its harmonic or fundamental must hold a peak through (speech covers them)"},
    {"together_seconds", &DetectParams::together_seconds, "s", "starts (or ends) closer than this are one event"},
    {"surround_seconds", &DetectParams::surround_seconds, "s",
     "around a region, most notes sounding into it start or end within this, and it holds shortest_seconds"},
};
