#include "tool/io/file_metadata.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>

namespace {

// Vorbis comment fields libsndfile reads as its own texts; the others reach a format
// other than FLAC only through the FLAC blocks.
const char* const kFieldsAsTexts[] = {"TITLE", "COPYRIGHT", "SOFTWARE", "ARTIST",      "COMMENT",
                                      "DATE",  "ALBUM",     "LICENSE",  "TRACKNUMBER", "GENRE"};

const char* text_name(int kind)
{
    switch (kind) {
    case SF_STR_TITLE:
        return "title";
    case SF_STR_COPYRIGHT:
        return "copyright";
    case SF_STR_SOFTWARE:
        return "software";
    case SF_STR_ARTIST:
        return "artist";
    case SF_STR_COMMENT:
        return "comment";
    case SF_STR_DATE:
        return "date";
    case SF_STR_ALBUM:
        return "album";
    case SF_STR_LICENSE:
        return "license";
    case SF_STR_TRACKNUMBER:
        return "track number";
    case SF_STR_GENRE:
        return "genre";
    default:
        return "text";
    }
}

// A file in memory, for writing a file of one frame and reading it back.
struct MemoryFile {
    std::string bytes;
    sf_count_t pos = 0;
};

sf_count_t memory_length(void* user) { return sf_count_t(static_cast<MemoryFile*>(user)->bytes.size()); }

sf_count_t memory_seek(sf_count_t offset, int whence, void* user)
{
    auto* m = static_cast<MemoryFile*>(user);
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : sf_count_t(m->bytes.size());
    if (base + offset < 0) return -1;
    m->pos = base + offset;
    return m->pos;
}

sf_count_t memory_read(void* data, sf_count_t count, void* user)
{
    auto* m = static_cast<MemoryFile*>(user);
    const sf_count_t size = sf_count_t(m->bytes.size());
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - m->pos));
    if (n > 0) std::memcpy(data, m->bytes.data() + m->pos, size_t(n));
    m->pos += n;
    return n;
}

sf_count_t memory_write(const void* data, sf_count_t count, void* user)
{
    auto* m = static_cast<MemoryFile*>(user);
    if (size_t(m->pos + count) > m->bytes.size()) m->bytes.resize(size_t(m->pos + count));
    std::memcpy(&m->bytes[size_t(m->pos)], data, size_t(count));
    m->pos += count;
    return count;
}

sf_count_t memory_tell(void* user) { return static_cast<MemoryFile*>(user)->pos; }

SF_VIRTUAL_IO g_memory_io = {memory_length, memory_seek, memory_read, memory_write, memory_tell};

bool same_broadcast(const BroadcastInfo& a, const BroadcastInfo& b)
{
    // libsndfile may add its own line to the coding history; the input's must stay.
    return std::memcmp(&a, &b, offsetof(BroadcastInfo, coding_history_size)) == 0 &&
           std::strncmp(a.coding_history, b.coding_history, std::strlen(a.coding_history)) == 0;
}

bool same_cue_places(const std::vector<SF_CUE_POINT>& a, const std::vector<SF_CUE_POINT>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].position != b[i].position || a[i].sample_offset != b[i].sample_offset) return false;
    return true;
}

bool same_cue_names(const std::vector<SF_CUE_POINT>& a, const std::vector<SF_CUE_POINT>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::strncmp(a[i].name, b[i].name, sizeof a[i].name) != 0) return false;
    return true;
}

void put_le32(std::string* to, uint32_t v)
{
    for (int i = 0; i < 4; ++i) to->push_back(char((v >> (8 * i)) & 0xff));
}

// A LIST chunk of 'labl' entries, one for each named cue. Each entry's text is padded
// with zeros to a multiple of 4 bytes: libsndfile walks the list in steps of 4 and
// writes the chunk's length rounded up to one.
std::string labels_chunk(const std::vector<SF_CUE_POINT>& cues)
{
    std::string body = "adtl";
    for (const SF_CUE_POINT& cue : cues) {
        const size_t length = strnlen(cue.name, sizeof cue.name);
        if (length == 0) continue;
        const size_t text = (length + 1 + 3) / 4 * 4;
        body += "labl";
        put_le32(&body, uint32_t(4 + text));
        put_le32(&body, uint32_t(cue.indx));
        body.append(cue.name, length);
        body.append(text - length, '\0');
    }
    return body.size() > 4 ? body : "";
}

// What only the FLAC blocks hold, in words, for a format that is not FLAC.
void name_flac_blocks(const std::vector<FlacBlock>& blocks, std::vector<std::string>* left_out)
{
    std::vector<std::string> fields;
    int pictures = 0;
    for (const FlacBlock& b : blocks) {
        if (b.type == kFlacPicture) ++pictures;
        if (b.type == kFlacCueSheet) left_out->push_back("FLAC cue sheet");
        if (b.type == kFlacApplication) left_out->push_back("FLAC application data");
        if (b.type != kFlacVorbisComment) continue;
        for (const std::string& field : vorbis_comment_fields(b.body))
            if (std::find(std::begin(kFieldsAsTexts), std::end(kFieldsAsTexts), field) == std::end(kFieldsAsTexts))
                fields.push_back(field);
    }
    std::string listed;
    for (const std::string& field : fields) listed += (listed.empty() ? "" : ", ") + field;
    if (!fields.empty())
        left_out->push_back((fields.size() == 1 ? "FLAC tag " : "FLAC tags (") + listed +
                            (fields.size() == 1 ? "" : ")"));
    if (pictures > 0) left_out->push_back(pictures == 1 ? "cover art" : "pictures");
}

}  // namespace

