// The built-in functions: type rules at compile time, values at evaluation.
#include "engine/expr/functions.h"
#include "engine/expr/ascii.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <string>

#include "engine/env/env.h"
#include "engine/expr/expression_error.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"

namespace varelum::engine::expr {
namespace {

// ---- compile-time helpers ----

void require(const Node& call, std::size_t index, std::initializer_list<ValueType> allowed) {
    const Node& arg = *call.children[index];
    for (ValueType t : allowed) {
        if (arg.type.type == t) {
            return;
        }
    }
    std::string wanted;
    for (ValueType t : allowed) {
        if (!wanted.empty()) {
            wanted += " or ";
        }
        wanted += value_type_name(t);
    }
    throw ExpressionError(ExpressionErrorCode::TypeMismatch, arg.position,
                          "argument " + std::to_string(index + 1) + " of " +
                              std::string(call.function->name) + " must be " + wanted + ", not " +
                              std::string(value_type_name(arg.type.type)));
}

// A numeric argument written as a number (or a negated one), for the widths of LEFT(x, 5).
std::optional<long> literal_integer(const Node& node) {
    if (node.kind == NodeKind::Literal && node.literal.type == ValueType::Numeric) {
        return static_cast<long>(node.literal.number);
    }
    if (node.kind == NodeKind::Unary && node.op == Operator::Negate) {
        if (auto inner = literal_integer(*node.children[0])) {
            return -*inner;
        }
    }
    return std::nullopt;
}

std::uint32_t clamp_width(long n) {
    return static_cast<std::uint32_t>(std::clamp<long>(n, 0, kMaxBuiltTextLength));
}

ExprType character(std::uint32_t width, bool ci = false) {
    return {ValueType::Character, width, ci};
}

ExprType of(ValueType type) {
    return {type, 0, false};
}

const ExprType& arg_type(const Node& call, std::size_t i) {
    return call.children[i]->type;
}

// ---- evaluation helpers ----

long integer_of(const Value& v) {
    double n = v.number;
    if (!(n > -2.0e9)) {
        return -2'000'000'000L;  // also NaN
    }
    if (n > 2.0e9) {
        return 2'000'000'000L;
    }
    return static_cast<long>(n);
}

std::string right_trimmed(std::string_view s) {
    std::size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(s.substr(0, end + 1));
}

std::string left_trimmed(std::string_view s) {
    std::size_t begin = s.find_first_not_of(' ');
    return begin == std::string_view::npos ? std::string() : std::string(s.substr(begin));
}

void check_built_length(long length, const Node& call) {
    if (length > static_cast<long>(kMaxBuiltTextLength)) {
        throw ExpressionError(ExpressionErrorCode::StringTooLong, call.position,
                              std::string(call.function->name) +
                                  " would build a text longer than " +
                                  std::to_string(kMaxBuiltTextLength) + " characters");
    }
}

// Half away from zero, as a user expects of ROUND and STR; the small nudge keeps values such
// as 2.675 (stored as 2.67499999…) rounding the way they are written.
double round_half_away(double value, int decimals) {
    double scale = std::pow(10.0, decimals);
    double scaled = value * scale;
    double nudged = scaled + std::copysign(std::abs(scaled) * 1e-14, scaled);
    double rounded = std::round(nudged) / scale;
    return rounded == 0.0 ? 0.0 : rounded;  // no "-0"
}

std::string fixed_text(double value, int decimals) {
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

// VAL: leading blanks, a sign, digits and one decimal point; the rest is ignored.
double leading_number(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') {
        ++i;
    }
    std::size_t start = i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        ++i;
    }
    std::size_t digits_start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
        }
    }
    std::string_view number = s.substr(digits_start, i - digits_start);
    if (number.empty() || number == ".") {
        return 0.0;
    }
    double value = 0.0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    return start < s.size() && s[start] == '-' ? -value : value;
}

Value text_result(std::string text, const Value& source) {
    return Value::character(std::move(text), source.case_insensitive);
}

// ---- the functions ----

ExprType check_text_same_width(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    return character(arg_type(call, 0).width, arg_type(call, 0).case_insensitive);
}

