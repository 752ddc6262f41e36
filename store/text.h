// Small text helpers shared by every program: splitting tree paths, counting, padding report
// fields and folding keys the way the database compares them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brontal {

// The text before the last "\" of a tree path: "R\SERVER1\C:" for "R\SERVER1\C:\WINNT".
// Throws std::invalid_argument naming the path when it holds no "\".
std::string ParentPath(std::string_view path);

// The text after the last "\" of a tree path; the whole text when there is none.
std::string LastPathPart(std::string_view path);

// How many times `part` occurs in `text`, counting non-overlapping occurrences from the left;
// 0 when `part` is empty.
int CountOccurrences(std::string_view text, std::string_view part);

// The number of characters (UTF-8 code points) in `text`. An invalid lead byte, a stray
// continuation byte or a truncated sequence counts as one character of its own.
std::size_t CharacterCount(std::string_view text);

// The first `count` characters of `text` (all of it when shorter), never ending inside a
// multi-byte sequence.
std::string_view FirstCharacters(std::string_view text, std::size_t count);

// A report field of exactly `width` characters: `width` spaces when `blank` is true, otherwise
// `text` padded with spaces on the right or cut to its first `width` characters. A width of 0
// or less gives the empty string.
std::string PadField(std::string_view text, int width, bool blank = false);

// The key form of a text: ASCII letters A-Z lowered, every other byte (accented and non-Latin
// letters included) kept as it is. The database's case-insensitive comparison folds only ASCII,
// so keys must fold exactly the same way for lookups to find their rows.
std::string LowerCase(std::string_view text);

// The stored form of a name the system upper-cases (a drive): ASCII letters raised, as
// LowerCase lowers them.
std::string UpperCase(std::string_view text);

// `text` without the blanks (spaces only, not tabs) at either end.
std::string_view Trim(std::string_view text);

}  // namespace brontal
