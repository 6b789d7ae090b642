// What a file says besides its samples reaches OUT, or one note names it: a Broadcast
// WAV's bext, cue markers and their labels, a 5.1 channel layout and texts; a FLAC's
// every tag and its cover art.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tool_runner.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr int64_t kFrames = 4 * kRate;
constexpr int64_t kStretchStart = kRate;  // --start 1s

void put_le32(std::string* to, uint32_t v)
{
    for (int i = 0; i < 4; ++i) to->push_back(char((v >> (8 * i)) & 0xff));
}

void put_be32(std::string* to, uint32_t v)
{
    for (int i = 3; i >= 0; --i) to->push_back(char((v >> (8 * i)) & 0xff));
}

std::vector<int> tone(int channels)
{
    std::vector<int> x(size_t(kFrames * channels));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = int(std::lrint(0.2 * std::sin(2 * M_PI * 1000.0 * double(i / size_t(channels)) / kRate) * 8388607.0)) *
                   256 +
               int(i % 7) * 256;
    return x;
}

// A 5.1 Broadcast WAV of 24-bit samples with a title, a bext chunk, two cue markers and
// a label for each (the labels in a LIST adtl chunk, as recorders write them).
void write_broadcast_wav(const std::string& path)
{
    SNDFILE* f = open_sound_for_writing(path.c_str(), kRate, 6, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24);
    ASSERT_NE(f, nullptr);
    SF_BROADCAST_INFO b{};
    std::strcpy(b.description, "Scene 4 take 2");
    std::strcpy(b.originator, "Field recorder");
    std::strcpy(b.origination_date, "2026-12-10");
    std::strcpy(b.origination_time, "10:11:12");
    b.time_reference_low = 172800000;
    b.version = 1;
    std::strcpy(b.coding_history, "A=PCM,F=48000,W=24,M=6ch\r\n");
    b.coding_history_size = uint32_t(std::strlen(b.coding_history));
    ASSERT_EQ(sf_command(f, SFC_SET_BROADCAST_INFO, &b, sizeof b), SF_TRUE);
    SF_CUES cues{};
    cues.cue_count = 2;
    for (uint32_t k = 0; k < 2; ++k) {
        cues.cue_points[k].indx = int32_t(k + 1);
        cues.cue_points[k].position = uint32_t(kRate * (k + 1));
        cues.cue_points[k].fcc_chunk = 0x61746164;  // "data"
        cues.cue_points[k].sample_offset = uint32_t(kRate * (k + 1));
    }
    ASSERT_EQ(sf_command(f, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
    // Each label padded to 4 bytes, as libsndfile reads the list in steps of 4.
    static std::string labels = "adtl";
    labels.resize(4);
    for (const char* text : {"clap", "door slam"}) {
        const size_t room = (std::strlen(text) + 1 + 3) / 4 * 4;
        labels += "labl";
        put_le32(&labels, uint32_t(4 + room));
        put_le32(&labels, uint32_t(text == std::string("clap") ? 1 : 2));
        labels += text;
        labels.append(room - std::strlen(text), '\0');
    }
    SF_CHUNK_INFO chunk{};
    std::memcpy(chunk.id, "LIST", 4);
    chunk.id_size = 4;
    chunk.datalen = unsigned(labels.size());
    chunk.data = labels.data();
    ASSERT_EQ(sf_set_chunk(f, &chunk), SF_ERR_NO_ERROR);
    sf_set_string(f, SF_STR_TITLE, "Scene 4");
    const std::vector<int> x = tone(6);
    ASSERT_EQ(sf_writef_int(f, x.data(), kFrames), kFrames);
    sf_close(f);
}

// The FLAC blocks a tagging program adds: every tag in a Vorbis comment, and a picture.
std::string vorbis_comment_block()
{
    const std::vector<std::string> tags = {"TITLE=Scene 4",      "ARTIST=Crew",       "ALBUM=Shoot",
                                           "DATE=2026",          "TRACKNUMBER=3",     "GENRE=Field",
                                           "ISRC=JPABC2600001",  "ALBUMARTIST=Crew",  "REPLAYGAIN_TRACK_GAIN=-3.20 dB",
                                           "DESCRIPTION=take 2", "ENCODER=tagger 1.0"};
    std::string body;
    put_le32(&body, 6);
    body += "tagger";
    put_le32(&body, uint32_t(tags.size()));
    for (const std::string& t : tags) {
        put_le32(&body, uint32_t(t.size()));
        body += t;
    }
    return body;
}

std::string picture_block()
{
    std::string body;
    put_be32(&body, 3);  // front cover
    put_be32(&body, 9);
    body += "image/png";
    put_be32(&body, 5);
    body += "front";
    for (uint32_t v : {1u, 1u, 24u, 0u}) put_be32(&body, v);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\x07');
    put_be32(&body, uint32_t(png.size()));
    return body + png;
}

struct Block {
    int type;
    std::string body;
};

// The metadata blocks of a FLAC file's bytes.
std::vector<Block> flac_blocks(const std::string& bytes)
{
    std::vector<Block> blocks;
    if (bytes.compare(0, 4, "fLaC") != 0) return blocks;
    for (size_t at = 4; at + 4 <= bytes.size();) {
        const uint8_t head = uint8_t(bytes[at]);
        const size_t size =
            (size_t(uint8_t(bytes[at + 1])) << 16) | (size_t(uint8_t(bytes[at + 2])) << 8) | uint8_t(bytes[at + 3]);
        blocks.push_back({head & 0x7f, bytes.substr(at + 4, size)});
        at += 4 + size;
        if (head & 0x80) break;
    }
    return blocks;
}

// A stereo FLAC as libsndfile writes it, with the tagger's blocks put after its STREAMINFO.
void write_tagged_flac(const std::string& path)
{
    SNDFILE* f = open_sound_for_writing(path.c_str(), kRate, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_NE(f, nullptr);
    const std::vector<int> x = tone(2);
    ASSERT_EQ(sf_writef_int(f, x.data(), kFrames), kFrames);
    sf_close(f);
    const std::string bytes = read_text(path);
    std::vector<Block> blocks = flac_blocks(bytes);
    size_t audio = 4;
    for (const Block& b : blocks) audio += 4 + b.body.size();
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), [](const Block& b) { return b.type == 4; }),
                 blocks.end());
    blocks.push_back({4, vorbis_comment_block()});
    blocks.push_back({6, picture_block()});
    std::string tagged = "fLaC";
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t n = blocks[i].body.size();
        tagged += char(blocks[i].type | (i + 1 == blocks.size() ? 0x80 : 0));
        tagged += std::string{char(n >> 16), char((n >> 8) & 0xff), char(n & 0xff)} + blocks[i].body;
    }
    std::ofstream(path, std::ios::binary) << tagged + bytes.substr(audio);
}

