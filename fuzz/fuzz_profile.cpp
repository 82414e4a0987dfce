// The profile (INI) reader: any file is loaded, the options' keys are read
// through the typed readers, and the file is changed and written back the
// way the options are saved.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "support/ini_file.h"
#include "support/profile_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::QuietProgram();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzzsupport::ScratchFile("Fuzz.Opt");
  fuzzsupport::WriteWholeFile(path, data, size);

  std::string text;
  int32_t number = 0;
  bool flag = false;
  ProfileReadText(path, "Main Area", "LastArchiveDir", text);
  ProfileReadBool(path, "Main Area", "RetainTempArkPackFile", flag);
  for (const char* key : {"MainScreenPos.left", "MainScreenPos.top", "MainScreenPos.right",
                          "MainScreenPos.bottom"}) {
    ProfileReadInt(path, "Position Area", key, number);
  }

  IniFile ini;
  if (ini.Load(path)) {
    // A section and key taken from the input itself, so that odd names are
    // looked up and written too.
    const std::string name(reinterpret_cast<const char*>(data), size < 16 ? size : 16);
    ini.Find(name, name, text);
    ini.Set(name, name, text);
    ini.Set("Main Area", "RetainTempArkPackFile", "YES");
    ini.Save(path);
  }
  ProfileWriteInt(path, "Position Area", "MainScreenPos.left", number);
  ProfileReadInt(path, "Position Area", "MainScreenPos.left", number);
  return 0;
}
