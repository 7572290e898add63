#include "app/translation.hpp"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

// The compiled translations are a resource of this static library; registering them by hand
// keeps the linker from leaving them out. (Outside any namespace, as the macro needs.)
static void RegisterTranslationResources() {
    Q_INIT_RESOURCE(karvona_translations);
}

namespace karvona::app {
namespace {

std::unique_ptr<QTranslator>& WindowTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator>& QtTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

shell::Language& Installed() {
    static shell::Language language = shell::Language::kKorean;
    return language;
}

void Remove(std::unique_ptr<QTranslator>& translator) {
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
}

QString Translated(const char* context, const std::string& korean) {
    return QCoreApplication::translate(context, korean.c_str());
}

}  // namespace

bool InstallTranslation(shell::Language language) {
    RegisterTranslationResources();
    Remove(WindowTranslator());
    Remove(QtTranslator());
    Installed() = shell::Language::kKorean;

    // Qt's own texts (the buttons of message boxes and file dialogs), when the system has them.
    const char* qtName = language == shell::Language::kEnglish ? nullptr : "qtbase_ko";
    if (qtName != nullptr) {
        auto qt = std::make_unique<QTranslator>();
        if (qt->load(qtName, QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qt.get());
            QtTranslator() = std::move(qt);
        }
    }
    if (language == shell::Language::kKorean)
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(":/translations/karvona_en.qm"))
        return false;
    QCoreApplication::installTranslator(translator.get());
    WindowTranslator() = std::move(translator);
    Installed() = language;
    return true;
}

shell::Language WindowLanguage() {
    return Installed();
}

QString MessageText(const std::string& korean) {
    return Translated("Messages", korean);
}

shell::StatisticsTexts TranslatedStatisticsTexts() {
    shell::StatisticsTexts texts = shell::StatisticsTextsFor(shell::Language::kKorean);
    auto translate = [](std::string& text) { text = Translated("Statistics", text).toStdString(); };
    translate(texts.caption);
    translate(texts.format);
    translate(texts.notRead);
    for (std::string& reason : texts.reasons) {
        if (!reason.empty())
            translate(reason);
    }
    translate(texts.notArchived);
    translate(texts.more);
    translate(texts.review);
    return texts;
}

}  // namespace karvona::app
