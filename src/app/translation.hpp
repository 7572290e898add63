#pragma once
// The window's language. Korean is the language of the source texts; English comes from the Qt
// Linguist translation src/app/translations/karvona_en.ts, built into the program. The texts
// that the shell and the classifier share with the command-line tool are translated here too,
// by their Korean text (contexts "Messages" and "Statistics").

#include <QString>
#include <string>

#include "shell/messages.hpp"

namespace karvona::app {

/// Installs the window's texts in `language` on the running application, replacing any
/// installed before; later windows and message boxes use it. Korean needs no translation (Qt's
/// own Korean texts are added when the system has them). Returns false when the English
/// translation is missing, in which case the window stays Korean.
bool InstallTranslation(shell::Language language);

/// The language installed last (Korean until InstallTranslation is called).
shell::Language WindowLanguage();

/// A Korean text of the shell or the classifier in the window's language.
QString MessageText(const std::string& korean);

/// The statistics texts in the window's language.
shell::StatisticsTexts TranslatedStatisticsTexts();

}  // namespace karvona::app
