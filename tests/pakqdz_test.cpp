#include "archive/archive.h"
#include "archive/pak_writer.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// Runs the tool with a shell command line; captures both output streams.
ToolRun Pakqdz(const TempDir& dir, const std::string& args) {
    const std::string errFile = dir.File("stderr.txt");
    const std::string command = "cd '" + dir.path() + "' && '" PAKQDZ_PATH "' " + args + " 2>'" + errFile + "'";
    ToolRun run{-1, "", ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const Bytes err = ReadFileBytes(errFile);
    run.err.assign(err.begin(), err.end());
    return run;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

int Lines(const std::string& s) {
    int n = 0;
    for (char c : s) {
        n += c == '\n';
    }
    return n;
}

TEST(Pakqdz, CreateMakesTheExampleArchive) {
    TempDir dir;
    WriteFileBytes(dir.File("a.txt"), Text("abc"));
    const ToolRun run = Pakqdz(dir, "create out.qdz a.txt");
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes bytes = ReadFileBytes(dir.File("out.qdz"));
    ASSERT_EQ(bytes.size(), 51u);
    Bytes expected;
    std::string error;
    ASSERT_TRUE(PakBuildArchive({{"a.txt", 0, Text("abc")}}, &expected, &error));
    EXPECT_EQ(bytes, expected);
}

TEST(Pakqdz, ListCatAndVerify) {
    TempDir dir;
    WriteFileBytes(dir.File("Logo.3DS"), Text("scene"));
    WriteFileBytes(dir.File("empty.bin"), {});
    ASSERT_EQ(Pakqdz(dir, "create p.qdz --mask 200 Logo.3DS empty.bin").status, 0);
    ToolRun run = Pakqdz(dir, "list p.qdz");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Logo.3DS\t5\t200\t0\nempty.bin\t0\t200\t5\n");
    run = Pakqdz(dir, "cat p.qdz logo.3ds");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "scene");
    EXPECT_EQ(Pakqdz(dir, "cat p.qdz EMPTY.BIN").out, "");
    run = Pakqdz(dir, "cat p.qdz nothere");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(Lines(run.err), 1);
    EXPECT_EQ(Pakqdz(dir, "verify p.qdz").status, 0);
}

TEST(Pakqdz, AddKeepsEverythingAndAppendsInOrder) {
    TempDir dir;
    WriteFileBytes(dir.File("one"), Text("111"));
    WriteFileBytes(dir.File("two"), Text("2222"));
    WriteFileBytes(dir.File("three"), Text("33333"));
    ASSERT_EQ(Pakqdz(dir, "create p.qdz one").status, 0);
    ASSERT_EQ(Pakqdz(dir, "add p.qdz --mask 9 two three").status, 0);
    const ToolRun run = Pakqdz(dir, "list p.qdz");
    EXPECT_EQ(run.out, "one\t3\t0\t0\ntwo\t4\t9\t3\nthree\t5\t9\t7\n");
    // The result is what creating all three at once would give, masks aside.
    Bytes expected;
    std::string error;
    ASSERT_TRUE(PakBuildArchive({{"one", 0, Text("111")}, {"two", 9, Text("2222")}, {"three", 9, Text("33333")}},
                                &expected, &error));
    EXPECT_EQ(ReadFileBytes(dir.File("p.qdz")), expected);
    EXPECT_EQ(Pakqdz(dir, "verify p.qdz").status, 0);
}

TEST(Pakqdz, AddToAnArchiveAppendedToAnotherFileKeepsThePrefix) {
    TempDir dir;
    Bytes file = Text("PREFIX-BYTES-OF-A-PROGRAM");
    Bytes archive;
    std::string error;
    ASSERT_TRUE(PakBuildArchive({{"old", 0x33, Text("old data")}}, &archive, &error));
    file.insert(file.end(), archive.begin(), archive.end());
    WriteFileBytes(dir.File("game.bin"), file);
    WriteFileBytes(dir.File("new"), Text("new data"));
    ASSERT_EQ(Pakqdz(dir, "add game.bin new").status, 0);
    const Bytes after = ReadFileBytes(dir.File("game.bin"));
    ASSERT_GE(after.size(), 25u);
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 25), Text("PREFIX-BYTES-OF-A-PROGRAM"));
    EXPECT_EQ(Pakqdz(dir, "cat game.bin old").out, "old data");
    EXPECT_EQ(Pakqdz(dir, "cat game.bin new").out, "new data");
}

TEST(Pakqdz, ExtractAllOrNamedIntoAFolder) {
    TempDir dir;
    Bytes archive;
    std::string error;
    ASSERT_TRUE(PakBuildArchive({{"a.jpg", 1, Text("A1")}, {"A.JPG", 2, Text("A2")}, {"b.tga", 0, Text("B")}},
                                &archive, &error));
    WriteFileBytes(dir.File("p.qdz"), archive);
    ASSERT_EQ(system(("mkdir '" + dir.File("out") + "' '" + dir.File("one") + "'").c_str()), 0);
    ASSERT_EQ(Pakqdz(dir, "extract p.qdz -C out").status, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("out/a.jpg")), Text("A1"));
    EXPECT_EQ(ReadFileBytes(dir.File("out/b.tga")), Text("B"));
    EXPECT_TRUE(ReadFileBytes(dir.File("out/A.JPG")).empty()); // shadowed by the first
    ASSERT_EQ(Pakqdz(dir, "extract p.qdz -C one B.TGA").status, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("one/b.tga")), Text("B"));
    EXPECT_NE(Pakqdz(dir, "extract p.qdz -C one missing").status, 0);
}

