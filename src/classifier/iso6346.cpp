#include "classifier/iso6346.hpp"

#include <cstdint>

namespace karvona::classifier {

int CharToIsoValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    // Letters count from 10 upwards, skipping 11, 22 and 33.
    static constexpr int kLetterValues[26] = {10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 24,
                                              25, 26, 27, 28, 29, 30, 31, 32, 34, 35, 36, 37, 38};
    if (c >= 'A' && c <= 'Z') {
        return kLetterValues[c - 'A'];
    }
    return -1;
}

char CategoryRule(int boxPosition, int prefixBreak, char classified) {
    return boxPosition == kCategoryPosition && prefixBreak >= kCategoryPosition ? 'U' : classified;
}

double CheckSumTerm(int boxPosition, char c) {
    if (boxPosition < 0 || boxPosition >= kCheckDigitPosition) {
        return 0.0;
    }
    return CharToIsoValue(c) * static_cast<double>(1 << boxPosition);
}

double CheckSumOf(std::string_view code) {
    double sum = 0.0;
    for (std::size_t i = 0; i < code.size() && i < kCheckDigitPosition; ++i) {
        sum = sum + CheckSumTerm(static_cast<int>(i), code[i]);
    }
    return sum;
}

int CheckDigitOf(double checkSum) {
    if (!(checkSum > -1e18 && checkSum < 1e18)) {
        return -1;  // no sum of a reading comes near; this keeps the conversion defined
    }
    const auto sum = static_cast<std::int64_t>(checkSum);
    const std::int64_t remainder = sum - 11 * (sum / 11);
    return remainder == 10 ? 0 : static_cast<int>(remainder);
}

bool CheckDigitPasses(double checkSum, int checkValue) {
    // A negative sum leaves a negative remainder; without this a missing check character (-1)
    // could pass against it.
    return checkValue >= 0 && CheckDigitOf(checkSum) == checkValue;
}

bool OwnerPrefixPasses(std::string_view code, int boxCount, const COwnerPrefixList& prefixes) {
    return boxCount > 5 && prefixes.Contains(code.substr(0, 4));
}

CodeVerdict ValidateCode(std::string_view code, int boxCount, double checkSum, int checkValue,
                         const COwnerPrefixList& prefixes) {
    CodeVerdict verdict;
    verdict.prefixPasses = OwnerPrefixPasses(code, boxCount, prefixes);
    verdict.checkDigitPasses = CheckDigitPasses(checkSum, checkValue);
    verdict.success = verdict.prefixPasses && verdict.checkDigitPasses;
    return verdict;
}

bool CompletionApplies(int boxCount, int gapMarks, bool prefixPasses) {
    return boxCount + gapMarks >= 9 && prefixPasses;
}

void CompleteCode(std::string& code) {
    code.resize(kCodeLength, '-');
}

}  // namespace karvona::classifier
