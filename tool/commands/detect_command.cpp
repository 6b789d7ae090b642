#include <fmt/format.h>

#include <memory>
#include <string>

#include "tool/commands/commands.h"
#include "tool/io/audio_file.h"
#include "tool/io/file_samples.h"
#include "tool/io/progress.h"
#include "tool/report/detect_json.h"
#include "tool/report/explain.h"
#include "tool/report/report.h"
#include "tool/session/detect_use_case.h"

int run_detect(const DetectOptions& o)
{
    PluginSession plugin(plugin_path(o.settings));
    AudioReader reader(o.in);
    if (const std::string cut = reader.cut_short_warning(); !cut.empty())
        fmt::print(stderr, "tulm: warning: {}\n", cut);
    // A file damaged outside the region is refused as render refuses it.
    reader.check_decodes();
    const DetectRequest request =
        detect_request(plugin.table(), o.in, o.settings, o.length, o.hz_given, o.hz, reader.rate(), reader.channels());
    // The region is read from the file a chunk at a time, as the analysis asks.
    DetectFile file;
    file.rate = reader.rate();
    file.channels = reader.channels();
    file.frames = reader.frames();
    std::unique_ptr<FileSamples> samples;
    file.from = [&](int64_t origin) {
        samples = std::make_unique<FileSamples>(reader, origin);
        return samples->source();
    };
    file.clipped = [&] { return samples && samples->clipped(); };
    std::unique_ptr<Progress> progress;
    const DetectAnswer a = detect_use_case(plugin.table(), file, request, [&](int64_t more, int64_t count) {
        if (!progress) progress = std::make_unique<Progress>("detecting", count, o.quiet);
        progress->advance(more);
    });
    if (progress) progress->finish();

    const DetectFacts& f = a.facts;
    const ChosenTone* chosen = a.chosen_given ? &a.chosen : nullptr;
    if (o.json) {
        fmt::print("{}", detect_json(f, a.detection, chosen));
    } else {
        fmt::print("region: {:.3f} s to {:.3f} s of {}\n", double(f.region_first) / f.rate,
                   double(f.region_end) / f.rate, o.in);
        if (!o.settings.fps_given)
            fmt::print("video frames: {} per second, the default; give your project's rate with --fps if it "
                       "differs (29.97 is 30000/1001)\n",
                       f.video_rate_den == 1 ? std::to_string(f.video_rate_num)
                                             : fmt::format("{}/{}", f.video_rate_num, f.video_rate_den));
        fmt::print("{}", detection_text(a.detection, f.rate, f.video_rate_num, f.video_rate_den));
        fmt::print("{}", clipping_text(f.clips, f.conversion_harmonics));
        if (o.explain) fmt::print("{}", explain_text(a.detection, f.rate));
        if (!chosen && o.hz_given)
            fmt::print("nothing steady sounds at --hz {:g}, so no settings are suggested\n", o.hz);
        if (chosen && !chosen->detected)
            fmt::print("no tone found lies near --hz {:g}, so no settings are suggested; name a tone listed above\n",
                       o.hz);
        else if (chosen)
            fmt::print("{}",
                       fit_text(chosen->fit, chosen->tone, f.rate, o.in, chosen->checked ? &chosen->check : nullptr,
                                chosen->checked ? &chosen->plan : nullptr));
    }
    // A frequency named where no tone was found has no tone to cut: the text suggests no
    // settings; the JSON still says what they would be, marked as not detected.
    return chosen && chosen->detected ? 0 : kExitNoTone;
}
