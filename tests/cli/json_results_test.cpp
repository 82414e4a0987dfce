// --json on the three programs: every line a JSON object a real parser
// reads, with the documented fields, for a mixed batch (clean, warnings,
// refused, aborted).
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "e2e/e2e_support.h"

namespace {

// An archive with its setup file.
void MakeWithSetup(const testutil::TempDir& dir, const std::string& name, mkarchive::ArchiveSettings s) {
  s.setup_file.write = true;
  e2e::WriteTestArchive(dir, name, s);
}

// Each line of `file` parsed by Python's json module; per object one line
// "name outcome exit_status frames fill_frames warning-codes refusal-codes"
// (codes joined by '+', '-' for none), after checking the fields every
// program's objects have.
std::string Parsed(const testutil::TempDir& dir, const std::string& file) {
  const std::string script =
      "import json,os,sys\n"
      "for line in open(sys.argv[1], encoding='utf-8'):\n"
      "    o = json.loads(line)\n"
      "    for k in ('archive','outcome','exit_status','outputs','warnings','refusals','wall_seconds'):\n"
      "        assert k in o, k\n"
      "    assert isinstance(o['wall_seconds'], float) and o['wall_seconds'] >= 0\n"
      "    for w in o['warnings'] + o['refusals']:\n"
      "        assert set(w) == {'code','text'} and w['text'], w\n"
      "    codes = lambda l: '+'.join(w['code'] for w in l) or '-'\n"
      "    print(os.path.basename(o['archive']), o['outcome'], o['exit_status'], o.get('frames', '-'),\n"
      "          o.get('fill_frames', '-'), codes(o['warnings']), codes(o['refusals']))\n";
  testutil::WriteAllText(dir.File("check.py"), script);
  const std::string out = dir.File("parsed.txt");
  const int rc = std::system(("python3 '" + dir.File("check.py") + "' '" + dir.File(file) + "' >'" + out +
                              "' 2>'" + out + ".err'")
                                 .c_str());
  EXPECT_EQ(rc, 0) << testutil::ReadAllText(out + ".err") << testutil::ReadAllText(dir.File(file));
  return testutil::ReadAllText(out);
}

TEST(JsonResults, EveryLineParsesWithItsFields) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings clean;
  clean.frame_count = 320;
  MakeWithSetup(dir, "A.Ark", clean);
  mkarchive::ArchiveSettings damaged = clean;
  damaged.time_shifts = {{100, 3600LL * 1000000, false}};
  damaged.gaps = {{200, 5}};
  MakeWithSetup(dir, "W\"odd\\name\t.Ark", damaged);
  mkarchive::ArchiveSettings big = clean;
  big.frame_count = 16 * 400;
  big.words_per_frame = 64;
  MakeWithSetup(dir, "BIG.Ark", big);
  const std::string odd = "'W\"odd\\name\t.Ark'";
  const std::string bin = std::string(ORLO_BINARY_DIR) + "/";
  // 400 blocks of 512 bytes: room for the small archives' outputs, not BIG's.
  const std::string command = "cd '" + dir.path() + "' && (ulimit -f 400 && '" + bin +
                              "orlovarnel-convert' --quiet --json A.Ark " + odd +
                              " missing.Ark BIG.Ark >convert.jsonl 2>/dev/null; echo $? >status.txt) && '" +
                              bin + "orlovarnel-info' --json A.Ark " + odd + " missing.Ark >info.jsonl; '" +
                              bin + "orlovarnel-verify' --json A.Ark >verify.jsonl; '" + bin +
                              "orlovarnel-verify' --json BIG.Ark >>verify.jsonl; true";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(testutil::ReadAllText(dir.File("status.txt")), "1\n");
  const std::string odd_name = "W\"odd\\name\t.Ark";
  const std::string convert = Parsed(dir, "convert.jsonl");
  const std::string clean_line = "A.Ark converted 0 320 0 - -\n";
  const std::string warned_line = odd_name + " converted-with-warnings 3 325 5 damaged-frame-times -\n";
  EXPECT_EQ(convert.substr(0, convert.find("BIG.Ark")),
            clean_line + warned_line + "missing.Ark refused 1 0 0 - not-opened\n");
  // BIG's run got part way before the limit stopped it.
  const std::string big_line = convert.substr(convert.find("BIG.Ark"));
  EXPECT_EQ(big_line.rfind("BIG.Ark aborted 1 ", 0), 0u) << big_line;
  EXPECT_NE(big_line.find(" - output-failed\n"), std::string::npos) << big_line;

  // The inspection counts as the conversion does; a missing archive is refused.
  EXPECT_EQ(Parsed(dir, "info.jsonl"), "A.Ark inspected 0 320 0 - -\n" + odd_name +
                                           " inspected 3 325 5 damaged-frame-times -\n"
                                           "missing.Ark refused 1 - - - not-convertible\n");
  EXPECT_EQ(Parsed(dir, "verify.jsonl"), "A.Ark verified 0 320 0 - -\n"
                                         "BIG.Ark differs 1 0 0 - differs\n");
}

}  // namespace
