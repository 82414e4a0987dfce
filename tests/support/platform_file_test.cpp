// The gather write: pieces land back to back, and an injected fault cuts
// them where it strikes, wherever that is among the pieces.
#include "support/platform_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/test_helpers.h"

namespace {

TEST(PlatformFileWritePieces, PiecesBackToBackAndFaultsCutThem) {
  const std::string a = "HEADER--", b(5000, 'x'), c = "TRAILER";
  const std::string whole = a + b + c;
  // Bytes allowed before the fault; -1 for none.
  for (int64_t allowed : {int64_t{-1}, int64_t{0}, int64_t{3}, int64_t{8}, int64_t{4000},
                          int64_t{5008}, int64_t{5010}}) {
    testutil::TempDir dir;
    const std::string path = dir.File("gather.ch10");
    PlatformFile file;
    ASSERT_TRUE(file.CreateWrite(path));
    if (allowed >= 0) SetFileWriteFault("gather.ch10", allowed, ENOSPC);
    const PlatformFile::piece pieces[3] = {{a.data(), static_cast<int64_t>(a.size())},
                                           {b.data(), static_cast<int64_t>(b.size())},
                                           {c.data(), static_cast<int64_t>(c.size())}};
    const int64_t put = file.WritePieces(pieces, 3);
    ClearFileWriteFault();
    ASSERT_TRUE(file.Close());
    const size_t expected = allowed < 0 ? whole.size() : static_cast<size_t>(allowed);
    EXPECT_EQ(put, static_cast<int64_t>(expected)) << allowed;
    EXPECT_EQ(file.LastError(), allowed < 0 ? 0 : ENOSPC) << allowed;
    EXPECT_EQ(testutil::ReadAllText(path), whole.substr(0, expected)) << allowed;
  }
}

}  // namespace
