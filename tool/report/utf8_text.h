#pragma once
// File names are bytes; JSON and SVG are UTF-8 text. A name from another system (a
// Shift-JIS name out of a zip) is shown with each byte that is not part of a well-formed
// UTF-8 character written as \xNN, so what the tool writes stays text that every reader
// takes, and the byte stays visible.
#include <string>

// `bytes` with every byte outside a well-formed UTF-8 sequence (an overlong form, a
// surrogate, past U+10FFFF, cut short) written as a backslash, x and two hex digits.
std::string utf8_or_escaped(const std::string& bytes);
