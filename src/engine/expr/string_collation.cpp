// The default ANSI weight tables and padded text comparison.
#include "engine/expr/string_collation.h"

#include <initializer_list>
#include <vector>

namespace varelum::engine::expr {
namespace {

struct WeightTables {
    std::array<std::uint8_t, 256> case_sensitive{};
    std::array<std::uint8_t, 256> case_insensitive{};
};

// Groups in ascending order; the members of one group are one letter in its cases, which
// share the case-folded weight.
using Group = std::vector<unsigned char>;

std::vector<Group> collation_order() {
    std::vector<Group> order;
    auto singles = [&](std::initializer_list<int> bytes) {
        for (int b : bytes) {
            order.push_back({static_cast<unsigned char>(b)});
        }
    };
    auto range = [&](int from, int to) {
        for (int b = from; b <= to; ++b) {
            order.push_back({static_cast<unsigned char>(b)});
        }
    };
    auto letter = [&](int upper, int lower) {
        order.push_back({static_cast<unsigned char>(upper), static_cast<unsigned char>(lower)});
    };

    range(0x00, 0x1F);
    singles({0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D});
    singles({0x20, 0xA0, 0xAD});  // blank, no-break space, soft hyphen
    range(0x21, 0x2F);
    range(0x3A, 0x40);
    range(0x5B, 0x60);
    range(0x7B, 0x7E);
    singles({0x80, 0x82, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8B, 0x91, 0x92, 0x93, 0x94, 0x95,
             0x96, 0x97, 0x98, 0x99, 0x9B});
    singles({0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAB, 0xAC, 0xAE,
             0xAF, 0xB0, 0xB1, 0xB4, 0xB6, 0xB7, 0xB8, 0xBB, 0xBF, 0xD7, 0xF7});
    singles({'0', '1', 0xB9, 0xBC, 0xBD, '2', 0xB2, '3', 0xB3, 0xBE, '4', '5', '6', '7', '8', '9'});

    letter('A', 'a');
    singles({0xAA});
    letter(0xC0, 0xE0);
    letter(0xC1, 0xE1);
    letter(0xC2, 0xE2);
    letter(0xC3, 0xE3);
    letter(0xC4, 0xE4);
    letter(0xC5, 0xE5);
    letter(0xC6, 0xE6);
    letter('B', 'b');
    letter('C', 'c');
    letter(0xC7, 0xE7);
    letter('D', 'd');
    letter(0xD0, 0xF0);
    letter('E', 'e');
    letter(0xC8, 0xE8);
    letter(0xC9, 0xE9);
    letter(0xCA, 0xEA);
    letter(0xCB, 0xEB);
    letter('F', 'f');
    singles({0x83});  // ƒ
    letter('G', 'g');
    letter('H', 'h');
    letter('I', 'i');
    letter(0xCC, 0xEC);
    letter(0xCD, 0xED);
    letter(0xCE, 0xEE);
    letter(0xCF, 0xEF);
    letter('J', 'j');
    letter('K', 'k');
    letter('L', 'l');
    letter('M', 'm');
    singles({0xB5});  // µ
    letter('N', 'n');
    letter(0xD1, 0xF1);
    letter('O', 'o');
    singles({0xBA});
    letter(0xD2, 0xF2);
    letter(0xD3, 0xF3);
    letter(0xD4, 0xF4);
    letter(0xD5, 0xF5);
    letter(0xD6, 0xF6);
    letter(0xD8, 0xF8);
    letter(0x8C, 0x9C);  // Œ œ
    letter('P', 'p');
    letter('Q', 'q');
    letter('R', 'r');
    letter('S', 's');
    letter(0x8A, 0x9A);  // Š š
    singles({0xDF});     // ß
    letter('T', 't');
    letter(0xDE, 0xFE);
    letter('U', 'u');
    letter(0xD9, 0xF9);
    letter(0xDA, 0xFA);
    letter(0xDB, 0xFB);
    letter(0xDC, 0xFC);
    letter('V', 'v');
    letter('W', 'w');
    letter('X', 'x');
    letter('Y', 'y');
    letter(0xDD, 0xFD);
    letter(0x9F, 0xFF);  // Ÿ ÿ
    letter('Z', 'z');
    letter(0x8E, 0x9E);  // Ž ž
    return order;
}

WeightTables build_tables() {
    WeightTables tables;
    std::array<bool, 256> assigned{};
    unsigned next = 0;
    for (const Group& group : collation_order()) {
        std::uint8_t folded = static_cast<std::uint8_t>(next);
        for (unsigned char b : group) {
            tables.case_sensitive[b] = static_cast<std::uint8_t>(next++);
            tables.case_insensitive[b] = folded;
            assigned[b] = true;
        }
    }
    // The order above names every byte once; should one be missing, it still gets a weight of
    // its own at the end rather than colliding with another byte.
    for (unsigned b = 0; b < 256; ++b) {
        if (!assigned[b] && next < 256) {
            tables.case_sensitive[b] = static_cast<std::uint8_t>(next);
            tables.case_insensitive[b] = static_cast<std::uint8_t>(next++);
        }
    }
    return tables;
}

const WeightTables& tables() {
    static const WeightTables built = build_tables();
    return built;
}

}  // namespace

const std::array<std::uint8_t, 256>& AnsiCollation::weights(bool case_insensitive) {
    return case_insensitive ? tables().case_insensitive : tables().case_sensitive;
}

int AnsiCollation::compare(std::string_view left, std::string_view right,
                           bool case_insensitive) const {
    const auto& w = weights(case_insensitive);
    const std::size_t n = left.size() > right.size() ? left.size() : right.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char a = i < left.size() ? static_cast<unsigned char>(left[i]) : ' ';
        unsigned char b = i < right.size() ? static_cast<unsigned char>(right[i]) : ' ';
        if (w[a] != w[b]) {
            return w[a] < w[b] ? -1 : 1;
        }
    }
    return 0;
}

const AnsiCollation& ansi_collation() {
    static const AnsiCollation collation;
    return collation;
}

}  // namespace varelum::engine::expr
