#pragma once
// Every text the operator reads from the shell's work, shared by the command-line tool and the
// desktop program so that both say exactly the same thing. Texts that name one of the fixed
// folders are built by the functions below from the folder as it really is on this machine.

#include <filesystem>
#include <string>

namespace karvona::shell {

// Start-up texts for missing data files are the classifier's (classifier/messages.hpp).

// Delete key: the row's file name followed by this question, answered with OK or Cancel.
inline constexpr const char kDeleteQuestion[] = "\n이 파일을 삭제하시겠습니까?";

// Backup option switched on: "인식된 영상은 c:\recognized 에 저장됩니다.  " with the real folder.
inline constexpr const char kBackupMessageBefore[] = "인식된 영상은 ";
inline constexpr const char kBackupMessageAfter[] = " 에 저장됩니다.  ";

// Sample option switched on: "추출된 문자는 c:\characters 에 저장됩니다.  " with the real folder.
inline constexpr const char kSamplesMessageBefore[] = "추출된 문자는 ";
inline constexpr const char kSamplesMessageAfter[] = " 에 저장됩니다.  ";

// The summary at the end of a batch run: its caption and the printf format of its text.
inline constexpr const char kStatisticsCaption[] = " [ 모든 파일 인식 결과 ]";
inline constexpr const char kStatisticsFormat[] =
    "총 파일 수 %5d장 中 %5d장(%.1f%%) 인식\n\n: %5d장(%.1f%%)을 완벽히 인식하였으며,  \n  "
    "%5d장(%.1f%%)을 10자 이상 인식하였음.  \n\n수행시간은 %dsec(장당 %d ms)임.  ";
// Added to the summary when some validated codes were not sure: they wait in "review".
inline constexpr const char kReviewFormat[] =
    "\n\n%5d장(%.1f%%)은 검증되었으나 확실하지 않아 확인이 필요함.  ";

/// The question asked before the file of a row is deleted.
std::string DeleteQuestion(const std::string& fileName);
/// The message shown when the backup option is switched on, naming `recognizedFolder`.
std::string BackupMessage(const std::filesystem::path& recognizedFolder);
/// The message shown when the sample option is switched on, naming `charactersFolder`.
std::string SamplesMessage(const std::filesystem::path& charactersFolder);

}  // namespace karvona::shell
