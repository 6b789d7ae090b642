#include "json_reader.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace {

struct Reader {
    const std::string& s;
    size_t at = 0;

    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("not JSON at offset " + std::to_string(at) + ": " + what);
    }
    void skip()
    {
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
    }
    bool take(char c)
    {
        skip();
        if (at < s.size() && s[at] == c) return ++at, true;
        return false;
    }
    void expect(char c)
    {
        if (!take(c)) fail(std::string("expected '") + c + "'");
    }
    bool word(const char* w)
    {
        const std::string text(w);
        if (s.compare(at, text.size(), text) != 0) return false;
        at += text.size();
        return true;
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if (static_cast<unsigned char>(c) < 0x20) fail("a control character inside a string");
            if (c == '\\') {
                if (at >= s.size()) fail("an escape at the end");
                const char e = s[at++];
                if (e == 'n') c = '\n';
                else if (e == 't') c = '\t';
                else if (e == 'r') c = '\r';
                else if (e == '"' || e == '\\' || e == '/') c = e;
                else if (e == 'u' && at + 4 <= s.size()) c = char(std::strtol(s.substr(at, 4).c_str(), nullptr, 16)), at += 4;
                else fail("an unknown escape");
            }
            out += c;
        }
        expect('"');
        return out;
    }
    JsonValue value()
    {
        skip();
        JsonValue v;
        if (at >= s.size()) fail("the text ends where a value should be");
        const char c = s[at];
        if (c == '{') {
            ++at;
            v.kind = JsonValue::kObject;
            if (take('}')) return v;
            do {
                skip();
                std::string name = string();
                expect(':');
                v.fields.emplace_back(std::move(name), value());
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            ++at;
            v.kind = JsonValue::kArray;
            if (take(']')) return v;
            do v.items.push_back(value());
            while (take(','));
            expect(']');
        } else if (c == '"') {
            v.kind = JsonValue::kString;
            v.text = string();
        } else if (word("true") || word("false")) {
            v.kind = JsonValue::kBool;
            v.flag = s[at - 1] == 'e' && s[at - 2] == 'u';
        } else if (word("null")) {
            v.kind = JsonValue::kNull;
        } else {
            const char* begin = s.c_str() + at;
            char* end = nullptr;
            v.number = std::strtod(begin, &end);
            if (end == begin || !(std::isdigit(static_cast<unsigned char>(*begin)) || *begin == '-'))
                fail("no value");
            at += size_t(end - begin);
            v.kind = JsonValue::kNumber;
        }
        return v;
    }
};

} // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const
{
    for (const auto& f : fields)
        if (f.first == name) return f.second;
    throw std::runtime_error("no field \"" + name + "\"");
}

const JsonValue& JsonValue::operator[](size_t i) const
{
    if (kind != kArray || i >= items.size()) throw std::runtime_error("no item " + std::to_string(i));
    return items[i];
}

bool JsonValue::has(const std::string& name) const
{
    for (const auto& f : fields)
        if (f.first == name) return true;
    return false;
}

JsonValue parse_json(const std::string& text)
{
    Reader r{text};
    JsonValue v = r.value();
    r.skip();
    if (r.at != text.size()) r.fail("text after the value");
    return v;
}