ExprType check_case_map(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    return character(arg_type(call, 0).width);
}

Value eval_upper(std::vector<Value>& a, const ExpressionSettings& settings, const Node&) {
    return Value::character(format::to_upper(settings.code_page, a[0].text));
}

Value eval_lower(std::vector<Value>& a, const ExpressionSettings& settings, const Node&) {
    return Value::character(format::to_lower(settings.code_page, a[0].text));
}

Value eval_rtrim(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return text_result(right_trimmed(a[0].text), a[0]);
}

Value eval_ltrim(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return text_result(left_trimmed(a[0].text), a[0]);
}

Value eval_alltrim(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return text_result(left_trimmed(right_trimmed(a[0].text)), a[0]);
}

ExprType check_substr(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    require(call, 1, {ValueType::Numeric});
    std::uint32_t width = arg_type(call, 0).width;
    std::optional<long> start = literal_integer(*call.children[1]);
    if (start && *start > 1 && width > 0) {
        width =
            *start > static_cast<long>(width) ? 0 : width - static_cast<std::uint32_t>(*start - 1);
    }
    if (call.children.size() == 3) {
        require(call, 2, {ValueType::Numeric});
        if (auto count = literal_integer(*call.children[2])) {
            std::uint32_t n = clamp_width(*count);
            width = width == 0 ? n : std::min(width, n);
        }
    }
    return character(width, arg_type(call, 0).case_insensitive);
}

Value eval_substr(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    const std::string& s = a[0].text;
    long start = std::max(1L, integer_of(a[1]));
    if (start > static_cast<long>(s.size())) {
        return text_result(std::string(), a[0]);
    }
    std::size_t from = static_cast<std::size_t>(start - 1);
    std::size_t count = s.size() - from;
    if (a.size() == 3) {
        long n = integer_of(a[2]);
        count = n <= 0 ? 0 : std::min(count, static_cast<std::size_t>(n));
    }
    return text_result(s.substr(from, count), a[0]);
}

ExprType check_left_right(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    require(call, 1, {ValueType::Numeric});
    std::uint32_t width = arg_type(call, 0).width;
    if (auto count = literal_integer(*call.children[1])) {
        std::uint32_t n = clamp_width(*count);
        width = width == 0 ? n : std::min(width, n);
    }
    return character(width, arg_type(call, 0).case_insensitive);
}

Value eval_left(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    long n = integer_of(a[1]);
    std::size_t count = n <= 0 ? 0 : std::min(a[0].text.size(), static_cast<std::size_t>(n));
    return text_result(a[0].text.substr(0, count), a[0]);
}

Value eval_right(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    long n = integer_of(a[1]);
    std::size_t count = n <= 0 ? 0 : std::min(a[0].text.size(), static_cast<std::size_t>(n));
    return text_result(a[0].text.substr(a[0].text.size() - count), a[0]);
}

constexpr long kDefaultStrLength = 10;
constexpr long kMaxStrLength = 255;
constexpr long kMaxStrDecimals = 15;

ExprType check_str(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Numeric});
    long length = kDefaultStrLength;
    if (call.children.size() >= 2) {
        require(call, 1, {ValueType::Numeric});
        length = literal_integer(*call.children[1]).value_or(kDefaultStrLength);
    }
    if (call.children.size() == 3) {
        require(call, 2, {ValueType::Numeric});
    }
    return character(static_cast<std::uint32_t>(std::clamp(length, 1L, kMaxStrLength)));
}

Value eval_str(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    // Lengths outside 1..255 and decimals outside 0..15 are brought into range rather than
    // failing a whole filter on one odd argument.
    long length =
        a.size() >= 2 ? std::clamp(integer_of(a[1]), 1L, kMaxStrLength) : kDefaultStrLength;
    int decimals =
        a.size() == 3 ? static_cast<int>(std::clamp(integer_of(a[2]), 0L, kMaxStrDecimals)) : 0;
    std::string text;
    if (std::isfinite(a[0].number)) {
        text = fixed_text(round_half_away(a[0].number, decimals), decimals);
    }
    if (text.empty() || static_cast<long>(text.size()) > length) {
        return Value::character(std::string(static_cast<std::size_t>(length), '*'));
    }
    text.insert(0, static_cast<std::size_t>(length) - text.size(), ' ');
    return Value::character(std::move(text));
}

