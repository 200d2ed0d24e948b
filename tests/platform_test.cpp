#include "platform/platform.h"
#include "tests/support/debug_capture.h"

#include <gtest/gtest.h>

#include <string>

TEST(DebugOutput, EachCallIsOneMessageExactlyAsGiven) {
    DebugCapture capture;
    PlatformDebugOutput("Texture : Texture not found!\n");
    PlatformDebugOutput("");
    PlatformDebugOutput(nullptr);
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[0], "Texture : Texture not found!\n");
    EXPECT_EQ(capture.messages[1], "");
}

TEST(DebugOutput, PrintfFormatsAndCutsLongTextSafely) {
    DebugCapture capture;
    PlatformDebugPrintf("FMOD %.02f\n", 3.2);
    std::string longText(5000, 'x');
    PlatformDebugPrintf("%s", longText.c_str());
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[0], "FMOD 3.20\n");
    EXPECT_EQ(capture.messages[1], std::string(1023, 'x'));
}

TEST(DebugOutput, SinkIsRestoredWhenCaptureEnds) {
    {
        DebugCapture first;
        {
            DebugCapture second;
            PlatformDebugOutput("inner");
            EXPECT_EQ(second.messages.size(), 1u);
        }
        PlatformDebugOutput("outer");
        ASSERT_EQ(first.messages.size(), 1u);
        EXPECT_EQ(first.messages[0], "outer");
    }
}

TEST(PerfCounter, IsMonotonicWithPositiveFrequency) {
    EXPECT_GT(PlatformPerfFrequency(), 0);
    int64_t a = PlatformPerfCounter();
    int64_t b = PlatformPerfCounter();
    EXPECT_GE(b, a);
}

TEST(GlobalMemory, WritableAndFreeable) {
    auto* bytes = static_cast<unsigned char*>(PlatformGlobalAlloc(64));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 64; ++i) {
        bytes[i] = static_cast<unsigned char>(i);
    }
    EXPECT_EQ(bytes[63], 63);
    PlatformGlobalFree(bytes);
    PlatformGlobalFree(nullptr);
    void* empty = PlatformGlobalAlloc(0);
    EXPECT_NE(empty, nullptr);
    PlatformGlobalFree(empty);
}

// What is written reads back after a rewind, and two files are two files.
TEST(TempFile, ReadsBackWhatWasWrittenAndIsPrivate) {
    FILE* first = PlatformTempFile();
    FILE* second = PlatformTempFile();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const std::string bytes("archive\0\x01\xff\r\n", 12);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), first), bytes.size());
    ASSERT_EQ(std::fseek(first, 0, SEEK_SET), 0);
    std::string back(bytes.size() + 4, '\0');
    EXPECT_EQ(std::fread(back.data(), 1, back.size(), first), bytes.size()) << "binary, no line-end translation";
    back.resize(bytes.size());
    EXPECT_EQ(back, bytes);
    char c = 0;
    EXPECT_EQ(std::fread(&c, 1, 1, second), 0u) << "a fresh file is empty";
    std::fclose(first);
    std::fclose(second);
}
