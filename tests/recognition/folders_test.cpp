#include "recognition/folders.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace karvona::recognition;

TEST(Folders, LiveUnderTheRootFromTheEnvironment) {
    const char* saved = std::getenv("KARVONA_ROOT");
    const std::string keep = saved ? saved : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("KARVONA_ROOT", "/tmp/kv-root", 1);
    EXPECT_EQ(RootFolder(), "/tmp/kv-root");
    EXPECT_EQ(RecognizedFolder(), "/tmp/kv-root/recognized");
    EXPECT_EQ(CharactersFolder(), "/tmp/kv-root/characters");
    EXPECT_EQ(UnrecognizedFolder(), "/tmp/kv-root/unrecognized");
    unsetenv("KARVONA_ROOT");
    setenv("HOME", "/home/op", 1);
    EXPECT_EQ(RootFolder(), "/home/op/karvona");
    setenv("HOME", home.c_str(), 1);
    if (saved)
        setenv("KARVONA_ROOT", keep.c_str(), 1);
}
