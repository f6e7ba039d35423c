#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "support/checked.h"
#include "support/errors.h"
#include "support/range_array.h"

namespace tarvel {
namespace {

// Shift-JIS bytes of the messages, written out so a change of source or
// execution charset cannot pass unseen.
TEST(ErrorMessages, AreShiftJisBytes) {
    EXPECT_EQ(RangeError().message(), "\x94\xCD\x88\xCD\x83\x60\x83\x46\x83\x62\x83\x4E\x83\x47\x83\x89\x81\x5B");
    EXPECT_EQ(IntOverflowError().message(),
              "\x90\xAE\x90\x94\x82\xCC\x83\x49\x81\x5B\x83\x6F\x81\x5B\x83\x74\x83\x8D\x81\x5B");
    EXPECT_EQ(
        InvalidOpError().message(),
        "\x95\x73\x90\xB3\x82\xC8\x95\x82\x93\xAE\x8F\xAC\x90\x94\x93\x5F\x90\x94\x89\x89\x8E\x5A\x96\xBD\x97\xDF");
    EXPECT_EQ(AcadElevatedError().message(),
              "AutoCAD \x82\xAA\x8A\xC7\x97\x9D\x8E\xD2\x82\xC6\x82\xB5\x82\xC4\x8E\xC0\x8D"
              "s\x82\xB3\x82\xEA"
              "\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81"
              "BTarvel \x82\xE0\x8A\xC7\x97\x9D\x8E\xD2\x82\xC6\x82\xB5"
              "\x82\xC4\x8E\xC0\x8D"
              "s\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2");
}

TEST(ErrorMessages, ConvertErrorQuotesTheText) {
    const std::string tail =
        "\x20\x82\xCD\x95\x82\x93\xAE\x8F\xAC\x90\x94\x93\x5F\x90\x94\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9"
        "\x82\xF1";
    EXPECT_EQ(ConvertError("1.5x").message(), "'1.5x'" + tail);
    EXPECT_EQ(ConvertError("").message(), "''" + tail);
    // A "%s" inside the text is not expanded again.
    EXPECT_EQ(ConvertError("%s").message(), "'%s'" + tail);
    EXPECT_EQ(ConvertError("abc").text(), "abc");
}

TEST(ErrorKinds, SilentAbortIsNotAReportedError) {
    try {
        throw SilentAbort();
    } catch (const Error&) {
        FAIL() << "the silent abort was caught as a reported error";
    } catch (const SilentAbort&) {
        SUCCEED();
    }
}

struct CheckedCase {
    std::int32_t a, b;
    bool add_overflows, sub_overflows;
};

TEST(CheckedArithmetic, RaisesOnOverflowOnly) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    const CheckedCase cases[] = {
        {1, 2, false, false},    {kMax, 0, false, false}, {kMax, 1, true, false},
        {kMin, -1, true, false}, {kMin, 1, false, true},  {0, kMin, false, true},
        {-1, kMin, true, false}, {kMax, -1, false, true}, {kMin, kMin, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << " and " << c.b);
        if (c.add_overflows) {
            EXPECT_THROW(CheckedAdd(c.a, c.b), IntOverflowError);
        } else {
            EXPECT_EQ(CheckedAdd(c.a, c.b), static_cast<std::int64_t>(c.a) + c.b);
        }
        if (c.sub_overflows) {
            EXPECT_THROW(CheckedSub(c.a, c.b), IntOverflowError);
        } else {
            EXPECT_EQ(CheckedSub(c.a, c.b), static_cast<std::int64_t>(c.a) - c.b);
        }
    }
}

TEST(RangeArray, IsOneBasedAndChecked) {
    RangeArray<int, 500> a;
    a[1] = 7;
    a[500] = 9;
    EXPECT_EQ(a[1], 7);
    EXPECT_EQ(a[500], 9);
    EXPECT_THROW(a[0], RangeError);
    EXPECT_THROW(a[501], RangeError);
    EXPECT_THROW(a[-1], RangeError);
    EXPECT_THROW(a[std::numeric_limits<std::int32_t>::min()], RangeError);
}

}  // namespace
}  // namespace tarvel