// What a file gives back of each kind, through libsndfile.
struct Said {
    std::vector<std::pair<int, std::string>> texts;
    std::string bext;  // description | originator | time reference | start of the coding history
    std::vector<uint32_t> cue_places;
    std::vector<std::string> cue_labels;
    std::vector<int> channel_map;
    std::vector<int> samples;  // the frames before the stretch
};

Said said_by(const std::string& path)
{
    Said s;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return s;
    for (int kind = SF_STR_FIRST; kind <= SF_STR_LAST; ++kind)
        if (const char* text = sf_get_string(f, kind)) s.texts.emplace_back(kind, text);
    SF_BROADCAST_INFO b{};
    if (sf_command(f, SFC_GET_BROADCAST_INFO, &b, sizeof b) == SF_TRUE)
        s.bext = std::string(b.description) + "|" + b.originator + "|" + std::to_string(b.time_reference_low) + "|" +
                 std::string(b.coding_history).substr(0, 26);
    SF_CUES cues{};
    if (sf_command(f, SFC_GET_CUE, &cues, sizeof cues) == SF_TRUE)
        for (uint32_t k = 0; k < cues.cue_count; ++k) {
            s.cue_places.push_back(cues.cue_points[k].position);
            s.cue_labels.push_back(cues.cue_points[k].name);
        }
    std::vector<int> map(size_t(info.channels));
    if (sf_command(f, SFC_GET_CHANNEL_MAP_INFO, map.data(), sf_count_t(map.size() * sizeof(int))) == SF_TRUE)
        s.channel_map = map;
    s.samples.resize(size_t(kStretchStart * info.channels));
    sf_readf_int(f, s.samples.data(), kStretchStart);
    sf_close(f);
    return s;
}

struct MetadataCase {
    const char* name;
    const char* in;        // "bwf" or "flac"
    const char* out;       // "-" is standard output, a pipe
    const char* left_out;  // the note's list of what OUT's format has no room for; "" for none
};

void PrintTo(const MetadataCase& c, std::ostream* os) { *os << c.name; }

class Metadata : public ::testing::TestWithParam<MetadataCase> {};

