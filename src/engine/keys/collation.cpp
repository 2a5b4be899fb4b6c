// Collations: the built-in ANSI weight tables and ICU collators for named collations.
#include "engine/keys/collation.h"
#include "engine/expr/ascii.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "engine/format/code_page.h"
#include "engine/keys/key_error.h"

namespace varelum::engine::keys {

struct Collation::IcuCollators {
    std::unique_ptr<icu::Collator> sensitive;  // the name's own strength
    std::unique_ptr<icu::Collator> folded;     // the same without case, for CIChar keys
};

namespace {

std::string upper_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = expr::ascii::to_upper(c);
    }
    return out;
}

// Languages of the "<LANGUAGE>_<VFP|ADS>_…" names and their ICU locales.
constexpr std::array<std::pair<std::string_view, std::string_view>, 38> kLanguages = {{
    {"GENERAL", "root"},  {"ARABIC", "ar"},    {"BOSNIAN", "bs"},   {"BRAZILIAN", "pt_BR"},
    {"BULGARIAN", "bg"},  {"CATALAN", "ca"},   {"CHINESE", "zh"},   {"CROATIAN", "hr"},
    {"CZECH", "cs"},      {"DANISH", "da"},    {"DUTCH", "nl"},     {"ENGLISH", "en"},
    {"ESTONIAN", "et"},   {"FINNISH", "fi"},   {"FRENCH", "fr"},    {"GERMAN", "de"},
    {"GREEK", "el"},      {"HEBREW", "he"},    {"HUNGARIAN", "hu"}, {"ICELANDIC", "is"},
    {"ITALIAN", "it"},    {"JAPANESE", "ja"},  {"KOREAN", "ko"},    {"LATVIAN", "lv"},
    {"LITHUANIAN", "lt"}, {"NORWEGIAN", "nb"}, {"POLISH", "pl"},    {"PORTUGUESE", "pt"},
    {"ROMANIAN", "ro"},   {"RUSSIAN", "ru"},   {"SERBIAN", "sr"},   {"SLOVAK", "sk"},
    {"SLOVENIAN", "sl"},  {"SPANISH", "es"},   {"SWEDISH", "sv"},   {"THAI", "th"},
    {"TURKISH", "tr"},    {"UKRAINIAN", "uk"},
}};

struct IcuSpec {
    std::string locale;
    bool case_insensitive = false;
    bool accent_insensitive = false;
};

// "GERMAN_VFP_CI_AS_1252" → de, CI, AS.
std::optional<IcuSpec> parse_named(const std::string& upper) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= upper.size()) {
        std::size_t sep = upper.find('_', start);
        parts.push_back(upper.substr(start, sep == std::string::npos ? sep : sep - start));
        if (sep == std::string::npos) {
            break;
        }
        start = sep + 1;
    }
    if (parts.size() != 5 || (parts[1] != "VFP" && parts[1] != "ADS") ||
        (parts[2] != "CI" && parts[2] != "CS") || (parts[3] != "AS" && parts[3] != "AI") ||
        parts[4].empty() || !std::all_of(parts[4].begin(), parts[4].end(), [](char c) {
            return expr::ascii::is_digit(c);
        })) {
        return std::nullopt;
    }
    for (const auto& [language, locale] : kLanguages) {
        if (language == parts[0]) {
            return IcuSpec{std::string(locale), parts[2] == "CI", parts[3] == "AI"};
        }
    }
    return std::nullopt;
}

// A bare ICU locale name ("de", "pt_BR") whose language ICU has a collation for.
std::optional<IcuSpec> parse_locale(std::string_view name) {
    std::string wanted(name);
    std::replace(wanted.begin(), wanted.end(), '-', '_');
    icu::Locale locale(wanted.c_str());
    if (locale.isBogus() || std::string(locale.getLanguage()).empty()) {
        return std::nullopt;
    }
    int32_t count = 0;
    const icu::Locale* locales = icu::Collator::getAvailableLocales(count);
    for (int32_t i = 0; i < count; ++i) {
        if (std::string_view(locales[i].getLanguage()) == locale.getLanguage()) {
            return IcuSpec{locale.getName(), false, false};
        }
    }
    return std::nullopt;
}

std::unique_ptr<icu::Collator> make_collator(const IcuSpec& spec, bool fold_case,
                                             const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale(spec.locale.c_str()), status));
    if (U_FAILURE(status) || !collator) {
        throw KeyError(KeyErrorCode::CollationFailure,
                       "cannot open the collation " + name + ": " + u_errorName(status));
    }
    const bool ci = spec.case_insensitive || fold_case;
    if (spec.accent_insensitive) {
        collator->setStrength(icu::Collator::PRIMARY);
        if (!ci) {
            collator->setAttribute(UCOL_CASE_LEVEL, UCOL_ON, status);
        }
    } else {
        collator->setStrength(ci ? icu::Collator::SECONDARY : icu::Collator::TERTIARY);
    }
    if (U_FAILURE(status)) {
        throw KeyError(KeyErrorCode::CollationFailure,
                       "cannot set up the collation " + name + ": " + u_errorName(status));
    }
    return collator;
}

