// Readable names for the cases of parameterised tests, as the fourth argument of
// INSTANTIATE_TEST_SUITE_P: the case's printed form (its PrintTo) made into a name, after the
// case's number so that two cases that print alike still get names of their own.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <string>

namespace varelum {

struct ReadableCaseName {
    static constexpr std::size_t MaxLength = 60;

    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        std::string name = std::to_string(info.index);
        for (const char c : ::testing::PrintToString(info.param)) {
            if (name.size() >= MaxLength) {
                break;
            }
            // A test name may hold letters, digits and single underscores only.
            if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
                name += c;
            } else if (name.back() != '_') {
                name += '_';
            }
        }
        while (name.back() == '_') {
            name.pop_back();
        }
        return name;
    }
};

}  // namespace varelum
