#include "tool/synth/acoustic_pieces.h"

#include <cstdint>
#include <random>
#include <vector>

#include "gtest/gtest.h"

namespace tolvaren {
namespace {

constexpr int64_t kPause = 9;

std::vector<int64_t> Ids(std::size_t n, std::vector<std::size_t> pauses) {
  std::vector<int64_t> ids(n, 1);
  for (const std::size_t at : pauses) ids[at] = kPause;
  return ids;
}

TEST(AcousticPiecesTest, ShortAndEmptySequencesRunWhole) {
  EXPECT_EQ(PlanAcousticPieces({}, kPause, 4),
            (std::vector<AcousticPiece>{{0, 0}}));
  EXPECT_EQ(PlanAcousticPieces(Ids(4, {1}), kPause, 4),
            (std::vector<AcousticPiece>{{0, 4}}));
  // The shipped limit keeps an ordinary sentence in one run.
  EXPECT_EQ(PlanAcousticPieces(Ids(200, {50, 120}), kPause).size(), 1u);
}

TEST(AcousticPiecesTest, PiecesEndAfterTheLastPauseThatFits) {
  // Pauses at 2 and 5: the first piece may hold ids 0..5 and ends after 5;
  // the rest (6..11) fits one piece.
  EXPECT_EQ(PlanAcousticPieces(Ids(12, {2, 5}), kPause, 6),
            (std::vector<AcousticPiece>{{0, 6}, {6, 12}}));
  // A pause just beyond the limit does not count; the one before does.
  EXPECT_EQ(PlanAcousticPieces(Ids(10, {1, 6}), kPause, 6),
            (std::vector<AcousticPiece>{{0, 2}, {2, 7}, {7, 10}}));
  // Consecutive pauses: a piece never ends empty.
  EXPECT_EQ(PlanAcousticPieces(Ids(6, {0, 1, 2, 3}), kPause, 2),
            (std::vector<AcousticPiece>{{0, 2}, {2, 4}, {4, 6}}));
}

TEST(AcousticPiecesTest, AShortFirstPieceEndsAtTheFirstPauseAfterItsLength) {
  struct Case {
    std::vector<int64_t> ids;
    std::size_t max_phones, first;
    std::vector<AcousticPiece> pieces;
  };
  const Case cases[] = {
      {Ids(12, {1, 4, 8}), 12, 3, {{0, 5}, {5, 12}}},
      {Ids(12, {1, 4, 8}), 6, 5, {{0, 5}, {5, 9}, {9, 12}}},
      // No pause after the length within the limit: the usual cut.
      {Ids(12, {1, 9}), 6, 4, {{0, 2}, {2, 8}, {8, 12}}},
      // A pause that ends the ids leaves nothing for a second piece.
      {Ids(6, {5}), 12, 2, {{0, 6}}},
      {Ids(4, {0}), 12, 1, {{0, 1}, {1, 4}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlanAcousticPieces(c.ids, kPause, c.max_phones, c.first),
              c.pieces)
        << c.ids.size() << " ids, first " << c.first;
  }
}

TEST(AcousticPiecesTest, WithoutPausesPiecesAreCutAtTheLimit) {
  EXPECT_EQ(PlanAcousticPieces(Ids(7, {}), kPause, 3),
            (std::vector<AcousticPiece>{{0, 3}, {3, 6}, {6, 7}}));
  // No known pause id: the same cuts even where a 9 occurs.
  EXPECT_EQ(PlanAcousticPieces(Ids(7, {0}), -1, 3),
            (std::vector<AcousticPiece>{{0, 3}, {3, 6}, {6, 7}}));
  // A zero limit is taken as one id per piece rather than looping forever.
  EXPECT_EQ(PlanAcousticPieces(Ids(2, {}), kPause, 0),
            (std::vector<AcousticPiece>{{0, 1}, {1, 2}}));
}

TEST(AcousticPiecesTest, RandomSequencesAreCoveredExactlyWithinTheLimit) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    const std::size_t n = rng() % 400;
    const std::size_t max_phones = 1 + rng() % 40;
    std::vector<int64_t> ids(n);
    for (int64_t& id : ids) id = rng() % 6 == 0 ? kPause : 1;
    const auto pieces = PlanAcousticPieces(ids, kPause, max_phones);
    ASSERT_FALSE(pieces.empty());
    std::size_t at = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      const AcousticPiece& p = pieces[k];
      ASSERT_EQ(p.begin, at);
      ASSERT_LE(p.end - p.begin, max_phones);
      if (n > 0) {
        ASSERT_GT(p.end, p.begin);
      }
      // A piece cut early ends at a pause, and no later pause would have
      // fitted.
      if (k + 1 < pieces.size() && p.end - p.begin < max_phones) {
        EXPECT_EQ(ids[p.end - 1], kPause);
        for (std::size_t j = p.end; j < p.begin + max_phones; ++j) {
          EXPECT_NE(ids[j], kPause) << "trial " << trial;
        }
      }
      at = p.end;
    }
    EXPECT_EQ(at, n);
  }
}

}  // namespace
}  // namespace tolvaren
