// The scene inspector: its JSON and hash helpers in process, and the tool
// itself run on the third-party corpus and on damaged files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp> // sax_parse: the JSON the tool writes, read back

#include <sys/wait.h> // WEXITSTATUS
#include <unistd.h>   // getpid

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "archive/pak_writer.h"
#include "tools/inspect/inspect.h"
#include "tools/inspect/json_writer.h"
#include "tools/inspect/sha256.h"

namespace {

// ---- A minimal JSON reader: enough to check syntax and look values up. ----

struct Json {
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
    double number = 0.0;
    bool boolean = false;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const {
        static const Json missing;
        const auto found = fields.find(key);
        return found == fields.end() ? missing : found->second;
    }
    bool Has(const std::string& key) const { return fields.count(key) != 0; }
};

// Builds a Json from nlohmann's SAX events; a key given twice in one object
// is refused, as the inspector must never write one.
class JsonBuilder {
  public:
    explicit JsonBuilder(Json* root) : root_(root) {}

    bool null() { return Put(Json{}); }
    bool boolean(bool value) {
        Json j;
        j.type = Json::kBool;
        j.boolean = value;
        return Put(std::move(j));
    }
    bool number_integer(int64_t value) { return Number(static_cast<double>(value)); }
    bool number_unsigned(uint64_t value) { return Number(static_cast<double>(value)); }
    bool number_float(double value, const std::string&) { return Number(value); }
    bool string(std::string& value) {
        Json j;
        j.type = Json::kString;
        j.text = value;
        return Put(std::move(j));
    }
    bool binary(std::vector<uint8_t>&) { return false; }
    bool start_object(size_t) { return Open(Json::kObject); }
    bool key(std::string& name) {
        if (stack_.back()->fields.count(name) != 0) {
            return false;
        }
        key_ = name;
        return true;
    }
    bool end_object() { return Close(); }
    bool start_array(size_t) { return Open(Json::kArray); }
    bool end_array() { return Close(); }
    bool parse_error(size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

  private:
    bool Number(double value) {
        Json j;
        j.type = Json::kNumber;
        j.number = value;
        return Put(std::move(j));
    }
    // Places a value where the document is; a container stays open on the stack.
    Json* Place(Json value) {
        if (stack_.empty()) {
            *root_ = std::move(value);
            return root_;
        }
        Json* parent = stack_.back();
        if (parent->type == Json::kObject) {
            return &(parent->fields[key_] = std::move(value));
        }
        parent->items.push_back(std::move(value));
        return &parent->items.back();
    }
    bool Put(Json value) {
        Place(std::move(value));
        return true;
    }
    bool Open(Json::Type type) {
        Json j;
        j.type = type;
        stack_.push_back(Place(std::move(j)));
        return true;
    }
    bool Close() {
        stack_.pop_back();
        return true;
    }

    Json* root_;
    std::vector<Json*> stack_; // open containers; their parents do not grow while they are open
    std::string key_;
};

bool ParseJson(const std::string& text, Json* out) {
    JsonBuilder builder(out);
    return nlohmann::json::sax_parse(text, &builder);
}

TEST(InspectJsonReader, RefusesAKeyGivenTwice) {
    Json value;
    EXPECT_FALSE(ParseJson("{\"a\":1,\"a\":2}", &value));
    EXPECT_FALSE(ParseJson("[1,]", &value));
    EXPECT_TRUE(ParseJson(" {\"a\": [1, -2.5e3, null, true, \"x\\u00e9\"], \"b\": {\"a\": 1}} ", &value));
    EXPECT_DOUBLE_EQ(value["a"].items[1].number, -2500.0);
    EXPECT_EQ(value["a"].items[4].text, "x\xc3\xa9");
}

// ---- JsonWriter ----

TEST(InspectJsonWriter, NestsAndSeparates) {
    JsonWriter json;
    json.BeginObject();
    json.Key("a");
    json.Int(1);
    json.Key("list");
    json.BeginArray();
    json.Int(-2);
    json.BeginObject();
    json.EndObject();
    json.BeginArray();
    json.EndArray();
    json.Null();
    json.Bool(true);
    json.EndArray();
    json.Key("s");
    json.String(nullptr);
    json.EndObject();
    EXPECT_EQ(json.Text(), "{\"a\":1,\"list\":[-2,{},[],null,true],\"s\":null}");
}

TEST(InspectJsonWriter, AnyBytesGiveAsciiJsonThatReadsBackAsLatin1) {
    JsonWriter json;
    json.String("q\"b\\n\n\x01\x7f\xe9");
    for (const char c : json.Text()) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
    }
    Json value;
    ASSERT_TRUE(ParseJson(json.Text(), &value)) << json.Text();
    EXPECT_EQ(value.text, "q\"b\\n\n\x01\x7f\xc3\xa9");
}

TEST(InspectJsonWriter, FloatsReadBackExactly) {
    const float values[] = {0.1f, 1.0f / 3.0f, -123456.789f, 1e-38f, 3.4028235e38f, 0.0f, -0.0f, 16777217.0f};
    for (float value : values) {
        JsonWriter json;
        json.Float(value);
        EXPECT_EQ(std::strtof(json.Text().c_str(), nullptr), value) << json.Text();
    }
    JsonWriter special;
    special.BeginArray();
    special.Float(std::nanf(""));
    special.Float(INFINITY);
    special.Float(-INFINITY);
    special.EndArray();
    EXPECT_EQ(special.Text(), "[null,null,null]");
}

// ---- SHA-256 against the published test vectors ----

TEST(InspectSha256, KnownDigests) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // 55 and 56 bytes: the padding just fits one block, then needs two.
        {std::string(55, 'x'), nullptr},
        {std::string(56, 'x'), nullptr},
    };
    for (const Case& c : cases) {
        const std::string hex = Sha256Hex(c.input.data(), c.input.size());
        EXPECT_EQ(hex.size(), 64u);
        if (c.digest != nullptr) {
            EXPECT_EQ(hex, c.digest) << c.input.substr(0, 20);
        }
    }
    EXPECT_NE(Sha256Hex(std::string(55, 'x').data(), 55), Sha256Hex(std::string(56, 'x').data(), 56));
    EXPECT_EQ(Sha256Hex(nullptr, 0), cases[0].digest);
}

