// Writes the span the renderer delivers for a matrix of settings and media to standard
// output, for bench/fft_same_bits.sh to compare between two revisions: rates, channel
// counts, every FFT order, short and long spans, narrow and wide notches with and
// without the window, fades, loud media that saturates, and media that ends inside the
// span.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "render/render_plan.h"
#include "render/render_span.h"
#include "tests/render/fake_host.h"

int main()
{
    for (int32_t rate : {44100, 48000})
        for (int32_t channels : {1, 2, 3})
            for (int32_t order = 9; order <= 14; ++order)
                for (int32_t seconds : {1, 3})
                    for (int32_t width : {5, 256})
                        for (int32_t window : {0, 1})
                            for (int32_t ends_inside : {0, 1}) {
                                FakeHost host;
                                host.rate = rate;
                                host.channels = channels;
                                host.first = 7;
                                const int32_t frames = ends_inside ? rate * 3 / 2 : rate * 5;
                                host.media.resize(size_t(frames) * channels);
                                uint32_t r = uint32_t(rate + channels * 7 + order);
                                for (size_t t = 0; t < host.media.size(); ++t) {
                                    r = r * 1664525u + 1013904223u;
                                    const int32_t noise = int32_t(r >> 20) - 2048;
                                    const int32_t pulse = (t / size_t(channels)) % 97 < 9 ? 30000 : -20000;
                                    host.media[t] = int16_t(ends_inside ? pulse : noise * 8 + (t % 200) * 50);
                                }
                                const int32_t s[5] = {68 + order, seconds, order, width, seconds * 25};
                                for (int i = 0; i < 5; ++i) host.sliders[i] = s[i];
                                host.check = window;
                                attach(&host);
                                render(&host);
                                std::fprintf(stderr, "%d Hz, %d ch, order %d: %d frames\n", int(rate),
                                             int(channels), int(order), int(g_span.length));
                                std::fwrite(g_span.samples, sizeof(int16_t),
                                            size_t(g_span.length) * size_t(g_span.channels), stdout);
                            }
    return 0;
}
