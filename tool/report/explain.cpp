#include "tool/report/explain.h"

#include <fmt/format.h>

const char* drop_reason_name(DropReason reason)
{
    switch (reason) {
    case DropReason::kTooQuiet: return "too_quiet";
    case DropReason::kNotSteady: return "not_steady";
    case DropReason::kTwin: return "twin";
    case DropReason::kNoFamily: return "no_family";
    case DropReason::kLevelScatters: return "level_scatters";
    case DropReason::kHeldNote: return "held_note";
    case DropReason::kTrackGoesOn: return "track_goes_on";
    case DropReason::kNotePartial:
        return "note_partial";
    case DropReason::kUnsteadyWithin: return "unsteady_within";
    case DropReason::kPiece: return "piece";
    case DropReason::kHarmonic: return "harmonic";
    case DropReason::kConversionClip:
        return "conversion_clipping";
    case DropReason::kNotInSurround: return "not_in_surround";
    case DropReason::kTooShort: return "too_short";
    }
    return "unknown";
}

const char* drop_stage(DropStage stage)
{
    switch (stage) {
    case DropStage::kRuns:
        return "runs";
    case DropStage::kLooks:
        return "looks";
    case DropStage::kLines:
        return "lines";
    case DropStage::kRules:
        return "rules";
    case DropStage::kPieces:
        return "pieces";
    case DropStage::kExtent:
        return "extent";
    case DropStage::kFamilies:
        return "families";
    case DropStage::kSurround:
        return "surround";
    }
    return "unknown";
}

std::string drop_text(const Dropped& d)
{
    switch (d.reason) {
    case DropReason::kTooQuiet:
        return fmt::format("stands {:.1f} dB clear of its floor, under the {:.1f} dB a tone needs", d.figure, d.limit);
    case DropReason::kNotSteady:
        return fmt::format("holds still at none of the looks (drifts {:.2f} Hz at the first, limit {:.2f} Hz)",
                           d.figure, d.limit);
    case DropReason::kTwin:
        return fmt::format("the same line as {:.1f} Hz, which stands clearer ({:.2f} Hz apart, within {:.2f} Hz)",
                           d.other_hz, d.figure, d.limit);
    case DropReason::kNoFamily:
        return fmt::format("a fundamental under a harmonic, but no harmonic passed and {:.0f} held still "
                           "(it needs {:.0f})",
                           d.figure, d.limit);
    case DropReason::kLevelScatters:
        return fmt::format("its level spreads {:.1f} dB (limit {:.1f} dB)", d.figure, d.limit);
    case DropReason::kHeldNote:
        return fmt::format("a held note: its level moves {:.1f} dB over its extent (limit {:.1f} dB)", d.figure,
                           d.limit);
    case DropReason::kTrackGoesOn:
        return fmt::format("its partial goes on before and after it (in {:.0f} % of the frames on the sparer side, "
                           "{:.0f} % needed)",
                           100 * d.figure, 100 * d.limit);
    case DropReason::kNotePartial:
        return fmt::format("a note's partial: starts with {:.1f} Hz on one harmonic series, their levels moving "
                           "together (correlation {:.2f}, {:.2f} needed)",
                           d.other_hz, d.figure, d.limit);
    case DropReason::kUnsteadyWithin:
        return fmt::format("takes in a run at {:.1f} Hz that glides, for {:.2f} s (more than {:.2f} s)", d.other_hz,
                           d.figure, d.limit);
    case DropReason::kPiece:
        if (d.figure < 0)
            return fmt::format("the same tone as {:.2f} Hz, over the same time, joined to it", d.other_hz);
        return fmt::format("a piece of the tone at {:.2f} Hz, joined to it ({:.3f} s apart, within {:.3f} s)",
                           d.other_hz, d.figure, d.limit);
    case DropReason::kHarmonic:
        return fmt::format("harmonic {:.0f} of {:.2f} Hz, listed in its family", d.figure, d.other_hz);
    case DropReason::kConversionClip:
        return fmt::format("harmonic {:.0f} of {:.2f} Hz that the conversion to 16 bits made by clipping it: not in "
                           "the file, so left out",
                           d.figure, d.other_hz);
    case DropReason::kNotInSurround:
        return "no tone there when the region is looked at with the audio around it";
    case DropReason::kTooShort:
        return fmt::format("lasts {:.2f} s, under the {:.2f} s a tone needs", d.figure, d.limit);
    }
    return "";
}

std::string explain_text(const Detection& d, int32_t rate)
{
    if (d.dropped.empty()) return "no other candidates\n";
    std::string text = fmt::format("candidates that are not tones of their own ({}):\n", d.dropped.size());
    for (const Dropped& x : d.dropped)
        text += fmt::format("  {:.1f} Hz {:.1f}\u2013{:.1f} s [{}]: {}\n", x.hz, double(x.first) / rate,
                            double(x.end) / rate, drop_stage(x.stage), drop_text(x));
    return text;
}
