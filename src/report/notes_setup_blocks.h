// The decom setup part of the conversion notes: the heading block and the
// setup block (split in three when the words have variable lengths).
#pragma once

#include <cstdint>
#include <string>

class TextStream;
struct arkheaderstruct;

inline constexpr const char* kNotesLineEnd = "\r\n";
// 75 "-" characters.
std::string NotesSeparatorLine();
// "    " + word number padded to 18 characters + bit count.
std::string NotesWordTableLine(int32_t word_number, int32_t bit_count);
void WriteNotesSetupBlocks(TextStream& stream, const arkheaderstruct& header);