TEST(Pakqdz, ExtractRefusesNamesThatLeaveTheFolder) {
    TempDir dir;
    Bytes archive;
    std::string error;
    ASSERT_TRUE(PakBuildArchive({{"../evil", 0, Text("x")}}, &archive, &error));
    WriteFileBytes(dir.File("p.qdz"), archive);
    ASSERT_EQ(system(("mkdir '" + dir.File("out") + "'").c_str()), 0);
    const ToolRun run = Pakqdz(dir, "extract p.qdz -C out");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(Lines(run.err), 1);
    EXPECT_TRUE(ReadFileBytes(dir.File("evil")).empty());
}

struct BadLine {
    const char* args;
    int status;
};

TEST(Pakqdz, ErrorsAreOneLineWithNonZeroStatus) {
    const BadLine cases[] = {
        {"", 2},
        {"frobnicate p.qdz", 2},
        {"create", 2},
        {"create p.qdz", 2},
        {"create p.qdz --mask 256 a", 2},
        {"create p.qdz --mask -1 a", 2},
        {"create p.qdz --mask x a", 2},
        {"create p.qdz --mask", 2},
        {"create p.qdz missing-file", 1},
        {"create p.qdz abcdefghijklmnopqrstuvw", 1},
        {"list missing.qdz", 1},
        {"list p.qdz extra", 2},
        {"cat p.qdz", 2},
        {"verify missing.qdz", 1},
    };
    TempDir dir;
    WriteFileBytes(dir.File("a"), Text("a"));
    WriteFileBytes(dir.File("abcdefghijklmnopqrstuvw"), Text("long name"));
    for (const BadLine& c : cases) {
        const ToolRun run = Pakqdz(dir, c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_GE(Lines(run.err), 1) << c.args;
        if (c.status == 1) {
            EXPECT_EQ(Lines(run.err), 1) << c.args;
        }
        EXPECT_TRUE(ReadFileBytes(dir.File("p.qdz")).empty()) << c.args << " left an archive behind";
    }
    EXPECT_EQ(Pakqdz(dir, "--help").status, 0);
}

TEST(Pakqdz, FailedCreateLeavesTheOldArchiveUntouched) {
    TempDir dir;
    WriteFileBytes(dir.File("a"), Text("a"));
    ASSERT_EQ(Pakqdz(dir, "create p.qdz a").status, 0);
    const Bytes before = ReadFileBytes(dir.File("p.qdz"));
    EXPECT_NE(Pakqdz(dir, "create p.qdz a missing").status, 0);
    EXPECT_NE(Pakqdz(dir, "add p.qdz missing").status, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("p.qdz")), before);
    EXPECT_TRUE(ReadFileBytes(dir.File("p.qdz.tmp")).empty());
}

TEST(Pakqdz, VerifyReportsDamageInOneLine) {
    TempDir dir;
    WriteFileBytes(dir.File("a"), Text("abc"));
    ASSERT_EQ(Pakqdz(dir, "create p.qdz a").status, 0);
    Bytes bytes = ReadFileBytes(dir.File("p.qdz"));
    struct Damage {
        const char* what;
        size_t at;
        unsigned char value;
    } damages[] = {
        {"name length 30", 4, 30},
        {"size past data", 3 + 28, 9},
        {"bad magic", 50, '?'},
        {"total length too big", 51 - 12, 200},
    };
    for (const Damage& d : damages) {
        Bytes broken = bytes;
        broken[d.at] = d.value;
        WriteFileBytes(dir.File("bad.qdz"), broken);
        const ToolRun run = Pakqdz(dir, "verify bad.qdz");
        EXPECT_NE(run.status, 0) << d.what;
        EXPECT_EQ(Lines(run.err), 1) << d.what << ": " << run.err;
    }
    WriteFileBytes(dir.File("short.qdz"), Text("tiny"));
    EXPECT_NE(Pakqdz(dir, "verify short.qdz").status, 0);
}

TEST(Pakqdz, RandomCreateAddRoundTrips) {
    std::mt19937 rng(4242);
    TempDir dir;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::string> names;
        std::vector<Bytes> contents;
        std::string createArgs;
        std::string addArgs;
        const int count = 2 + static_cast<int>(rng() % 5);
        for (int i = 0; i < count; ++i) {
            const std::string name = "r" + std::to_string(round) + "_" + std::to_string(i) + ".dat";
            Bytes data(rng() % 2000);
            for (unsigned char& b : data) {
                b = static_cast<unsigned char>(rng());
            }
            WriteFileBytes(dir.File(name), data);
            names.push_back(name);
            contents.push_back(data);
            (i % 2 == 0 ? createArgs : addArgs) += " " + name;
        }
        const std::string archive = "r" + std::to_string(round) + ".qdz";
        ASSERT_EQ(Pakqdz(dir, "create " + archive + " --mask " + std::to_string(rng() % 256) + createArgs).status, 0);
        ASSERT_EQ(Pakqdz(dir, "add " + archive + " --mask " + std::to_string(rng() % 256) + addArgs).status, 0);
        ASSERT_EQ(Pakqdz(dir, "verify " + archive).status, 0);
        for (size_t i = 0; i < names.size(); ++i) {
            const ToolRun run = Pakqdz(dir, "cat " + archive + " " + names[i]);
            EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), contents[i]) << names[i];
        }
    }
}

} // namespace
