// The update record and the ID text the printer must report after taking it.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "update/record.h"

namespace {

TEST(Record, EveryByteMatchesTheListing) {
    const std::string listed = qxtest::ListedRecord();
    ASSERT_EQ(listed.size(), 126u);
    ASSERT_EQ(DeviceIdRecord.size(), 126u);
    for (std::size_t i = 0; i < listed.size(); ++i)
        EXPECT_EQ(int(DeviceIdRecord[i]), int(static_cast<unsigned char>(listed[i])))
            << "record byte " << i;
}

TEST(Record, BothLengthFieldsDeclareTheIdLength) {
    auto length = [](std::size_t at) { return DeviceIdRecord[at] << 8 | DeviceIdRecord[at + 1]; };
    EXPECT_EQ(length(2), 117);
    EXPECT_EQ(length(8), 117);
    // The declared length covers its own two bytes and the text up to the record's last byte.
    EXPECT_EQ(8 + length(8), 125);
}

TEST(Record, ExpectedTextIsTheDeclaredPartOfTheRecord) {
    const std::string expected(ExpectedIdText.data());
    EXPECT_EQ(expected.size(), 115u);
    EXPECT_EQ(expected, std::string(DeviceIdRecord.begin() + 10, DeviceIdRecord.begin() + 125));
    EXPECT_EQ(expected, qxtest::ListedExpectedId());
    // The record's last byte is the padding space outside the declared length.
    EXPECT_EQ(DeviceIdRecord[125], ' ');
    EXPECT_EQ(expected.back(), ' ');
}

} // namespace