TEST(InspectKind, FromTheExtension) {
    EXPECT_EQ(InspectKindOf("a/b/Scene.3DS"), InspectKind::k3ds);
    EXPECT_EQ(InspectKindOf("x.md2"), InspectKind::kMd2);
    EXPECT_EQ(InspectKindOf("x.JPG"), InspectKind::kJpeg);
    EXPECT_EQ(InspectKindOf("x.jpeg"), InspectKind::kJpeg);
    EXPECT_EQ(InspectKindOf("x.tga"), InspectKind::kTga);
    EXPECT_EQ(InspectKindOf("x.bmp"), InspectKind::kUnknown);
    EXPECT_EQ(InspectKindOf("dir.3ds/file"), InspectKind::kUnknown);
    EXPECT_EQ(InspectKindOf("noext"), InspectKind::kUnknown);
}

// ---- The tool as a program ----

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

class InspectToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("inspect_test_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    ToolRun Inspect(const std::vector<std::string>& args) {
        // A hang would show as timeout's status 124 instead of blocking the suite.
        // Each test gives the tool a temporary folder of its own, to see that it
        // cleans up after itself.
        std::filesystem::create_directories(folder_ / "tmp");
        std::string command =
            "TMPDIR=" + Quote((folder_ / "tmp").string()) + " timeout 60 " + Quote(TESSARO_INSPECT_PATH);
        for (const std::string& arg : args) {
            command += " " + Quote(arg);
        }
        const std::filesystem::path out = folder_ / "out.txt";
        const std::filesystem::path err = folder_ / "err.txt";
        command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
        ToolRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + raw;
        run.out = ReadAll(out);
        run.err = ReadAll(err);
        return run;
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::filesystem::path folder_;
};

std::string Corpus(const std::string& relative) {
    return std::string(TESSARO_CORPUS_DIR) + "/" + relative;
}

std::vector<std::string> CorpusFiles(const std::string& extension) {
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(TESSARO_CORPUS_DIR)) {
        if (!item.is_regular_file() || item.path().parent_path().filename() == "broken") {
            continue;
        }
        std::string ext = item.path().extension().string();
        for (char& c : ext) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (ext == extension) {
            files.push_back(item.path().string());
        }
    }
    return files;
}