ExprType check_val(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    return of(ValueType::Numeric);
}

Value eval_val(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(leading_number(a[0].text));
}

ExprType check_dtos(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Date, ValueType::Timestamp});
    return character(8);
}

Value eval_dtos(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::character(format::format_dtos(a[0].julian_day));
}

ExprType check_dtoc(const Node& call, const ExpressionSettings& settings) {
    require(call, 0, {ValueType::Date, ValueType::Timestamp});
    return character(
        static_cast<std::uint32_t>(format::format_date(0, settings.date_format).size()));
}

Value eval_dtoc(std::vector<Value>& a, const ExpressionSettings& settings, const Node&) {
    return Value::character(format::format_date(a[0].julian_day, settings.date_format));
}

ExprType check_text_to(const Node& call, ValueType result) {
    require(call, 0, {ValueType::Character});
    return of(result);
}

ExprType check_ctod(const Node& call, const ExpressionSettings&) {
    return check_text_to(call, ValueType::Date);
}

ExprType check_ctot(const Node& call, const ExpressionSettings&) {
    return check_text_to(call, ValueType::Timestamp);
}

// Text that is no date gives the empty date, as a user of CTOD expects.
Value eval_ctod(std::vector<Value>& a, const ExpressionSettings& settings, const Node&) {
    return Value::date(
        format::parse_date(a[0].text, settings.date_format, settings.epoch).value_or(0));
}

Value eval_ctot(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::timestamp(0, format::parse_time(a[0].text).value_or(0));
}

Value eval_ctots(std::vector<Value>& a, const ExpressionSettings& settings, const Node&) {
    std::string text = left_trimmed(right_trimmed(a[0].text));
    std::size_t blank = text.find(' ');
    std::string date_part = text.substr(0, blank);
    std::optional<std::int32_t> day =
        format::parse_date(date_part, settings.date_format, settings.epoch);
    std::optional<std::int32_t> time = std::int32_t{0};
    if (blank != std::string::npos) {
        time = format::parse_time(left_trimmed(text.substr(blank)));
    }
    if (!day || !time || *day == 0) {
        return Value::timestamp(0, 0);
    }
    return Value::timestamp(*day, *time);
}

ExprType check_date_part(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Date, ValueType::Timestamp});
    return of(ValueType::Numeric);
}

Value eval_year(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(a[0].julian_day > 0 ? format::civil_from_julian(a[0].julian_day).year
                                              : 0);
}

Value eval_month(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(a[0].julian_day > 0 ? format::civil_from_julian(a[0].julian_day).month
                                              : 0);
}

Value eval_day(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(a[0].julian_day > 0 ? format::civil_from_julian(a[0].julian_day).day : 0);
}

ExprType check_any_to_logical(const Node&, const ExpressionSettings&) {
    return of(ValueType::Logical);
}

Value eval_empty(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::boolean(a[0].is_empty());
}

Value eval_isnull(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::boolean(a[0].is_null);
}

ExprType check_chr(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Numeric});
    return character(1);
}

// Codes wrap modulo 256, as in the dialect's other engines.
Value eval_chr(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    long code = integer_of(a[0]);
    return Value::character(
        std::string(1, static_cast<char>(static_cast<unsigned char>(code & 0xFF))));
}

ExprType check_iif(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Logical});
    const ExprType& yes = arg_type(call, 1);
    const ExprType& no = arg_type(call, 2);
    if (yes.type != no.type) {
        throw ExpressionError(ExpressionErrorCode::TypeMismatch, call.children[2]->position,
                              "the branches of IIF must have one type, not " +
                                  std::string(value_type_name(yes.type)) + " and " +
                                  std::string(value_type_name(no.type)));
    }
    return {yes.type, std::max(yes.width, no.width), yes.case_insensitive || no.case_insensitive};
}

ExprType check_len(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    return of(ValueType::Numeric);
}

Value eval_len(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(static_cast<double>(a[0].text.size()));
}

