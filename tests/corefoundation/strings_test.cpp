#include <gtest/gtest.h>

#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/testing.h"
#include "tests/corefoundation/Helpers.h"

namespace {

// A file name typed precomposed becomes the decomposed name that the sound file is given.
TEST(CFStrings, NormalizingAMutableCopyDecomposesAndLeavesTheOriginal) {
    const UniChar units[] = {u'c', u'a', u'f', 0x00E9, u'.', u'a'};
    CFHeld<CFStringRef> name(CFStringCreateWithCharacters(nullptr, units, 6));
    ASSERT_NE(name, nullptr);
    CFHeld<CFMutableStringRef> copy(CFStringCreateMutableCopy(nullptr, 0, name.get()));
    ASSERT_NE(copy, nullptr);
    CFStringNormalize(copy.get(), kCFStringNormalizationFormD);

    EXPECT_EQ(Units(copy.get()), u"cafe\u0301.a");
    EXPECT_EQ(Units(name.get()), u"caf\u00E9.a");
}

TEST(CFStrings, EachFormMatchesIcu) {
    struct Case {
        CFStringNormalizationForm form;
        std::u16string in, out;
    };
    const Case cases[] = {
        {kCFStringNormalizationFormD, u"\u00C5\u1E69", u"A\u030As\u0323\u0307"},
        {kCFStringNormalizationFormD, u"\uD55C", u"\u1112\u1161\u11AB"},  // Hangul grows 1 to 3
        {kCFStringNormalizationFormD, u"\uFB01", u"\uFB01"},              // no compatibility
        {kCFStringNormalizationFormC, u"e\u0301", u"\u00E9"},
        {kCFStringNormalizationFormKD, u"\uFB01\u00E9", u"fie\u0301"},
        {kCFStringNormalizationFormKC, u"\uFB01e\u0301", u"fi\u00E9"},
        // One unit becomes 18, past any first guess at the size.
        {kCFStringNormalizationFormKD, u"\uFDFA",
         u"\u0635\u0644\u0649 \u0627\u0644\u0644\u0647 \u0639\u0644\u064A\u0647 "
         u"\u0648\u0633\u0644\u0645"},
        {kCFStringNormalizationFormD, u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "form " << c.form << " length " << c.in.size());
        CFHeld<CFStringRef> in(MakeString(c.in));
        CFHeld<CFMutableStringRef> copy(CFStringCreateMutableCopy(nullptr, 0, in.get()));
        ASSERT_NE(copy, nullptr);
        CFStringNormalize(copy.get(), c.form);
        EXPECT_EQ(Units(copy.get()), c.out);
    }
}

TEST(CFStrings, NormalizeChangesOnlyMutableStringsAndKnownForms) {
    CFHeld<CFStringRef> fixed(MakeString(u"e\u0301"));
    CFStringNormalize(const_cast<CFMutableStringRef>(fixed.get()), kCFStringNormalizationFormC);
    EXPECT_EQ(Units(fixed.get()), u"e\u0301");

    CFHeld<CFMutableStringRef> copy(CFStringCreateMutableCopy(nullptr, 0, fixed.get()));
    CFStringNormalize(copy.get(), static_cast<CFStringNormalizationForm>(7));
    EXPECT_EQ(Units(copy.get()), u"e\u0301");
    CFStringNormalize(nullptr, kCFStringNormalizationFormD);
}

TEST(CFStrings, CreationAndCopyGuardTheirArguments) {
    CFHeld<CFStringRef> empty(CFStringCreateWithCharacters(nullptr, nullptr, 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CFStringGetLength(empty.get()), 0);
    EXPECT_EQ(CFStringCreateWithCharacters(nullptr, nullptr, 3), nullptr);
    const UniChar a[] = {u'a', u'b', u'c'};
    EXPECT_EQ(CFStringCreateWithCharacters(nullptr, a, -1), nullptr);

    CFHeld<CFStringRef> abc(CFStringCreateWithCharacters(nullptr, a, 3));
    EXPECT_EQ(CFStringCreateMutableCopy(nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(CFStringCreateMutableCopy(nullptr, -1, abc.get()), nullptr);
    EXPECT_EQ(CFStringCreateMutableCopy(nullptr, 2, abc.get()), nullptr);  // longer than allowed
    CFHeld<CFMutableStringRef> exact(CFStringCreateMutableCopy(nullptr, 3, abc.get()));
    EXPECT_NE(exact, nullptr);
}

TEST(CFStrings, GetCharactersCopiesOnlyARangeInside) {
    CFHeld<CFStringRef> abc(MakeString(u"abc"));
    UniChar out[4] = {u'#', u'#', u'#', u'#'};
    CFStringGetCharacters(abc.get(), 1, 2, out);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(out), 4), u"bc##");

    UniChar untouched[4] = {u'#', u'#', u'#', u'#'};
    CFStringGetCharacters(abc.get(), 2, 2, untouched);
    CFStringGetCharacters(abc.get(), -1, 1, untouched);
    CFStringGetCharacters(abc.get(), 0, -1, untouched);
    CFStringGetCharacters(abc.get(), 4, 0, untouched);
    CFStringGetCharacters(nullptr, 0, 1, untouched);
    EXPECT_EQ(untouched[0], u'#');
    CFStringGetCharacters(abc.get(), 0, 3, nullptr);
    EXPECT_EQ(CFStringGetLength(nullptr), 0);
}

}  // namespace
