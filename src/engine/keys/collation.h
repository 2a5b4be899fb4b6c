// Collations: the order of texts in index keys and in expression comparisons.
//
// Accepted names (case-insensitive):
// - "" , "ANSI" and "OEM": the built-in order over Windows-1252 (expr::AnsiCollation): one
//   weight byte per character, case-sensitive for Char, case-folded for CIChar.
// - "<LANGUAGE>_<VFP|ADS>_<CI|CS>_<AS|AI>_<codepage>", e.g. "GENERAL_VFP_CI_AS_1252",
//   "GERMAN_VFP_CS_AS_1252", "BRAZILIAN_ADS_CI_AI_1252": ICU collation of the language
//   (GENERAL is ICU's root order); CI folds case for every text, AI ignores accents. The
//   code page number is accepted and not used: record texts are Windows-1252 here.
// - An ICU locale that has a collation, e.g. "de", "pt_BR", "sv_SE": ICU's order for it,
//   case-sensitive (case-folded for CIChar).
//
// ICU keys are the collator's sort keys cut or zero-padded to 2 × characters + 4 bytes, so
// that segments keep a fixed width; two long texts that differ only beyond that width get
// the same key (their records then follow in record-number order).
//
// A Collation is immutable and may be shared by threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/expr/string_collation.h"

namespace varelum::engine::keys {

class Collation final : public expr::StringCollation {
  public:
    // Throws KeyError UnknownCollation for a name not accepted above.
    static std::shared_ptr<const Collation> open(std::string_view name);
    // The built-in ANSI collation.
    static std::shared_ptr<const Collation> ansi();

    ~Collation() override;

    const std::string& name() const { return name_; }
    bool is_builtin() const { return builtin_; }

    // Bytes the key of a text of `characters` characters takes (without the null marker).
    std::size_t key_width(std::uint32_t characters) const;

    // Appends the fixed-width key of `text` taken as `characters` characters (cut or padded
    // with blanks). `case_insensitive` folds case (a CIChar key).
    void append_key(std::string& out, std::string_view text, std::uint32_t characters,
                    bool case_insensitive) const;

    // Appends the bytes that begin the key of every text that begins with `prefix`.
    void append_prefix_key(std::string& out, std::string_view prefix, bool case_insensitive) const;

    int compare(std::string_view left, std::string_view right,
                bool case_insensitive) const override;

    struct IcuCollators;  // defined in collation.cpp

  private:
    Collation(std::string name, std::unique_ptr<IcuCollators> icu);

    std::string name_;
    bool builtin_;
    std::unique_ptr<IcuCollators> icu_;
};

}  // namespace varelum::engine::keys