bool named(const std::string& note, const char* kind) { return note.find(kind) != std::string::npos; }

}  // namespace

TEST_P(Metadata, CarriedOrNamedInOneNote)
{
    const MetadataCase c = GetParam();
    TempFolder dir;
    const bool flac = std::string(c.in) == "flac";
    const std::string in = flac ? "in.flac" : "in.wav";
    if (flac) write_tagged_flac(dir / in);
    else write_broadcast_wav(dir / in);
    const Said before = said_by(dir / in);
    ASSERT_FALSE(before.texts.empty());
    if (!flac) {
        ASSERT_FALSE(before.bext.empty());
        ASSERT_EQ(before.cue_labels, (std::vector<std::string>{"clap", "door slam"}));
        ASSERT_EQ(before.channel_map.size(), 6u);
    }
    const ToolRun run = run_tool({"render", in, c.out, "--hz", "1000", "--start", "1s"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string out = std::string(c.out) == "-" ? dir / (flac ? "stdout.flac" : "stdout.wav") : dir / c.out;
    if (std::string(c.out) == "-") std::ofstream(out, std::ios::binary) << run.out;

    // One note, naming exactly what the case expects.
    const size_t at = run.err.find("format has no room for the input's ");
    std::string note;
    if (at != std::string::npos) note = run.err.substr(at, run.err.find('\n', at) - at);
    EXPECT_EQ(run.err.find("no room", at == std::string::npos ? 0 : at + note.size()), std::string::npos) << run.err;
    if (*c.left_out) {
        EXPECT_NE(note.find(std::string("no room for the input's ") + c.left_out + ", so"), std::string::npos)
            << run.err;
    } else {
        EXPECT_EQ(note, "") << run.err;
    }

    // Every kind not named comes back as it was.
    const Said after = said_by(out);
    EXPECT_EQ(after.samples, before.samples);
    if (!named(note, "title") && !named(note, "date")) {
        EXPECT_EQ(after.texts, before.texts);
    }
    if (!flac) {
        if (!named(note, "bext")) {
            EXPECT_EQ(after.bext, before.bext);
        }
        if (!named(note, "cue markers")) {
            EXPECT_EQ(after.cue_places, before.cue_places);
        }
        if (!named(note, "cue")) {
            EXPECT_EQ(after.cue_labels, before.cue_labels);
        }
        if (!named(note, "channel layout")) {
            EXPECT_EQ(after.channel_map, before.channel_map);
        }
    }
    if (flac && !named(note, "FLAC tags")) {
        const std::vector<Block> blocks = flac_blocks(read_text(out));
        const auto has = [&](int type, const std::string& body) {
            return std::any_of(blocks.begin(), blocks.end(),
                               [&](const Block& b) { return b.type == type && b.body == body; });
        };
        EXPECT_TRUE(has(4, vorbis_comment_block()));
        EXPECT_TRUE(has(6, picture_block()));
        EXPECT_EQ(blocks.front().type, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Metadata,
    ::testing::Values(
        MetadataCase{"bwf_to_wav", "bwf", "out.wav", ""}, MetadataCase{"bwf_to_a_pipe", "bwf", "-", ""},
        MetadataCase{"bwf_to_rf64", "bwf", "out.rf64", "cue markers and their labels"},
        MetadataCase{"bwf_to_flac", "bwf", "out.flac",
                     "broadcast info (bext), cue markers and their labels and channel layout"},
        MetadataCase{"bwf_to_aiff", "bwf", "out.aiff", "broadcast info (bext) and cue markers and their labels"},
        MetadataCase{"bwf_to_w64", "bwf", "out.w64",
                     "title, broadcast info (bext), cue markers and their labels and channel layout"},
        MetadataCase{"flac_to_flac", "flac", "out.flac", ""}, MetadataCase{"flac_to_a_pipe", "flac", "-", ""},
        MetadataCase{"flac_to_wav", "flac", "out.wav",
                     "FLAC tags (ISRC, ALBUMARTIST, REPLAYGAIN_TRACK_GAIN, DESCRIPTION, ENCODER) and cover art"},
        MetadataCase{"flac_to_aiff", "flac", "out.aiff",
                     "date, album, track number, genre, FLAC tags (ISRC, ALBUMARTIST, REPLAYGAIN_TRACK_GAIN, "
                     "DESCRIPTION, ENCODER) and cover art"}),
    [](const ::testing::TestParamInfo<MetadataCase>& info) { return std::string(info.param.name); });
