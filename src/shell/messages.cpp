#include "shell/messages.hpp"

#include <cstdlib>

namespace karvona::shell {

std::string DeleteQuestion(const std::string& fileName) {
    return fileName + kDeleteQuestion;
}

std::string BackupMessage(const std::filesystem::path& recognizedFolder, Language language) {
    if (language == Language::kEnglish)
        return "Recognized images are saved in " + recognizedFolder.string() + ".  ";
    return kBackupMessageBefore + recognizedFolder.string() + kBackupMessageAfter;
}

std::string SamplesMessage(const std::filesystem::path& charactersFolder, Language language) {
    if (language == Language::kEnglish)
        return "Extracted characters are saved in " + charactersFolder.string() + ".  ";
    return kSamplesMessageBefore + charactersFolder.string() + kSamplesMessageAfter;
}

bool ParseLanguage(std::string_view code, Language& language) {
    if (code == "ko") {
        language = Language::kKorean;
        return true;
    }
    if (code == "en") {
        language = Language::kEnglish;
        return true;
    }
    return false;
}

Language LanguageFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return std::string_view(value).substr(0, 2) == "ko" ? Language::kKorean
                                                                : Language::kEnglish;
        }
    }
    return Language::kEnglish;
}

StatisticsTexts StatisticsTextsFor(Language language) {
    using recognition::LoadStatus;
    StatisticsTexts texts;
    auto reason = [&texts](LoadStatus status, const char* text) {
        texts.reasons[static_cast<size_t>(status)] = text;
    };
    if (language == Language::kEnglish) {
        texts.caption = " [ Results of recognizing all files ]";
        texts.format =
            "%5d files in all, %5d (%.1f%%) recognized\n\n: %5d (%.1f%%) recognized perfectly,  "
            "\n  %5d (%.1f%%) recognized with 10 or more characters.  \n\nTime taken: %d sec "
            "(%d ms per file).  ";
        texts.notRead = "Not read: %d files:";
        reason(LoadStatus::Missing, "missing");
        reason(LoadStatus::NotRegularFile, "not a file");
        reason(LoadStatus::CannotRead, "cannot be read");
        reason(LoadStatus::UnsupportedFormat, "not a JPEG, PNG or BMP image");
        reason(LoadStatus::TooLarge, "too large");
        reason(LoadStatus::CannotDecode, "damaged or cut short");
        texts.notArchived = "Not copied into the archive: %d files:";
        texts.more = "and %d more";
        texts.review = "\n\n%5d (%.1f%%) validated but not sure: to be checked.  ";
        return texts;
    }
    texts.caption = kStatisticsCaption;
    texts.format = kStatisticsFormat;
    texts.notRead = QT_TRANSLATE_NOOP("Statistics", "읽지 못한 파일 %d장:");
    reason(LoadStatus::Missing, QT_TRANSLATE_NOOP("Statistics", "파일 없음"));
    reason(LoadStatus::NotRegularFile, QT_TRANSLATE_NOOP("Statistics", "파일이 아님"));
    reason(LoadStatus::CannotRead, QT_TRANSLATE_NOOP("Statistics", "읽기 오류"));
    reason(LoadStatus::UnsupportedFormat,
           QT_TRANSLATE_NOOP("Statistics", "JPEG, PNG, BMP 영상이 아님"));
    reason(LoadStatus::TooLarge, QT_TRANSLATE_NOOP("Statistics", "너무 큼"));
    reason(LoadStatus::CannotDecode, QT_TRANSLATE_NOOP("Statistics", "손상되었거나 잘림"));
    texts.notArchived = QT_TRANSLATE_NOOP("Statistics", "백업하지 못한 파일 %d장:");
    texts.more = QT_TRANSLATE_NOOP("Statistics", "외 %d장");
    texts.review = kReviewFormat;
    return texts;
}

namespace {

// The conversions of a printf format, each as its text from "%" to the conversion letter;
// "%%" is not one.
std::string Conversions(std::string_view format) {
    std::string list;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < format.size() &&
               std::string_view("diouxXeEfFgGaAcspn").find(format[end]) == std::string_view::npos)
            ++end;
        list += std::string(format.substr(i, end + 1 - i)) + "|";
        i = end;
    }
    return list;
}

}  // namespace

bool SameConversions(std::string_view format, std::string_view reference) {
    return Conversions(format) == Conversions(reference);
}

}  // namespace karvona::shell
