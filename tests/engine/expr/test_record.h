// A record built by hand for the expression and key tests: a list of fields laid out one
// after another in an ADT record image, setters that write each type's raw bytes, and the
// RecordAccess the evaluator reads it through.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/expr/record_access.h"
#include "engine/expr/record_value.h"
#include "engine/format/field_image.h"
#include "engine/format/field_type.h"

namespace varelum::engine::test {

class TestRecord : public expr::RecordAccess {
  public:
    TestRecord& add(const std::string& name, FieldType type, std::uint32_t length = 0,
                    std::uint16_t decimals = 0) {
        FieldDescriptor f;
        f.name = name;
        f.number = static_cast<std::uint16_t>(fields_.size() + 1);
        f.type = type;
        f.length = length != 0 ? length : default_length(type);
        f.decimals = decimals;
        f.offset = static_cast<std::uint32_t>(image_.size());
        image_.resize(image_.size() + format::field_image_size(f), 0);
        fields_.push_back(f);
        set_null(name);
        return *this;
    }

    const std::vector<FieldDescriptor>& fields() const { return fields_; }
    const FieldDescriptor& field(const std::string& name) const { return fields_[index(name)]; }

    // Text for String, CIString, Raw, VarCharFox, VarBinaryFox (padded with blanks where the
    // type pads), NChar/NVarChar (ASCII or Latin-1 only), Numeric (right-aligned).
    TestRecord& set(const std::string& name, const std::string& text) {
        const FieldDescriptor& f = field(name);
        std::uint8_t* p = at(f);
        switch (f.type) {
            case FieldType::Numeric: {
                std::string t = text.size() < f.length
                                    ? std::string(f.length - text.size(), ' ') + text
                                    : text.substr(0, f.length);
                std::memcpy(p, t.data(), f.length);
                break;
            }
            case FieldType::NChar:
            case FieldType::NVarChar: {
                for (std::uint32_t i = 0; i < f.length; ++i) {
                    char16_t u = i < text.size() ? static_cast<unsigned char>(text[i]) : u' ';
                    p[2 * i] = static_cast<std::uint8_t>(u);
                    p[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
                }
                if (f.type == FieldType::NVarChar) {
                    store16(p + 2 * f.length, static_cast<std::uint16_t>(
                                                  std::min<std::size_t>(text.size(), f.length)));
                }
                break;
            }
            case FieldType::VarCharFox:
            case FieldType::VarBinaryFox:
                std::memset(p, ' ', f.length);
                std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), f.length));
                store16(p + f.length,
                        static_cast<std::uint16_t>(std::min<std::size_t>(text.size(), f.length)));
                break;
            case FieldType::Memo:
            case FieldType::Binary:
            case FieldType::Image:
            case FieldType::VarChar:
            case FieldType::NMemo:
                blobs_[f.number] = text;
                store32(p, 0xFFFFFFFFu);
                break;
            default:
                std::memset(p, ' ', f.length);
                std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), f.length));
                break;
        }
        return *this;
    }

    TestRecord& set(const std::string& name, const char* text) {
        return set(name, std::string(text));
    }

    // Numbers for Double, CurDouble, Integer, AutoInc, ShortInt, Money, RowVersion; logical
    // for Logical (0/1); Julian day for Date and CompactDate.
    TestRecord& set(const std::string& name, double value) {
        const FieldDescriptor& f = field(name);
        std::uint8_t* p = at(f);
        switch (f.type) {
            case FieldType::Double:
            case FieldType::CurDouble:
                store64(p, std::bit_cast<std::uint64_t>(value));
                break;
            case FieldType::Integer:
            case FieldType::AutoInc:
                store32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
                break;
            case FieldType::ShortInt:
                store16(p, static_cast<std::uint16_t>(static_cast<std::int16_t>(value)));
                break;
            case FieldType::Money:
                store64(p, static_cast<std::uint64_t>(std::llround(value * 10000)));
                break;
            case FieldType::RowVersion:
                store64(p, static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
                break;
            case FieldType::Logical:
                p[0] = value != 0 ? 'T' : 'F';
                break;
            case FieldType::Date:
                store32(p, static_cast<std::uint32_t>(value));
                break;
            case FieldType::Time:
                store32(p, static_cast<std::uint32_t>(value));
                break;
            default:
                throw std::invalid_argument("no numeric setter for " + name);
        }
        return *this;
    }

    TestRecord& set_compact_date(const std::string& name, int year, int month, int day) {
        std::uint8_t* p = at(field(name));
        unsigned bits = (static_cast<unsigned>(year) << 9) | (static_cast<unsigned>(month) << 5) |
                        static_cast<unsigned>(day);
        p[0] = static_cast<std::uint8_t>(bits >> 16);
        p[1] = static_cast<std::uint8_t>(bits >> 8);
        p[2] = static_cast<std::uint8_t>(bits);
        return *this;
    }

    TestRecord& set_timestamp(const std::string& name, std::int32_t julian, std::int32_t ms) {
        std::uint8_t* p = at(field(name));
        store32(p, static_cast<std::uint32_t>(julian));
        store32(p + 4, static_cast<std::uint32_t>(ms));
        return *this;
    }

    // The ADT null marker of the field's type.
    TestRecord& set_null(const std::string& name) {
        const FieldDescriptor& f = field(name);
        std::uint8_t* p = at(f);
        std::memset(p, 0, format::field_image_size(f));
        switch (f.type) {
            case FieldType::Logical:
                p[0] = ' ';
                break;
            case FieldType::Double:
            case FieldType::CurDouble:
                store32(p, 0x20);
                store32(p + 4, 0x80000000u);
                break;
            case FieldType::Money:
            case FieldType::RowVersion:
                store32(p + 4, 0x80000000u);
                break;
            case FieldType::Integer:
                store32(p, 0x80000000u);
                break;
            case FieldType::ShortInt:
                store16(p, 0x8000);
                break;
            case FieldType::Time:
            case FieldType::AutoInc:
                store32(p, 0xFFFFFFFFu);
                break;
            case FieldType::VarCharFox:
            case FieldType::VarBinaryFox:
                store16(p + f.length, 0xFFFF);
                break;
            case FieldType::NVarChar:
                store16(p + 2 * f.length, 0xFFFF);
                break;
            default:
                break;
        }
        blobs_.erase(f.number);
        return *this;
    }

    expr::ExpressionSettings& mutable_settings() { return settings_; }

    std::span<const std::uint8_t> record_image() const override { return image_; }
    std::optional<std::string> read_blob(const FieldDescriptor& f) const override {
        auto it = blobs_.find(f.number);
        if (it == blobs_.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    const expr::ExpressionSettings& settings() const override { return settings_; }

  private:
    static std::uint32_t default_length(FieldType type) {
        switch (type) {
            case FieldType::Logical:
                return 1;
            case FieldType::Date:
            case FieldType::Integer:
            case FieldType::AutoInc:
            case FieldType::Time:
                return 4;
            case FieldType::ShortInt:
                return 2;
            case FieldType::CompactDate:
                return 3;
            case FieldType::Double:
            case FieldType::CurDouble:
            case FieldType::TimeStamp:
            case FieldType::ModTime:
            case FieldType::Money:
            case FieldType::RowVersion:
                return 8;
            case FieldType::Memo:
            case FieldType::Binary:
            case FieldType::Image:
            case FieldType::VarChar:
            case FieldType::NMemo:
                return 9;
            default:
                return 10;
        }
    }

    std::size_t index(const std::string& name) const {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (fields_[i].name == name) {
                return i;
            }
        }
        throw std::invalid_argument("no test field " + name);
    }

    std::uint8_t* at(const FieldDescriptor& f) { return image_.data() + f.offset; }

    static void store16(std::uint8_t* p, std::uint16_t v) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void store32(std::uint8_t* p, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    static void store64(std::uint8_t* p, std::uint64_t v) {
        store32(p, static_cast<std::uint32_t>(v));
        store32(p + 4, static_cast<std::uint32_t>(v >> 32));
    }

    std::vector<FieldDescriptor> fields_;
    std::vector<std::uint8_t> image_;
    std::map<std::uint16_t, std::string> blobs_;
    expr::ExpressionSettings settings_;
};

}  // namespace varelum::engine::test
