#include "tool/synth/acoustic_pieces.h"

#include <algorithm>

namespace tolvaren {

std::vector<AcousticPiece> PlanAcousticPieces(
    const std::vector<int64_t>& phone_ids, int64_t pause_id,
    std::size_t max_phones, std::size_t first_piece_phones) {
  if (max_phones == 0) max_phones = 1;
  const std::size_t n = phone_ids.size();
  std::vector<AcousticPiece> pieces;
  if (n == 0) {
    pieces.push_back({0, 0});
    return pieces;
  }
  std::size_t begin = 0;
  if (first_piece_phones > 0) {
    const std::size_t limit = std::min(n - 1, max_phones);
    for (std::size_t k = std::max<std::size_t>(first_piece_phones, 1);
         k <= limit; ++k) {
      if (phone_ids[k - 1] == pause_id) {
        pieces.push_back({0, k});
        begin = k;
        break;
      }
    }
  }
  while (begin < n) {
    if (n - begin <= max_phones) {
      pieces.push_back({begin, n});
      break;
    }
    const std::size_t limit = begin + max_phones;
    std::size_t end = limit;
    // The last pause within the limit closes the piece.
    for (std::size_t k = limit; k > begin; --k) {
      if (phone_ids[k - 1] == pause_id) {
        end = k;
        break;
      }
    }
    pieces.push_back({begin, end});
    begin = end;
  }
  return pieces;
}

}  // namespace tolvaren
