#pragma once
// The data files of the classifier and the texts a front end shows when loading them fails.
// The core shows nothing itself; it returns a status and the front end picks the texts here.

#include <string>
#include <vector>

#include "classifier/lvq_cluster.hpp"

// The marker the translation tools look for (the desktop program translates these texts in the
// context "Messages"); without Qt it is the text itself.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace karvona::classifier {

inline constexpr char kLetterTrainingFile[] = "prefixes.trn";
inline constexpr char kDigitTrainingFile[] = "numbers.trn";
inline constexpr char kPrefixFile[] = "prefix.txt";

/// Shown when a training file's header declares no prototypes.
inline constexpr char kTrainingHeaderUnreadableText[] =
    QT_TRANSLATE_NOOP("Messages", "훈련파일 정보를 제대로 읽지 못했습니다.");
/// Shown for any failed load of the letter training file (the trailing blanks belong to it).
inline constexpr char kLetterTrainingFileMissingText[] =
    QT_TRANSLATE_NOOP("Messages", "prefixes.trn 훈련 파일을 찾을 수 없습니다.  ");
/// Shown for any failed load of the digit training file (the trailing blanks belong to it).
inline constexpr char kDigitTrainingFileMissingText[] =
    QT_TRANSLATE_NOOP("Messages", "numbers.trn 훈련 파일을 찾을 수 없습니다.  ");
/// Shown when the owner-prefix file cannot be opened (the trailing blanks belong to it).
inline constexpr char kPrefixFileMissingText[] =
    QT_TRANSLATE_NOOP("Messages", "prefix.txt 파일을 찾을 수 없습니다.  ");

/// The message boxes a failed training-file load brings, in order: none for Ok; for a header
/// without prototypes the loader's text and then fileMissingText; for any other failure
/// fileMissingText alone.
std::vector<std::string> TrainingLoadMessages(TrainingFileStatus status,
                                              const std::string& fileMissingText);

}  // namespace karvona::classifier