ExprType check_space(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Numeric});
    return character(clamp_width(literal_integer(*call.children[0]).value_or(0)));
}

Value eval_space(std::vector<Value>& a, const ExpressionSettings&, const Node& call) {
    long n = std::max(0L, integer_of(a[0]));
    check_built_length(n, call);
    return Value::character(std::string(static_cast<std::size_t>(n), ' '));
}

ExprType check_pad(const Node& call, const ExpressionSettings&) {
    require(call, 0, {ValueType::Character});
    require(call, 1, {ValueType::Numeric});
    if (call.children.size() == 3) {
        require(call, 2, {ValueType::Character});
    }
    return character(clamp_width(literal_integer(*call.children[1]).value_or(0)),
                     arg_type(call, 0).case_insensitive);
}

Value pad(std::vector<Value>& a, const Node& call, bool left) {
    long n = std::max(0L, integer_of(a[1]));
    check_built_length(n, call);
    char fill = a.size() == 3 && !a[2].text.empty() ? a[2].text[0] : ' ';
    std::string s = a[0].text;
    auto width = static_cast<std::size_t>(n);
    if (s.size() >= width) {
        s = left ? s.substr(s.size() - width) : s.substr(0, width);
    } else if (left) {
        s.insert(0, width - s.size(), fill);
    } else {
        s.append(width - s.size(), fill);
    }
    return text_result(std::move(s), a[0]);
}

Value eval_padl(std::vector<Value>& a, const ExpressionSettings&, const Node& call) {
    return pad(a, call, true);
}

Value eval_padr(std::vector<Value>& a, const ExpressionSettings&, const Node& call) {
    return pad(a, call, false);
}

ExprType check_two_texts(const Node& call, ValueType result) {
    require(call, 0, {ValueType::Character});
    require(call, 1, {ValueType::Character});
    return of(result);
}

ExprType check_at(const Node& call, const ExpressionSettings&) {
    return check_two_texts(call, ValueType::Numeric);
}

Value eval_at(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    if (a[0].text.empty()) {
        return Value::numeric(0);
    }
    std::size_t at = a[1].text.find(a[0].text);
    return Value::numeric(at == std::string::npos ? 0.0 : static_cast<double>(at + 1));
}

ExprType check_contains(const Node& call, const ExpressionSettings&) {
    return check_two_texts(call, ValueType::Logical);
}

// CONTAINS(text, words): every blank-separated word occurs in the text, without regard to
// case; a word's trailing '*' (a prefix search elsewhere) is the same as the word here.
Value eval_contains(std::vector<Value>& a, const ExpressionSettings& settings, const Node&) {
    std::string haystack = format::to_upper(settings.code_page, a[0].text);
    std::string words = format::to_upper(settings.code_page, a[1].text);
    std::size_t pos = 0;
    bool any = false;
    while (pos < words.size()) {
        std::size_t begin = words.find_first_not_of(' ', pos);
        if (begin == std::string::npos) {
            break;
        }
        std::size_t end = words.find(' ', begin);
        std::string word = words.substr(begin, end == std::string::npos ? end : end - begin);
        while (!word.empty() && word.back() == '*') {
            word.pop_back();
        }
        if (!word.empty()) {
            any = true;
            if (haystack.find(word) == std::string::npos) {
                return Value::boolean(false);
            }
        }
        pos = end == std::string::npos ? words.size() : end;
    }
    return Value::boolean(any);
}

ExprType check_number_fn(const Node& call, const ExpressionSettings&) {
    for (std::size_t i = 0; i < call.children.size(); ++i) {
        require(call, i, {ValueType::Numeric});
    }
    return of(ValueType::Numeric);
}

Value eval_abs(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(std::abs(a[0].number));
}

Value eval_int(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    return Value::numeric(std::trunc(a[0].number));
}

Value eval_round(std::vector<Value>& a, const ExpressionSettings&, const Node&) {
    int decimals = static_cast<int>(std::clamp(integer_of(a[1]), -15L, 15L));
    return Value::numeric(round_half_away(a[0].number, decimals));
}

ExprType check_today(const Node&, const ExpressionSettings&) {
    return of(ValueType::Date);
}

