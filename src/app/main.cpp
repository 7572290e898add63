// karvona-gui: the desktop program.
//   karvona-gui [--data DIR] [--lang ko|en] [--strict] [--help] [--version] [PATH...]
// (`--screenshot OUT.png [--photos DIR] [--read ROW]` adds the photographs of DIR, reads one
// row, saves a picture of the window and ends.)

#include <string>
#include <vector>

#include "app/karvona_app.hpp"
#include "app/start_options.hpp"

int main(int argc, char** argv) {
    karvona::app::StartOptions options;
    if (const int code = karvona::app::ParseStartOptions(argc, argv, options); code >= 0)
        return code;
    karvona::app::CKarvonaApp app(argc, argv);  // Qt takes its own options out of argv
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments())
        arguments.push_back(argument.toLocal8Bit().toStdString());
    if (const int code = karvona::app::CheckLeftOverArguments(options, arguments); code >= 0)
        return code;
    app.SetStartOptions(options);
    app.InitInstance();
    return app.ExitCode();
}