std::string_view right_trimmed(std::string_view s) {
    std::size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

icu::UnicodeString unicode_of(std::string_view text) {
    std::u16string units = format::bytes_to_utf16(format::CodePage::Ansi1252, text);
    return icu::UnicodeString(units.data(), static_cast<int32_t>(units.size()));
}

std::vector<std::uint8_t> sort_key(const icu::Collator& collator, std::string_view text) {
    icu::UnicodeString s = unicode_of(text);
    std::vector<std::uint8_t> key(64 + 4 * static_cast<std::size_t>(s.length()));
    int32_t needed = collator.getSortKey(s, key.data(), static_cast<int32_t>(key.size()));
    if (needed > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(needed));
        needed = collator.getSortKey(s, key.data(), needed);
    }
    key.resize(static_cast<std::size_t>(std::max(needed, 0)));
    return key;
}

}  // namespace

Collation::Collation(std::string name, std::unique_ptr<IcuCollators> icu)
    : name_(std::move(name)), builtin_(icu == nullptr), icu_(std::move(icu)) {}

Collation::~Collation() = default;

std::shared_ptr<const Collation> Collation::ansi() {
    static const std::shared_ptr<const Collation> builtin(new Collation("ANSI", nullptr));
    return builtin;
}

std::shared_ptr<const Collation> Collation::open(std::string_view name) {
    std::string upper = upper_ascii(name);
    if (upper.empty() || upper == "ANSI" || upper == "OEM") {
        return ansi();
    }
    std::optional<IcuSpec> spec = parse_named(upper);
    if (!spec) {
        spec = parse_locale(name);
    }
    if (!spec) {
        throw KeyError(KeyErrorCode::UnknownCollation,
                       "unknown collation '" + std::string(name) + "'");
    }
    auto icu = std::make_unique<IcuCollators>();
    std::string own_name(name);
    icu->sensitive = make_collator(*spec, false, own_name);
    icu->folded = make_collator(*spec, true, own_name);
    return std::shared_ptr<const Collation>(new Collation(own_name, std::move(icu)));
}

std::size_t Collation::key_width(std::uint32_t characters) const {
    return builtin_ ? characters : 2 * static_cast<std::size_t>(characters) + 4;
}

void Collation::append_key(std::string& out, std::string_view text, std::uint32_t characters,
                           bool case_insensitive) const {
    std::string_view cut = text.substr(0, std::min<std::size_t>(text.size(), characters));
    if (builtin_) {
        const auto& weights = expr::AnsiCollation::weights(case_insensitive);
        for (char c : cut) {
            out.push_back(static_cast<char>(weights[static_cast<unsigned char>(c)]));
        }
        out.append(characters - cut.size(), static_cast<char>(weights[' ']));
        return;
    }
    // Trailing blanks are padding; the sort key's own 0x00 terminator and the zero fill
    // make a shorter text sort before its extensions.
    std::vector<std::uint8_t> key =
        sort_key(case_insensitive ? *icu_->folded : *icu_->sensitive, right_trimmed(cut));
    const std::size_t width = key_width(characters);
    key.resize(width, 0);
    out.append(reinterpret_cast<const char*>(key.data()), width);
}

void Collation::append_prefix_key(std::string& out, std::string_view prefix,
                                  bool case_insensitive) const {
    if (builtin_) {
        const auto& weights = expr::AnsiCollation::weights(case_insensitive);
        for (char c : prefix) {
            out.push_back(static_cast<char>(weights[static_cast<unsigned char>(c)]));
        }
        return;
    }
    // The primary weights of the prefix (up to the first level separator, 0x01) begin the
    // sort key of every text that begins with it.
    std::vector<std::uint8_t> key =
        sort_key(case_insensitive ? *icu_->folded : *icu_->sensitive, prefix);
    std::size_t primary = 0;
    while (primary < key.size() && key[primary] > 0x01) {
        ++primary;
    }
    out.append(reinterpret_cast<const char*>(key.data()), primary);
}

int Collation::compare(std::string_view left, std::string_view right, bool case_insensitive) const {
    if (builtin_) {
        return expr::ansi_collation().compare(left, right, case_insensitive);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Collator& collator = case_insensitive ? *icu_->folded : *icu_->sensitive;
    UCollationResult r =
        collator.compare(unicode_of(right_trimmed(left)), unicode_of(right_trimmed(right)), status);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

}  // namespace varelum::engine::keys
