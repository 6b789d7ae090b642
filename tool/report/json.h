#pragma once
// JSON's scalars as the tool writes them: every real number with a fixed count of
// decimals (three, four for a step in full-scale units), so the same results give the
// same bytes on every build that links this (the tool and the page).
#include <string>

// JSON has no infinities; a cut to digital silence is reported as null.
std::string json_number(double v, int decimals = 3);

// `text` quoted, with the characters JSON forbids in a string escaped, and bytes that
// are not UTF-8 written as \xNN (utf8_or_escaped).
std::string json_string(const std::string& text);

inline const char* json_bool(bool v) { return v ? "true" : "false"; }
