#pragma once
// Columns of plain text that line up in a Japanese Windows editor's monospace font,
// where a kanji, kana or full-width sign takes two columns and ASCII one.
#include <string>

// Columns `text` (UTF-8) takes in such a font. Ambiguous signs (×, ―, ±) are drawn two
// wide there but one wide elsewhere, so text meant to line up does not use them.
int display_width(const std::string& text);

// `text` followed by spaces up to `columns`; text already as wide or wider is kept
// whole and followed by one space, so columns never run together.
std::string pad_right(const std::string& text, int columns);

// Spaces up to `columns`, then `text` (for numbers); nothing when it is as wide or wider.
std::string pad_left(const std::string& text, int columns);
