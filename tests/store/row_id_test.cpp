#include "store/row_id.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

TEST(ParseRowId, TakesTheDigitsOfAPositive64BitNumberAndNothingElse) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        bool ok;
        int64_t id;
    } cases[] = {
        {"1", true, 1},
        {"0003", true, 3},
        {"9223372036854775807", true, 9223372036854775807},
        {"9223372036854775808", false, 0},
        {"99999999999999999999", false, 0},
        {"0", false, 0},
        {"", false, 0},
        {"-1", false, 0},
        {"+1", false, 0},
        {" 1", false, 0},
        {"1 ", false, 0},
        {"0x3", false, 0},
        {"1e3", false, 0},
        {"1\0"s, false, 0},
        {"\xA3\xB1", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t id = 0;
        EXPECT_EQ(ParseRowId(c.text, id), c.ok);
        EXPECT_EQ(id, c.id);
    }
}

}  // namespace
}  // namespace vela
