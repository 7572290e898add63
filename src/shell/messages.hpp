#pragma once
// Every text the operator reads from the shell's work, shared by the command-line tool and the
// desktop program so that both say exactly the same thing. Texts that name one of the fixed
// folders are built by the functions below from the folder as it really is on this machine.
//
// Korean is the program's own language. The desktop program translates the texts marked with
// QT_TRANSLATE_NOOP through Qt Linguist (context "Messages" or "Statistics"); the command-line
// tool, which has no Qt, takes its English statistics from StatisticsTextsFor below.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "recognition/result.hpp"

// The marker the translation tools look for; without Qt it is the text itself.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace karvona::shell {

// Start-up texts for missing data files are the classifier's (classifier/messages.hpp).

// Delete key: the row's file name followed by this question, answered with OK or Cancel.
inline constexpr const char kDeleteQuestion[] =
    QT_TRANSLATE_NOOP("Messages", "\n이 파일을 삭제하시겠습니까?");

// Backup option switched on: "인식된 영상은 c:\recognized 에 저장됩니다.  " with the real folder.
inline constexpr const char kBackupMessageBefore[] =
    QT_TRANSLATE_NOOP("Messages", "인식된 영상은 ");
inline constexpr const char kBackupMessageAfter[] =
    QT_TRANSLATE_NOOP("Messages", " 에 저장됩니다.  ");

// Sample option switched on: "추출된 문자는 c:\characters 에 저장됩니다.  " with the real folder.
inline constexpr const char kSamplesMessageBefore[] =
    QT_TRANSLATE_NOOP("Messages", "추출된 문자는 ");
inline constexpr const char kSamplesMessageAfter[] =
    QT_TRANSLATE_NOOP("Messages", " 에 저장됩니다.  ");

// The summary at the end of a batch run: its caption and the printf format of its text.
inline constexpr const char kStatisticsCaption[] =
    QT_TRANSLATE_NOOP("Statistics", " [ 모든 파일 인식 결과 ]");
inline constexpr const char kStatisticsFormat[] = QT_TRANSLATE_NOOP(
    "Statistics",
    "총 파일 수 %5d장 中 %5d장(%.1f%%) 인식\n\n: %5d장(%.1f%%)을 완벽히 인식하였으며,  \n  "
    "%5d장(%.1f%%)을 10자 이상 인식하였음.  \n\n수행시간은 %dsec(장당 %d ms)임.  ");

// Added to the summary when some validated codes were not sure: they wait in "review".
inline constexpr const char kReviewFormat[] = QT_TRANSLATE_NOOP(
    "Statistics", "\n\n%5d장(%.1f%%)은 검증되었으나 확실하지 않아 확인이 필요함.  ");

enum class Language { kKorean, kEnglish };

/// The question asked before the file of a row is deleted.
std::string DeleteQuestion(const std::string& fileName);
/// The message shown when the backup option is switched on, naming `recognizedFolder`.
std::string BackupMessage(const std::filesystem::path& recognizedFolder,
                          Language language = Language::kKorean);
/// The message shown when the sample option is switched on, naming `charactersFolder`.
std::string SamplesMessage(const std::filesystem::path& charactersFolder,
                           Language language = Language::kKorean);

// ---- languages ----

/// "ko" or "en"; false for anything else.
bool ParseLanguage(std::string_view code, Language& language);
/// The language of the environment: the first of LC_ALL, LC_MESSAGES and LANG that is set and
/// not empty decides; a value starting with "ko" is Korean, anything else (C, POSIX, other
/// languages, or nothing set) English.
Language LanguageFromEnvironment();

/// The texts of the statistics message. The printf formats keep the conversions of the Korean
/// ones in the same order (FormatStatistics falls back to Korean for any that does not).
struct StatisticsTexts {
    std::string caption;  ///< kStatisticsCaption
    std::string format;   ///< kStatisticsFormat
    std::string notRead;  ///< "%d": the photographs not read; the reasons with counts follow
    /// The reasons by recognition::LoadStatus (the entry of Ok is not used).
    std::array<std::string, 7> reasons;
    std::string notArchived;  ///< "%d": the photographs whose archive copy failed; names follow
    std::string more;         ///< "%d": names left out of a long list
    std::string review;       ///< kReviewFormat
};

/// The statistics texts of a language.
StatisticsTexts StatisticsTextsFor(Language language);

/// Whether `format` has the same printf conversions as `reference`, in the same order.
bool SameConversions(std::string_view format, std::string_view reference);

}  // namespace karvona::shell
