// The decom setup: defaults, the ".B50" setup file, validation, filling the
// setup part of the archive header record, and the frame sync pattern texts.
#pragma once

#include <cstdint>
#include <string>

#include "archive/decom_setup_record.h"

struct arkheaderstruct;

// The setup file an archive names: the base name of `setup_file_name` +
// ".B50", in the archive's folder.
std::string SetupFilePath(const std::string& archive_path, const std::string& setup_file_name);
// Zeroes the whole record and sets the decommutator's defaults.
void SetDecomSetupDefaults(decomsetupstruct& record);
// Defaults, then the setup file named by the base name of `setup_file_name`
// + ".B50" in the archive's folder, when its version is 2 or more and its
// valid byte is set, it holds every field before the word table and the
// word-table entries of `archive_words` words, and the record passes
// validation. A setup file that is found and not used is logged with
// LogWarning (the file and the reason; code = the failed check's code, else
// 255), a rejected record also sounds the error beep, and `unused_reason`
// (when given) receives the reason in plain words. A file that exists but
// cannot be opened or read (an I/O error, not a short file) also sets
// *read_error (when given) to the error number. *failed_check (when given)
// is the failed validation check's code, -1 when no check failed.
bool ReadSetupFile(const std::string& archive_path, const std::string& setup_file_name,
                   decomsetupstruct& record, int32_t archive_words = 0,
                   std::string* unused_reason = nullptr, int* read_error = nullptr,
                   int32_t* failed_check = nullptr);
// Codes: 10 sync pattern length, 11 words per frame, 12 subframes, 13 SFID
// word beyond the frame, 14 SFID word among the sync words, 15 SFID start
// bit, 16 URC pattern length, 17 frames per interrupt (corrected, still
// rejected), 18 common word length not 1 to 16, 19 a word of the frame not
// 1 to 16 bits, 20 SFID word below 1 with subframe sync. A bad subframe
// direction resets the record to the defaults and fails with code 0.
bool ValidateDecomSetup(decomsetupstruct& record, int32_t& error_code, std::string& reason);
// The setup file an archive's header record names, for that archive: read
// into `record` as ReadSetupFile does, and used only when every word of the
// archive's frame (which may be longer than the record's) has a packable
// length too, else reported as not used like any other unusable file.
// `unused_reason` is emptied first; `read_error` and `failed_check` are as
// ReadSetupFile sets them (0 and -1 when nothing failed).
bool ReadArchiveSetupFile(const std::string& archive_path, const arkheaderstruct& header,
                          decomsetupstruct& record, std::string& unused_reason, int& read_error,
                          int32_t& failed_check);
// Fills the setup part of the header record (word table, common word
// length, SFID MSB, sync pattern, bits per minor frame) for the header's
// words per minor frame: from a setup file's record that
// ReadArchiveSetupFile took, with the pattern text's leading zeros removed;
void FillSetupFromRecord(arkheaderstruct& header, const decomsetupstruct& record);
// or, without a usable setup file, from the operator's two answers: every
// word of the common length (the rest of each entry from `record`, the
// defaults or what a rejected file left there), the sync pattern leading,
// two words long, with the recommended pattern for that length.
void FillSetupFromAnswers(arkheaderstruct& header, const decomsetupstruct& record,
                          int32_t common_word_length, int32_t sfid_msb);
// The recommended frame sync pattern for 7 to 32 bits (false otherwise,
// text unchanged).
bool DefaultSyncPatternText(int32_t length_bits, int32_t radix_code, std::string& text);
// The pattern as 64 binary digits, most significant first, "X" for the
// bits of don't-care digits. Radix codes: 0 binary, 1 octal, 2 hexadecimal.
bool SyncPatternToBinary(const std::string& text, int32_t radix_code, std::string& binary64);
