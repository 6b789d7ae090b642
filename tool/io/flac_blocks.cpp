#include "tool/io/flac_blocks.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace {

constexpr size_t kBlockHeader = 4;
constexpr uint8_t kLastBlock = 0x80;

bool read_at(int fd, int64_t at, size_t size, std::string* to)
{
    to->resize(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, &(*to)[done], size - done, off_t(at + int64_t(done)));
        if (got <= 0) return false;
        done += size_t(got);
    }
    return true;
}

uint32_t big_endian(const std::string& bytes, size_t at, int count)
{
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
    return v;
}

uint32_t little_endian(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
    return v;
}

std::string block_header(int type, size_t size, bool last)
{
    std::string h(kBlockHeader, '\0');
    h[0] = char(uint8_t(type) | (last ? kLastBlock : 0));
    h[1] = char((size >> 16) & 0xff);
    h[2] = char((size >> 8) & 0xff);
    h[3] = char(size & 0xff);
    return h;
}

bool kept(int type) { return type != kFlacStreamInfo && type != kFlacSeekTable && type != kFlacPadding; }

}  // namespace

std::vector<FlacBlock> carried_flac_blocks(int fd)
{
    std::vector<FlacBlock> blocks;
    std::string head;
    int64_t at = 0;
    // An ID3v2 tag some programs put before the stream: its size is in 7-bit bytes.
    if (!read_at(fd, 0, 10, &head)) return {};
    if (head.compare(0, 3, "ID3") == 0)
        at = 10 + ((int64_t(head[6] & 0x7f) << 21) | (int64_t(head[7] & 0x7f) << 14) | (int64_t(head[8] & 0x7f) << 7) |
                   int64_t(head[9] & 0x7f));
    if (!read_at(fd, at, 4, &head) || head != "fLaC") return {};
    at += 4;
    for (;;) {
        if (!read_at(fd, at, kBlockHeader, &head)) return {};
        const int type = uint8_t(head[0]) & 0x7f;
        const uint32_t size = big_endian(head, 1, 3);
        FlacBlock block{type, {}};
        if (!read_at(fd, at + int64_t(kBlockHeader), size, &block.body)) return {};
        if (kept(type)) blocks.push_back(std::move(block));
        at += int64_t(kBlockHeader) + size;
        if (uint8_t(head[0]) & kLastBlock) return blocks;
    }
}

std::vector<std::string> vorbis_comment_fields(const std::string& body)
{
    std::vector<std::string> fields;
    if (body.size() < 4) return fields;
    size_t at = 4 + size_t(little_endian(body, 0));  // past the vendor string
    if (at + 4 > body.size()) return fields;
    const uint32_t count = little_endian(body, at);
    at += 4;
    for (uint32_t i = 0; i < count && at + 4 <= body.size(); ++i) {
        const size_t length = little_endian(body, at);
        at += 4;
        if (at + length > body.size()) break;
        const std::string entry = body.substr(at, length);
        at += length;
        std::string name = entry.substr(0, entry.find('='));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return char(std::toupper(ch)); });
        if (std::find(fields.begin(), fields.end(), name) == fields.end()) fields.push_back(name);
    }
    return fields;
}

bool FlacOpening::take(int64_t at, const char* data, size_t size)
{
    if (at != int64_t(held_.size())) return false;
    held_.append(data, size);
    if (end_ > 0) return true;
    if (held_.size() >= 4 && held_.compare(0, 4, "fLaC") != 0) return false;
    for (size_t at = 4; at + kBlockHeader <= held_.size();) {
        const size_t block_end = at + kBlockHeader + big_endian(held_, at + 1, 3);
        if (block_end > held_.size()) break;
        if (uint8_t(held_[at]) & kLastBlock) {
            end_ = int64_t(block_end);
            break;
        }
        at = block_end;
    }
    return true;
}

std::string FlacOpening::rewritten() const
{
    std::vector<std::pair<int, std::string>> out;
    for (size_t at = 4; at < size_t(end_);) {
        const int type = uint8_t(held_[at]) & 0x7f;
        const size_t size = big_endian(held_, at + 1, 3);
        const bool replaced =
            std::any_of(blocks_.begin(), blocks_.end(), [&](const FlacBlock& b) { return b.type == type; });
        if (type == kFlacStreamInfo || !replaced) out.push_back({type, held_.substr(at + kBlockHeader, size)});
        at += kBlockHeader + size;
    }
    for (const FlacBlock& b : blocks_) out.push_back({b.type, b.body});
    std::string bytes = "fLaC";
    for (size_t i = 0; i < out.size(); ++i)
        bytes += block_header(out[i].first, out[i].second.size(), i + 1 == out.size()) + out[i].second;
    return bytes + held_.substr(size_t(end_));
}

int64_t FlacOpening::shift() const { return int64_t(rewritten().size()) - int64_t(held_.size()); }
