#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

using namespace mSubscriptions;
using TestSupport::FakePlatform;

TEST(SourceId, BytesFollowMemoryOrderNotTheRegistryForm) {
  const Guid guid{0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
  EXPECT_EQ(FormatSourceID(guid), "33221100-5544-7766-8899-AABBCCDDEEFF");
}

TEST(SourceId, NewGuidIsVersionFourFromRandomBytes) {
  FakePlatform platform;
  // The fake hands out 00 01 02 ... 0F: version bits land in Data3, variant bits in Data4[0].
  EXPECT_EQ(NewGUID(), "00010203-0405-0647-8809-0A0B0C0D0E0F");
  platform.random.script.assign(16, 0xFF);
  EXPECT_EQ(NewGUID(), "FFFFFFFF-FFFF-FF4F-BFFF-FFFFFFFFFFFF");
  platform.random.fail = true;
  EXPECT_EQ(NewGUID(), "");
}

TEST(SourceId, OnlyTheExactUpperCaseFormIsAnIdentifier) {
  EXPECT_TRUE(IsSourceID("33221100-5544-7766-8899-AABBCCDDEEFF"));
  for (const char* bad :
       {"", "33221100-5544-7766-8899-aabbccddeeff", "{33221100-5544-7766-8899-AABBCCDDEEFF}",
        "33221100-5544-7766-8899-AABBCCDDEEF", "3322110005544-7766-8899-AABBCCDDEEFF",
        "33221100-5544-7766-8899-AABB/CDDEEFF", "../../../../../../../../../../../../x"}) {
    EXPECT_FALSE(IsSourceID(bad)) << bad;
  }
}
