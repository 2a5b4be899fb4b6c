// How the expression language orders and compares texts, and the engine's default order.
//
// The evaluator and the index key encoder must agree on the order of texts, or an optimised
// filter would find other records than the same filter evaluated record by record. So both
// go through a StringCollation: the default ANSI order below (a 256-entry weight table over
// Windows-1252), or an ICU collation that the key library provides for named collations.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace varelum::engine::expr {

class StringCollation {
  public:
    virtual ~StringCollation() = default;

    // Three-way comparison (<0, 0, >0) of two Windows-1252 texts as if the shorter were padded
    // with blanks to the length of the longer, so trailing blanks never matter.
    // `case_insensitive` asks for the case-folded order (CIChar values).
    virtual int compare(std::string_view left, std::string_view right,
                        bool case_insensitive) const = 0;
};

// The default ANSI order over Windows-1252, dictionary-like: control characters, then blank
// and the other separators, punctuation and symbols, digits, then letters alphabetically
// with each accented form after its plain letter and each capital just before its small
// letter (A a À à Á á … B b …). Case-sensitive weights are a permutation of 0..255, so
// distinct texts never compare equal; the case-folded weights give a capital and its small
// letter the same weight and keep accents apart.
//
// The weights are part of the index file format: changing the order invalidates every
// stored index.
class AnsiCollation final : public StringCollation {
  public:
    int compare(std::string_view left, std::string_view right,
                bool case_insensitive) const override;

    // The weight table: weight of byte b is table[b].
    static const std::array<std::uint8_t, 256>& weights(bool case_insensitive);
};

// The process's one AnsiCollation.
const AnsiCollation& ansi_collation();

}  // namespace varelum::engine::expr