// Checks the success of a run and parses its output.
::testing::AssertionResult Succeeded(const ToolRun& run, Json* json) {
    if (run.status != 0) {
        return ::testing::AssertionFailure() << "status " << run.status << ": " << run.err;
    }
    if (!run.err.empty()) {
        return ::testing::AssertionFailure() << "unexpected diagnostics: " << run.err;
    }
    if (!ParseJson(run.out, json)) {
        return ::testing::AssertionFailure() << "not JSON: " << run.out.substr(0, 200);
    }
    return ::testing::AssertionSuccess();
}

// A failure: non-zero status, no output, exactly one line of diagnostics.
::testing::AssertionResult FailedCleanly(const ToolRun& run) {
    if (run.status != 1) {
        return ::testing::AssertionFailure() << "status " << run.status;
    }
    if (!run.out.empty()) {
        return ::testing::AssertionFailure() << "output on failure: " << run.out.substr(0, 200);
    }
    if (run.err.empty() || run.err.back() != '\n' || run.err.find('\n') != run.err.size() - 1) {
        return ::testing::AssertionFailure() << "not one line: [" << run.err << "]";
    }
    return ::testing::AssertionSuccess();
}

void ExpectVector(const Json& value, size_t size) {
    ASSERT_EQ(value.type, Json::kArray);
    ASSERT_EQ(value.items.size(), size);
    for (const Json& item : value.items) {
        EXPECT_EQ(item.type, Json::kNumber);
    }
}

TEST_F(InspectToolTest, Every3dsFileOfTheCorpus) {
    const std::vector<std::string> files = CorpusFiles(".3ds");
    ASSERT_GE(files.size(), 9u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Json json;
        const ToolRun run = Inspect({file, "--frame", "0", "--frame", "5.5"});
        ASSERT_TRUE(Succeeded(run, &json));
        EXPECT_EQ(json["kind"].text, "3ds");
        EXPECT_EQ(json["name"].text, file);
        EXPECT_EQ(json["frameCount"].type, Json::kNumber);
        ASSERT_EQ(json["objects"].type, Json::kArray);
        for (const Json& object : json["objects"].items) {
            EXPECT_EQ(object["name"].type, Json::kString);
            ExpectVector(object["pos"], 3);
            ExpectVector(object["rot"], 4);
            ExpectVector(object["bboxMin"], 3);
            ExpectVector(object["bboxMax"], 3);
            EXPECT_TRUE(object["parent"].type == Json::kNull || object["parent"].type == Json::kString);
            EXPECT_EQ(object["keys"]["position"].type, Json::kNumber);
            EXPECT_FALSE(object.Has("vertices"));
            double groupFaces = 0.0;
            for (const Json& group : object["groups"].items) {
                groupFaces += group["faceCount"].number;
            }
            EXPECT_LE(groupFaces, object["faceCount"].number);
        }
        EXPECT_LE(json["drawList"].items.size(), json["objects"].items.size());
        EXPECT_EQ(json["materials"].type, Json::kArray);
        EXPECT_LE(json["cameras"].items.size(), 5u);
        EXPECT_LE(json["lights"].items.size(), 8u);
        ASSERT_EQ(json["frames"].items.size(), 2u);
        EXPECT_DOUBLE_EQ(json["frames"].items[1]["frame"].number, 5.5);
        EXPECT_EQ(json["frames"].items[0]["objects"].items.size(), json["objects"].items.size());
    }
}

TEST_F(InspectToolTest, VerticesOfA3dsFile) {
    Json json;
    const ToolRun run = Inspect({Corpus("3ds/RotatingCube.3DS"), "--vertices"});
    ASSERT_TRUE(Succeeded(run, &json));
    ASSERT_FALSE(json["objects"].items.empty());
    bool someGeometry = false;
    for (const Json& object : json["objects"].items) {
        const size_t vertexCount = static_cast<size_t>(object["vertexCount"].number);
        ASSERT_EQ(object["vertices"].items.size(), vertexCount);
        ASSERT_EQ(object["faces"].items.size(), static_cast<size_t>(object["faceCount"].number));
        for (const Json& face : object["faces"].items) {
            ASSERT_EQ(face.items.size(), 3u);
            for (const Json& index : face.items) {
                EXPECT_LT(index.number, static_cast<double>(vertexCount));
            }
        }
        someGeometry = someGeometry || vertexCount > 0;
    }
    EXPECT_TRUE(someGeometry);
}

