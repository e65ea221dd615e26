#include "common/color_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ColorText, FormatsRedInTheHighByte) {
    char text[kColorTextSize];
    FormatColorText(0x000000FF, text);
    EXPECT_STREQ(text, "#FF0000");
    FormatColorText(0x00123456, text);
    EXPECT_STREQ(text, "#563412");
    FormatColorText(0xFF00FF00, text); // a stray high byte is not shown
    EXPECT_STREQ(text, "#00FF00");
}

TEST(ColorText, ParsesSixHexDigitsAfterAnUnexaminedFirstCharacter) {
    uint32_t c = 0;
    EXPECT_TRUE(ParseColorText(L"#00FF00", c));
    EXPECT_EQ(c, 0x0000FF00u);
    EXPECT_TRUE(ParseColorText(L"x00ff00", c));
    EXPECT_EQ(c, 0x0000FF00u);
    EXPECT_TRUE(ParseColorText(L"#aBcDeF", c));
    EXPECT_EQ(c, 0x00EFCDABu);
}

TEST(ColorText, RejectsWrongLengthsAndDigitsWithoutChange) {
    uint32_t c = 0x00000FF;
    for (const wchar_t* bad : {L"#00FF0", L"#00FG00", L"", L"#00FF000", L"#00 F00", L"#0x0F00"}) {
        EXPECT_FALSE(ParseColorText(bad, c)) << std::wcslen(bad);
        EXPECT_EQ(c, 0x000000FFu);
    }
    EXPECT_FALSE(ParseColorText(nullptr, c));
}

} // namespace
