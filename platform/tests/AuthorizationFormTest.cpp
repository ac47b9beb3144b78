#include "AuthorizationForm.h"

#include <gtest/gtest.h>

using namespace tindrel::platform;

TEST(AuthorizationForm, RoundTripsAndMatchesOnlyTheSameSubject)
{
    const ProcessSubject subject{4321, 987654321012ULL, 1000};
    const auto bytes = encodeAuthorizationForm(subject);
    ASSERT_EQ(bytes.size(), 32u);
    EXPECT_EQ(decodeAuthorizationForm(bytes), subject);
    EXPECT_TRUE(formNamesSubject(bytes, subject));
    EXPECT_FALSE(formNamesSubject(bytes, {4322, subject.startTime, subject.uid}));
    EXPECT_FALSE(formNamesSubject(bytes, {subject.pid, subject.startTime + 1, subject.uid}));
    EXPECT_FALSE(formNamesSubject(bytes, {subject.pid, subject.startTime, 0}));
}

TEST(AuthorizationForm, RejectsDamagedForms)
{
    const auto good = encodeAuthorizationForm({10, 20, 30});
    for (std::size_t offset : {0u, 7u, 8u, 28u, 31u}) {
        auto bad = good;
        bad[offset] ^= std::byte{0x01};
        EXPECT_FALSE(decodeAuthorizationForm(bad)) << offset;
    }
    EXPECT_FALSE(decodeAuthorizationForm(encodeAuthorizationForm({0, 1, 2})));
    EXPECT_FALSE(decodeAuthorizationForm(encodeAuthorizationForm({-5, 1, 2})));
    EXPECT_FALSE(decodeAuthorizationForm(AuthorizationFormBytes{}));
}

TEST(AuthorizationForm, StartTimeIsField22EvenWithOddCommandNames)
{
    const std::string tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 123456 99 100\n";
    EXPECT_EQ(parseStatStartTime("42 (bash)" + tail), 123456u);
    EXPECT_EQ(parseStatStartTime("42 (a) (b) 1 2 3)" + tail), 123456u);
    EXPECT_EQ(parseStatStartTime("42 (x y)" + tail), 123456u);
    EXPECT_FALSE(parseStatStartTime("42 (bash) S 1 2 3"));
    EXPECT_FALSE(parseStatStartTime("no parenthesis"));
    EXPECT_FALSE(parseStatStartTime("42 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 12z 1"));
}