FileMetadata read_metadata(SNDFILE* file, int format, int fd)
{
    FileMetadata m;
    for (int kind = SF_STR_FIRST; kind <= SF_STR_LAST; ++kind)
        if (const char* text = sf_get_string(file, kind)) m.texts.push_back({kind, text});
    BroadcastInfo broadcast;
    std::memset(&broadcast, 0, sizeof broadcast);
    if (sf_command(file, SFC_GET_BROADCAST_INFO, &broadcast, sizeof broadcast) == SF_TRUE)
        m.broadcast.push_back(broadcast);
    uint32_t count = 0;
    if (sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count) == SF_TRUE && count > 0) {
        const size_t bytes = sizeof(uint32_t) + count * sizeof(SF_CUE_POINT);
        std::vector<uint32_t> words(bytes / sizeof(uint32_t) + 1, 0);
        if (sf_command(file, SFC_GET_CUE, words.data(), sf_count_t(bytes)) == SF_TRUE) {
            const auto* points = reinterpret_cast<const SF_CUE_POINT*>(words.data() + 1);
            m.cues.assign(points, points + std::min(count, words[0]));
            m.cue_labels = labels_chunk(m.cues);
        }
    }
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
    std::vector<int> map(size_t(std::max(info.channels, 0)), 0);
    if (!map.empty() &&
        sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), sf_count_t(map.size() * sizeof(int))) == SF_TRUE)
        m.channel_map = map;
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC && fd >= 0) m.flac_blocks = carried_flac_blocks(fd);
    return m;
}

void set_metadata(SNDFILE* file, const FileMetadata& m)
{
    // A refusal here is found by metadata_left_out(), which reads what was kept.
    for (const TextTag& tag : m.texts) sf_set_string(file, tag.kind, tag.text.c_str());
    if (!m.broadcast.empty()) {
        // libsndfile refuses a size that is not smaller than its own largest.
        const BroadcastInfo& b = m.broadcast[0];
        const size_t history =
            std::min(sizeof b.coding_history - 1,
                     std::max<size_t>(b.coding_history_size, strnlen(b.coding_history, sizeof b.coding_history)));
        sf_command(file, SFC_SET_BROADCAST_INFO, const_cast<BroadcastInfo*>(&b),
                   sf_count_t(offsetof(BroadcastInfo, coding_history) + history + 1));
    }
    if (!m.cues.empty()) {
        const size_t bytes = sizeof(uint32_t) + m.cues.size() * sizeof(SF_CUE_POINT);
        std::vector<uint32_t> words(bytes / sizeof(uint32_t) + 1, 0);
        words[0] = uint32_t(m.cues.size());
        std::memcpy(words.data() + 1, m.cues.data(), m.cues.size() * sizeof(SF_CUE_POINT));
        sf_command(file, SFC_SET_CUE, words.data(), sf_count_t(bytes));
    }
    if (!m.channel_map.empty())
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(m.channel_map.data()),
                   sf_count_t(m.channel_map.size() * sizeof(int)));
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (!m.cue_labels.empty() && (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX)) {
        SF_CHUNK_INFO chunk;
        std::memset(&chunk, 0, sizeof chunk);
        std::memcpy(chunk.id, "LIST", 4);
        chunk.id_size = 4;
        chunk.datalen = unsigned(m.cue_labels.size());
        chunk.data = const_cast<char*>(m.cue_labels.data());
        sf_set_chunk(file, &chunk);
    }
}

std::vector<std::string> metadata_left_out(const FileMetadata& m, int format, int rate, int channels)
{
    MemoryFile memory;
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    FileMetadata back;
    if (SNDFILE* file = sf_open_virtual(&g_memory_io, SFM_WRITE, &info, &memory)) {
        set_metadata(file, m);
        const std::vector<double> silence(size_t(channels), 0.0);
        sf_writef_double(file, silence.data(), 1);
        sf_close(file);
        memory.pos = 0;
        std::memset(&info, 0, sizeof info);
        if (SNDFILE* again = sf_open_virtual(&g_memory_io, SFM_READ, &info, &memory)) {
            back = read_metadata(again, format, -1);
            sf_close(again);
        }
    }
    std::vector<std::string> left_out;
    for (const TextTag& tag : m.texts)
        if (std::none_of(back.texts.begin(), back.texts.end(),
                         [&](const TextTag& t) { return t.kind == tag.kind && t.text == tag.text; }))
            left_out.push_back(text_name(tag.kind));
    if (!m.broadcast.empty() && (back.broadcast.empty() || !same_broadcast(m.broadcast[0], back.broadcast[0])))
        left_out.push_back("broadcast info (bext)");
    if (!m.cues.empty() && !same_cue_places(m.cues, back.cues))
        left_out.push_back(m.cue_labels.empty() ? "cue markers" : "cue markers and their labels");
    else if (!m.cue_labels.empty() && !same_cue_names(m.cues, back.cues)) left_out.push_back("cue labels");
    if (!m.channel_map.empty() && back.channel_map != m.channel_map) left_out.push_back("channel layout");
    if ((format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC) name_flac_blocks(m.flac_blocks, &left_out);
    return left_out;
}