ExprType check_now(const Node&, const ExpressionSettings&) {
    return of(ValueType::Timestamp);
}

// Today's date and the local time of day, from the engine's clock.
Value clock_now() {
    LocalTime now = local_now();
    return Value::timestamp(format::julian_from_civil(now.year, now.month, now.day),
                            now.milliseconds);
}

Value eval_today(std::vector<Value>&, const ExpressionSettings&, const Node&) {
    return Value::date(clock_now().julian_day);
}

Value eval_now(std::vector<Value>&, const ExpressionSettings&, const Node&) {
    return clock_now();
}

constexpr std::array kFunctions = {
    FunctionInfo{"UPPER", 1, 1, false, check_case_map, eval_upper},
    FunctionInfo{"LOWER", 1, 1, false, check_case_map, eval_lower},
    FunctionInfo{"TRIM", 1, 1, false, check_text_same_width, eval_rtrim},
    FunctionInfo{"RTRIM", 1, 1, false, check_text_same_width, eval_rtrim},
    FunctionInfo{"LTRIM", 1, 1, false, check_text_same_width, eval_ltrim},
    FunctionInfo{"ALLTRIM", 1, 1, false, check_text_same_width, eval_alltrim},
    FunctionInfo{"SUBSTR", 2, 3, false, check_substr, eval_substr},
    FunctionInfo{"LEFT", 2, 2, false, check_left_right, eval_left},
    FunctionInfo{"RIGHT", 2, 2, false, check_left_right, eval_right},
    FunctionInfo{"STR", 1, 3, false, check_str, eval_str},
    FunctionInfo{"VAL", 1, 1, false, check_val, eval_val},
    FunctionInfo{"DTOS", 1, 1, false, check_dtos, eval_dtos},
    FunctionInfo{"DTOC", 1, 1, false, check_dtoc, eval_dtoc},
    FunctionInfo{"CTOD", 1, 1, false, check_ctod, eval_ctod},
    FunctionInfo{"CTOT", 1, 1, false, check_ctot, eval_ctot},
    FunctionInfo{"CTOTS", 1, 1, false, check_ctot, eval_ctots},
    FunctionInfo{"YEAR", 1, 1, false, check_date_part, eval_year},
    FunctionInfo{"MONTH", 1, 1, false, check_date_part, eval_month},
    FunctionInfo{"DAY", 1, 1, false, check_date_part, eval_day},
    FunctionInfo{"EMPTY", 1, 1, false, check_any_to_logical, eval_empty},
    FunctionInfo{"ISNULL", 1, 1, false, check_any_to_logical, eval_isnull},
    FunctionInfo{"CHR", 1, 1, false, check_chr, eval_chr},
    FunctionInfo{"IIF", 3, 3, true, check_iif, nullptr},
    FunctionInfo{"LEN", 1, 1, false, check_len, eval_len},
    FunctionInfo{"SPACE", 1, 1, false, check_space, eval_space},
    FunctionInfo{"PADL", 2, 3, false, check_pad, eval_padl},
    FunctionInfo{"PADR", 2, 3, false, check_pad, eval_padr},
    FunctionInfo{"AT", 2, 2, false, check_at, eval_at},
    FunctionInfo{"CONTAINS", 2, 2, false, check_contains, eval_contains},
    FunctionInfo{"ABS", 1, 1, false, check_number_fn, eval_abs},
    FunctionInfo{"INT", 1, 1, false, check_number_fn, eval_int},
    FunctionInfo{"ROUND", 2, 2, false, check_number_fn, eval_round},
    FunctionInfo{"DATE", 0, 0, false, check_today, eval_today},
    FunctionInfo{"TODAY", 0, 0, false, check_today, eval_today},
    FunctionInfo{"NOW", 0, 0, false, check_now, eval_now},
};

}  // namespace

const FunctionInfo* find_function(std::string_view name) {
    for (const FunctionInfo& f : kFunctions) {
        if (f.name.size() == name.size() &&
            std::equal(f.name.begin(), f.name.end(), name.begin(),
                       [](char a, char b) { return a == ascii::to_upper(b); })) {
            return &f;
        }
    }
    return nullptr;
}

}  // namespace varelum::engine::expr
