#include "classifier/iso6346.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "training_bytes.hpp"

using namespace karvona::classifier;
using namespace karvona::classifier::testing;

namespace {

COwnerPrefixList ListOf(const std::string& text) {
    ScratchDir dir;
    WriteFile(dir.File("prefix.txt"), text);
    COwnerPrefixList list;
    EXPECT_TRUE(list.LoadPrefixFile(dir.File("prefix.txt")));
    return list;
}

// The walk of the reading pass over classified boxes (no gaps, no degenerate crops).
struct Walk {
    std::string code;
    double sum = 0.0;
    int checkValue = -1;
};

Walk WalkBoxes(const std::string& classified, int prefixBreak) {
    Walk w;
    for (int i = 0; i < static_cast<int>(classified.size()); ++i) {
        const char c = CategoryRule(i, prefixBreak, classified[i]);
        w.code += c;
        w.sum += CheckSumTerm(i, c);
        if (i == kCheckDigitPosition) {
            w.checkValue = CharToIsoValue(c);
        }
    }
    return w;
}

}  // namespace

TEST(Iso6346, EquivalentValues) {
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const int values[] = {10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 24,
                          25, 26, 27, 28, 29, 30, 31, 32, 34, 35, 36, 37, 38};
    for (std::size_t i = 0; i < letters.size(); ++i) {
        EXPECT_EQ(CharToIsoValue(letters[i]), values[i]) << letters[i];
    }
    for (char d = '0'; d <= '9'; ++d) {
        EXPECT_EQ(CharToIsoValue(d), d - '0');
    }
    for (char other : {'-', '\0', 'a', ' ', '\xff'}) {
        EXPECT_EQ(CharToIsoValue(other), -1);
    }
}

TEST(Iso6346, ValidReadingWithTheCategoryLetterForced) {
    const COwnerPrefixList list = ListOf("MSCU\nABCU\n");
    const Walk w = WalkBoxes("ABCX1234560", 3);
    EXPECT_EQ(w.code, "ABCU1234560");
    EXPECT_EQ(w.sum, 5478.0);
    EXPECT_EQ(CheckDigitOf(w.sum), 0);
    const CodeVerdict v = ValidateCode(w.code, 11, w.sum, w.checkValue, list);
    EXPECT_TRUE(v.prefixPasses);
    EXPECT_TRUE(v.checkDigitPasses);
    EXPECT_TRUE(v.success);

    const Walk wrong = WalkBoxes("ABCX1234567", 3);
    EXPECT_EQ(wrong.code, "ABCU1234567");
    const CodeVerdict bad = ValidateCode(wrong.code, 11, wrong.sum, wrong.checkValue, list);
    EXPECT_TRUE(bad.prefixPasses);
    EXPECT_FALSE(bad.success);
}

TEST(Iso6346, RemainderTenStandsForZero) {
    const double sum = CheckSumOf("ABCU123401");
    EXPECT_EQ(sum, 1638.0);
    EXPECT_EQ(CheckDigitOf(sum), 0);
    EXPECT_TRUE(CheckDigitPasses(sum, 0));
    for (int digit = 1; digit <= 9; ++digit) {
        EXPECT_FALSE(CheckDigitPasses(sum, digit)) << digit;
    }
}

TEST(Iso6346, CheckValueOfAMissingCharacterNeverPasses) {
    EXPECT_FALSE(CheckDigitPasses(5478.0, -1));
    // A negative sum (characters without a class are worth -1) leaves a negative remainder.
    EXPECT_EQ(CheckDigitOf(-1.0), -1);
    EXPECT_FALSE(CheckDigitPasses(-1.0, -1));
    EXPECT_EQ(CheckDigitOf(std::nan("")), -1);
}

TEST(Iso6346, CategoryLetterAndBoxPositionWeights) {
    EXPECT_EQ(CategoryRule(3, 3, 'X'), 'U');
    EXPECT_EQ(CategoryRule(3, 2, '7'), '7');  // position 3 is a digit position
    EXPECT_EQ(CategoryRule(2, 3, 'X'), 'X');
    EXPECT_EQ(CheckSumTerm(4, '1'), 16.0);
    EXPECT_EQ(CheckSumTerm(10, '9'), 0.0);  // the check digit is not summed
}

TEST(Iso6346, PrefixTestAndCompletion) {
    const COwnerPrefixList list = ListOf("ABCU\nabcd\n");

    // Ten boxes, prefix known: padded to eleven with a final "-", no success (no check value).
    Walk w = WalkBoxes("ABCU123456", 3);
    CodeVerdict v = ValidateCode(w.code, 10, w.sum, w.checkValue, list);
    EXPECT_TRUE(v.prefixPasses);
    EXPECT_FALSE(v.success);
    ASSERT_TRUE(CompletionApplies(10, 0, v.prefixPasses));
    CompleteCode(w.code);
    EXPECT_EQ(w.code, "ABCU123456-");

    // Five boxes: no prefix test, no padding.
    w = WalkBoxes("ABCU1", 3);
    v = ValidateCode(w.code, 5, w.sum, w.checkValue, list);
    EXPECT_FALSE(v.prefixPasses);
    EXPECT_FALSE(CompletionApplies(5, 0, v.prefixPasses));

    // A "-" among the letters spoils the prefix; a lower-case entry never matches a reading.
    EXPECT_FALSE(OwnerPrefixPasses("AB-C1234567", 10, list));
    EXPECT_FALSE(OwnerPrefixPasses("ABCD1234567", 11, list));
    EXPECT_TRUE(OwnerPrefixPasses("ABCU12", 6, list));

    // Gap marks count towards completion; fewer than nine in all do not complete.
    EXPECT_TRUE(CompletionApplies(8, 1, true));
    EXPECT_FALSE(CompletionApplies(8, 0, true));
    EXPECT_FALSE(CompletionApplies(11, 0, false));
    std::string longer = "ABCU1234-56789";
    CompleteCode(longer);
    EXPECT_EQ(longer, "ABCU1234-56");
}
