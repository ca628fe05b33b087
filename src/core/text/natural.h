// Natural ("logical") order of names, as a file manager shows them: runs of
// digits compare as numbers (track2 before track10; full-width digits count
// as digits, so 第２話 comes before 第１０話), letters without regard
// to case, accented Latin letters next to their plain letters, full-width
// letters next to their ASCII forms. Punctuation sorts before digits, digits
// before letters; kana and kanji follow Latin letters in code-point order.
#pragma once

#include <cstdint>
#include <string_view>

namespace qel {

// Less than zero, zero or greater than zero. Zero exactly when the two texts
// are the same apart from letter case; otherwise the answer is a total,
// deterministic order (accents, leading zeros and the width of digits break
// the ties left by the natural order).
int NaturalCompare(std::string_view a, std::string_view b);

// The lower-case form of one code point for the scripts whose case matters in
// file names (Latin, Greek, Cyrillic, full-width Latin); others are returned
// unchanged.
uint32_t FoldCase(uint32_t codePoint);

}  // namespace qel