TEST_F(InspectToolTest, CameraAnimationIsEvaluatedPerFrame) {
    Json json;
    const ToolRun run = Inspect({Corpus("3ds/TargetCameraAnim.3ds"), "--frame", "0", "--frame", "20"});
    ASSERT_TRUE(Succeeded(run, &json));
    ASSERT_FALSE(json["cameras"].items.empty());
    const Json& camera = json["cameras"].items[0];
    ExpectVector(camera["pos"], 3);
    ExpectVector(camera["target"], 3);
    ASSERT_EQ(json["frames"].items.size(), 2u);
    for (const Json& frame : json["frames"].items) {
        ASSERT_EQ(frame["camera"].type, Json::kObject);
        ExpectVector(frame["camera"]["pos"], 3);
    }
}

TEST_F(InspectToolTest, EveryMd2FileOfTheCorpus) {
    const std::vector<std::string> files = CorpusFiles(".md2");
    ASSERT_GE(files.size(), 2u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Json json;
        const ToolRun run = Inspect({file, "--vertices"});
        ASSERT_TRUE(Succeeded(run, &json));
        EXPECT_EQ(json["kind"].text, "md2");
        const size_t frames = static_cast<size_t>(json["frameCount"].number);
        const size_t verts = static_cast<size_t>(json["vertsPerFrame"].number);
        const size_t faces = static_cast<size_t>(json["facesPerFrame"].number);
        EXPECT_GT(frames, 0u);
        EXPECT_GT(verts, 0u);
        ASSERT_EQ(json["frameBoxes"].items.size(), frames);
        ExpectVector(json["frameBoxes"].items[0], 6);
        double animFrames = 0.0;
        for (const Json& anim : json["anims"].items) {
            EXPECT_EQ(anim["first"].number, animFrames) << "motions follow one another";
            animFrames += anim["count"].number;
        }
        EXPECT_EQ(animFrames, static_cast<double>(frames));
        ASSERT_EQ(json["frames"].items.size(), frames);
        EXPECT_EQ(json["frames"].items[0].items.size(), verts);
        ASSERT_EQ(json["tris"].items.size(), faces);
        for (const Json& tri : json["tris"].items) {
            ASSERT_EQ(tri.items.size(), 3u);
            for (const Json& index : tri.items) {
                EXPECT_LT(index.number, static_cast<double>(verts));
            }
        }
        EXPECT_EQ(json["uv"].items.size(), verts);
    }
}

TEST_F(InspectToolTest, ImagesOfTheCorpus) {
    struct Case {
        std::string file;
        const char* kind;
        int width;
        int height;
        int bits;
    };
    const Case cases[] = {
        {Corpus("tga/200x32_rgb_bl_raw.tga"), "tga", 200, 32, 24},
        {Corpus("tga/200x32_rgba_tl_raw.tga"), "tga", 200, 32, 32},
        {Corpus("3ds/IMAGE1.jpg"), "jpeg", -1, -1, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Json json;
        ASSERT_TRUE(Succeeded(Inspect({c.file}), &json));
        EXPECT_EQ(json["kind"].text, c.kind);
        if (c.width > 0) {
            EXPECT_EQ(json["width"].number, c.width);
            EXPECT_EQ(json["height"].number, c.height);
        }
        EXPECT_EQ(json["bits"].number, c.bits);
        EXPECT_EQ(json["rgbaSha256"].text.size(), 64u);
    }
    // Every image of the corpus: a JPEG the decoder takes, a TGA the loader takes.
    std::vector<std::string> images = CorpusFiles(".jpg");
    for (const std::string& tga : CorpusFiles(".tga")) {
        images.push_back(tga);
    }
    for (const std::string& file : images) {
        SCOPED_TRACE(file);
        Json json;
        const ToolRun run = Inspect({file});
        if (run.status == 0) {
            ASSERT_TRUE(ParseJson(run.out, &json));
            EXPECT_GT(json["width"].number, 0.0);
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.out.empty());
        }
    }
}

