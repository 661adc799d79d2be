#include <gtest/gtest.h>
#include "id3v2tag.h"
TEST(Smoke, Builds) { tags::TID3v2Tag t; EXPECT_EQ(t.TagSize(), 0u); }
