#pragma once
// Reads JSON the tool writes into a tree the tests can walk; throws std::runtime_error on
// text that is not JSON, so a test of the writer also tests that it writes JSON at all.
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> fields;

    // A field of an object; throws when there is none of that name (or this is no object).
    const JsonValue& operator[](const std::string& name) const;
    const JsonValue& operator[](size_t i) const;
    bool has(const std::string& name) const;
};

JsonValue parse_json(const std::string& text);
