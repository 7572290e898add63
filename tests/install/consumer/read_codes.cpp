// read_codes DATA PHOTO...: one line per photograph, "code outcome layout".
#include <cstdio>
#include <karvona/karvona.hpp>
#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const karvona::ReferenceDataLoad load = karvona::LoadReferenceData(argv[1]);
    if (!load) {
        for (const std::string& problem : load.problems)
            std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    std::printf("karvona %s\n", karvona::Version());
    for (int i = 2; i < argc; ++i) {
        const karvona::CodeReading reading = karvona::ReadCode(cv::imread(argv[i]), *load.data);
        std::printf("%s %s %s [%s]\n", reading.code.c_str(), karvona::ToText(reading.outcome),
                    karvona::ToText(reading.error), karvona::ToText(reading.layout));
    }
    return 0;
}