TEST_F(InspectToolTest, SamePixelsSameHash) {
    // The two 200x32 TGAs hold the same picture stored bottom-up and
    // top-down; the loader keeps file order, so their hashes differ, while
    // the same file read twice hashes the same.
    Json first;
    Json again;
    Json other;
    ASSERT_TRUE(Succeeded(Inspect({Corpus("tga/200x32_rgb_bl_raw.tga")}), &first));
    ASSERT_TRUE(Succeeded(Inspect({Corpus("tga/200x32_rgb_bl_raw.tga")}), &again));
    ASSERT_TRUE(Succeeded(Inspect({Corpus("tga/200x32_rgba_tl_raw.tga")}), &other));
    EXPECT_EQ(first["rgbaSha256"].text, again["rgbaSha256"].text);
    EXPECT_NE(first["rgbaSha256"].text, other["rgbaSha256"].text);
}

TEST_F(InspectToolTest, ReadsFromAnArchive) {
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(Corpus("md2/faerie.md2"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::string pak = (folder_ / "content.pak").string();
    ASSERT_TRUE(PakWriteArchive(pak, {{"zuzez.md2", 0x21, bytes}}, nullptr));
    Json fromPak;
    ASSERT_TRUE(Succeeded(Inspect({"--pak", pak, "ZUZEZ.MD2"}), &fromPak));
    EXPECT_EQ(fromPak["name"].text, "ZUZEZ.MD2");
    Json loose;
    ASSERT_TRUE(Succeeded(Inspect({Corpus("md2/faerie.md2")}), &loose));
    EXPECT_EQ(fromPak["frameCount"].number, loose["frameCount"].number);
    EXPECT_EQ(fromPak["anims"].items.size(), loose["anims"].items.size());

    EXPECT_TRUE(FailedCleanly(Inspect({"--pak", pak, "missing.md2"})));
    EXPECT_TRUE(FailedCleanly(Inspect({"--pak", pak, "missing.3ds"})));
    EXPECT_TRUE(FailedCleanly(Inspect({"--pak", Write("junk.pak", "not an archive at all"), "zuzez.md2"})));
}

TEST_F(InspectToolTest, BrokenCorpusFilesFailCleanly) {
    const ToolRun empty = Inspect({Corpus("3ds/broken/empty.3ds")});
    EXPECT_TRUE(FailedCleanly(empty));
    EXPECT_NE(empty.err.find("empty.3ds"), std::string::npos);
    EXPECT_TRUE(FailedCleanly(Inspect({Corpus("md2/broken/malformed_zero_numvertices.md2")})));
}

TEST_F(InspectToolTest, DamagedFilesFailCleanly) {
    std::string md2 = ReadAll(Corpus("md2/sydney.md2"));
    std::string scene = ReadAll(Corpus("3ds/test1.3ds"));
    std::string tga = ReadAll(Corpus("tga/200x32_rgb_bl_raw.tga"));
    std::string jpeg = ReadAll(Corpus("3ds/IMAGE1.jpg"));
    struct Case {
        std::string name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty.md2", ""},
        {"short.md2", md2.substr(0, 40)},
        {"cut.md2", md2.substr(0, md2.size() / 2)},
        {"wrong.md2", "IDP3" + md2.substr(4)},
        {"text.3ds", "hello, this is not a scene"},
        {"short.3ds", scene.substr(0, 3)},
        {"empty.tga", ""},
        {"short.tga", tga.substr(0, 17)},
        {"cut.tga", tga.substr(0, 100)},
        {"empty.jpg", ""},
        {"text.jpg", "definitely not a jpeg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolRun run = Inspect({Write(c.name, c.bytes)});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
    }
    // A truncated scene or JPEG may still give what the loaders could read;
    // either way the tool ends normally.
    const Case partial[] = {{"cut.3ds", scene.substr(0, scene.size() / 3)},
                            {"cut.jpg", jpeg.substr(0, 2000)}};
    for (const Case& c : partial) {
        SCOPED_TRACE(c.name);
        const ToolRun run = Inspect({Write(c.name, c.bytes), "--frame", "3", "--vertices"});
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
        Json json;
        if (run.status == 0) {
            EXPECT_TRUE(ParseJson(run.out, &json));
        }
    }
}

TEST_F(InspectToolTest, MutatedFilesNeverCrashOrHang) {
    // Seeded byte damage to one file of each kind: the tool must end with
    // success (valid JSON) or a clean failure, never a signal or a hang.
    struct Source {
        std::string file;
        std::string name;
    };
    const Source sources[] = {
        {Corpus("3ds/CameraRollAnimWithChildObject.3ds"), "m.3ds"},
        {Corpus("3ds/test1.3ds"), "m.3ds"},
        {Corpus("md2/faerie.md2"), "m.md2"},
        {Corpus("tga/200x32_rgba_tl_raw.tga"), "m.tga"},
        {Corpus("3ds/IMAGE1.jpg"), "m.jpg"},
    };
    std::mt19937 random(20261208u);
    for (const Source& source : sources) {
        const std::string original = ReadAll(source.file);
        ASSERT_FALSE(original.empty());
        for (int variant = 0; variant < 8; ++variant) {
            std::string bytes = original;
            // Damage the early bytes most: headers, counts and chunk lengths live there.
            const size_t span = std::min<size_t>(bytes.size(), variant % 2 == 0 ? 256u : bytes.size());
            const int flips = 1 + static_cast<int>(random() % 8u);
            for (int i = 0; i < flips; ++i) {
                bytes[random() % span] = static_cast<char>(random() & 0xFFu);
            }
            if (variant == 7) {
                bytes.resize(random() % bytes.size());
            }
            SCOPED_TRACE(source.file + " variant " + std::to_string(variant));
            const ToolRun run = Inspect({Write(source.name, bytes), "--frame", "1", "--vertices"});
            ASSERT_TRUE(run.status == 0 || run.status == 1) << run.status << " " << run.err;
            if (run.status == 0) {
                Json json;
                EXPECT_TRUE(ParseJson(run.out, &json));
            }
        }
    }
}

TEST_F(InspectToolTest, LongFileNamesStillLoad) {
    // Archive names hold 21 characters; a longer file name gets a short entry.
    const std::string bytes = ReadAll(Corpus("3ds/CameraRollAnimWithChildObject.3ds"));
    Json json;
    const std::string path = Write("a_rather_long_file_name_for_a_scene.3DS", bytes);
    ASSERT_TRUE(Succeeded(Inspect({path}), &json));
    EXPECT_EQ(json["name"].text, path);
}

TEST_F(InspectToolTest, LeavesNoTemporaryFiles) {
    Json json;
    ASSERT_TRUE(Succeeded(Inspect({Corpus("tga/top.tga")}), &json));
    EXPECT_TRUE(FailedCleanly(Inspect({Corpus("3ds/broken/empty.3ds")})));
    EXPECT_TRUE(FailedCleanly(Inspect({Write("bad.md2", "IDP2 and nothing else")})));
    EXPECT_TRUE(std::filesystem::is_empty(folder_ / "tmp"));
}

TEST_F(InspectToolTest, CommandLineErrors) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const std::string md2 = Corpus("md2/faerie.md2");
    const Case cases[] = {
        {{}, 2},
        {{"--frame"}, 2},
        {{md2, "--frame", "abc"}, 2},
        {{md2, "--frame", "1e99"}, 2},
        {{md2, "--frame", "nan"}, 2},
        {{md2, "--pak"}, 2},
        {{md2, "--bogus"}, 2},
        {{md2, md2}, 2},
        {{(folder_ / "nothing.md2").string()}, 1},
        {{folder_.string() + "/"}, 1},
        {{Corpus("md2/sydney.bmp")}, 1},
        {{folder_.string() + ".3ds"}, 1},
    };
    for (const Case& c : cases) {
        const ToolRun run = Inspect(c.args);
        EXPECT_EQ(run.status, c.status) << (c.args.empty() ? "" : c.args.back());
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
    }
}

TEST(InspectInProcess, HelpPrintsTheUsage) {
    std::string out;
    std::string err;
    EXPECT_EQ(RunInspect({"--help"}, &out, &err), 0);
    EXPECT_EQ(out.rfind("usage: tessaro-inspect", 0), 0u);
    EXPECT_TRUE(err.empty());
}

TEST(InspectInProcess, RunInspectOnAnMd2) {
    std::string out;
    std::string err;
    EXPECT_EQ(RunInspect({Corpus("md2/sydney.md2")}, &out, &err), 0) << err;
    Json json;
    ASSERT_TRUE(ParseJson(out, &json));
    EXPECT_EQ(json["kind"].text, "md2");
    EXPECT_TRUE(err.empty());
}

} // namespace
