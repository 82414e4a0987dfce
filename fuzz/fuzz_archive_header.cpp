// The archive header reader: any file is opened as an archive (magic line,
// value lines, geometry checks, first and last block times, the decom setup
// with its prompts cancelled), and an archive that opens has its TMATS text
// built from the header record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "ch10/tmats_builder.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::QuietProgram();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzsupport::inputfileclass input("Header.Ark");
  input.Write(data, size);

  // One archive object for every input: each open starts it afresh, and
  // its header record (about 262 KB) is made once, not per input.
  static orloarkclass archive;
  static std::vector<std::string> lines;
  if (archive.OpenArkFile(input.Path())) {
    lines.clear();
    BuildTmatsText(lines, archive.Header());
    archive.CloseArkFile();
  }
  return 0;
}
