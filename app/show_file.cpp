// Reading the show file: TOML into the Show record, with every name, type and
// reference checked and each fault reported at its place in the file.
#include "app/show_file.h"

// Header-only, without exceptions: this is the one file that includes it, and
// a failed parse comes back as a value that carries its place.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <cctype>    // isdigit, isalnum
#include <cmath>     // isfinite
#include <cstdlib>   // strtod
#include <initializer_list>
#include <limits>

namespace {

// The fault being reported: the first one ends the reading.
struct Reader {
    std::string fileName;
    std::string* error;

    bool Fail(const ShowPlace& place, const std::string& message) const {
        *error = fileName + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": " + message;
        return false;
    }
};

ShowPlace PlaceOf(const toml::source_region& region) {
    ShowPlace place;
    place.line = static_cast<int32_t>(region.begin.line);
    place.column = static_cast<int32_t>(region.begin.column);
    return place;
}

ShowPlace PlaceOf(const toml::node& node) {
    return PlaceOf(node.source());
}

const char* TypeName(const toml::node& node) {
    switch (node.type()) {
    case toml::node_type::table:
        return "a table";
    case toml::node_type::array:
        return "an array";
    case toml::node_type::string:
        return "a string";
    case toml::node_type::integer:
        return "an integer";
    case toml::node_type::floating_point:
        return "a number";
    case toml::node_type::boolean:
        return "true or false";
    default:
        return "a date or time";
    }
}

bool WrongType(const Reader& r, const toml::node& node, const std::string& key, const char* wanted) {
    return r.Fail(PlaceOf(node), "'" + key + "' must be " + wanted + ", not " + TypeName(node));
}

// Refuses a key the table may not hold, so that a misspelt key is not
// silently ignored.
bool OnlyKnownKeys(const Reader& r, const toml::table& table, const char* what,
                   std::initializer_list<const char*> known) {
    for (auto&& [key, value] : table) {
        bool found = false;
        for (const char* k : known) {
            found = found || key.str() == k;
        }
        if (!found) {
            return r.Fail(PlaceOf(key.source()), "unknown entry '" + std::string(key.str()) + "' in " + what);
        }
    }
    return true;
}

bool Require(const Reader& r, const toml::table& table, const ShowPlace& place, const char* what,
             std::initializer_list<const char*> keys) {
    for (const char* k : keys) {
        if (!table.contains(k)) {
            return r.Fail(place, std::string(what) + " needs '" + k + "'");
        }
    }
    return true;
}

bool ReadString(const Reader& r, const toml::table& t, const char* key, std::string* out) {
    const toml::node* node = t.get(key);
    if (node == nullptr) {
        return true;
    }
    if (!node->is_string() || node->as_string()->get().empty()) {
        return WrongType(r, *node, key, "a name");
    }
    *out = node->as_string()->get();
    return true;
}

bool ReadBool(const Reader& r, const toml::table& t, const char* key, bool* out) {
    const toml::node* node = t.get(key);
    if (node == nullptr) {
        return true;
    }
    if (!node->is_boolean()) {
        return WrongType(r, *node, key, "true or false");
    }
    *out = node->as_boolean()->get();
    return true;
}

bool NumberOf(const Reader& r, const toml::node& node, const std::string& key, double* out) {
    if (!node.is_number()) {
        return WrongType(r, node, key, "a number");
    }
    *out = node.value<double>().value_or(0.0);
    if (!std::isfinite(*out)) {
        return r.Fail(PlaceOf(node), "'" + key + "' must be a finite number");
    }
    return true;
}

bool ReadFloat(const Reader& r, const toml::table& t, const char* key, float* out) {
    const toml::node* node = t.get(key);
    double value = 0.0;
    if (node == nullptr) {
        return true;
    }
    if (!NumberOf(r, *node, key, &value)) {
        return false;
    }
    *out = static_cast<float>(value);
    return true;
}

bool ReadInt(const Reader& r, const toml::table& t, const char* key, int64_t low, int64_t high, int64_t* out) {
    const toml::node* node = t.get(key);
    if (node == nullptr) {
        return true;
    }
    if (!node->is_integer()) {
        return WrongType(r, *node, key, "a whole number");
    }
    const int64_t value = node->as_integer()->get();
    if (value < low || value > high) {
        return r.Fail(PlaceOf(*node), "'" + std::string(key) + "' must lie between " + std::to_string(low) + " and " +
                                          std::to_string(high));
    }
    *out = value;
    return true;
}

// A fixed-length list of numbers, such as a position.
bool ReadFloats(const Reader& r, const toml::node& node, const std::string& key, float* out, const size_t count) {
    const toml::array* list = node.as_array();
    if (list == nullptr || list->size() != count) {
        return WrongType(r, node, key, count == 2 ? "a list of 2 numbers" : count == 3 ? "a list of 3 numbers"
                                                                                        : "a list of 4 numbers");
    }
    for (size_t i = 0; i < count; ++i) {
        double value = 0.0;
        if (!NumberOf(r, *list->get(i), key, &value)) {
            return false;
        }
        out[i] = static_cast<float>(value);
    }
    return true;
}

bool ReadFloatsKey(const Reader& r, const toml::table& t, const char* key, float* out, const size_t count) {
    const toml::node* node = t.get(key);
    return node == nullptr || ReadFloats(r, *node, key, out, count);
}

// Four corners of `count` numbers each.
bool ReadCorners(const Reader& r, const toml::table& t, const char* key, float (*out)[3], float (*out2)[2],
                 const size_t count) {
    const toml::node* node = t.get(key);
    if (node == nullptr) {
        return true;
    }
    const toml::array* list = node->as_array();
    if (list == nullptr || list->size() != 4) {
        return WrongType(r, *node, key, "a list of 4 corners");
    }
    for (size_t c = 0; c < 4; ++c) {
        if (!ReadFloats(r, *list->get(c), key, count == 3 ? out[c] : out2[c], count)) {
            return false;
        }
    }
    return true;
}

bool ReadNames(const Reader& r, const toml::table& t, const char* key, std::vector<std::string>* out) {
    const toml::node* node = t.get(key);
    if (node == nullptr) {
        return true;
    }
    const toml::array* list = node->as_array();
    if (list == nullptr) {
        return WrongType(r, *node, key, "a list of names");
    }
    for (const toml::node& item : *list) {
        if (!item.is_string() || item.as_string()->get().empty()) {
            return WrongType(r, item, key, "a list of names");
        }
        out->push_back(item.as_string()->get());
    }
    return true;
}

int32_t FindScene(const Show& show, const std::string& name) {
    for (size_t i = 0; i < show.scenes.size(); ++i) {
        if (show.scenes[i].name == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

// A scene named by `key`; absent is allowed when `required` is false.
bool ReadSceneRef(const Reader& r, const Show& show, const toml::table& t, const char* key, const bool required,
                  const ShowPlace& owner, int32_t* out) {
    const toml::node* node = t.get(key);
    if (node == nullptr) {
        return !required || r.Fail(owner, std::string("needs '") + key + "', the scene it acts on");
    }
    if (!node->is_string()) {
        return WrongType(r, *node, key, "a scene's name");
    }
    const std::string name = node->as_string()->get();
    *out = FindScene(show, name);
    if (*out < 0) {
        return r.Fail(PlaceOf(*node), "no scene '" + name + "' is loaded by this show");
    }
    return true;
}

// --- Times ------------------------------------------------------------------

// "logo + 50", "length - 40", "corridoru": numbers and names joined by + and -.
bool ParseTimeText(const Reader& r, const Show& show, const std::string& text, const ShowPlace& place,
                   ShowTime* out) {
    size_t i = 0;
    int32_t sign = 1;
    bool expectTerm = true;
    while (true) {
        while (i < text.size() && text[i] == ' ') {
            ++i;
        }
        if (i == text.size()) {
            break;
        }
        const char c = text[i];
        if (!expectTerm) {
            if (c != '+' && c != '-') {
                return r.Fail(place, "time '" + text + "': expected + or - at '" + text.substr(i) + "'");
            }
            sign = c == '+' ? 1 : -1;
            expectTerm = true;
            ++i;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            char* end = nullptr;
            const double value = std::strtod(text.c_str() + i, &end);
            i = static_cast<size_t>(end - text.c_str());
            out->constant += sign * value;
        } else if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_') {
            size_t j = i;
            while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) != 0 || text[j] == '_')) {
                ++j;
            }
            const std::string name = text.substr(i, j - i);
            i = j;
            ShowTimeTerm term;
            term.sign = sign;
            term.scene = name == "length" ? -1 : FindScene(show, name);
            if (name != "length" && term.scene < 0) {
                return r.Fail(place, "time '" + text + "': no scene '" + name + "' is loaded by this show");
            }
            out->terms.push_back(term);
        } else {
            return r.Fail(place, "time '" + text + "': unexpected '" + std::string(1, c) + "'");
        }
        expectTerm = false;
        sign = 1;
    }
    if (expectTerm) {
        return r.Fail(place, "time '" + text + "' is incomplete");
    }
    return true;
}

bool ReadTime(const Reader& r, const Show& show, const toml::node& node, const std::string& key, ShowTime* out) {
    *out = ShowTime{};
    out->place = PlaceOf(node);
    if (node.is_number()) {
        return NumberOf(r, node, key, &out->constant);
    }
    if (!node.is_string()) {
        return WrongType(r, node, key, "a time (a number, or scene lengths and numbers such as \"logo + 50\")");
    }
    return ParseTimeText(r, show, node.as_string()->get(), out->place, out);
}

// --- Parts of the file -------------------------------------------------------

bool ReadScene(const Reader& r, Show* show, const toml::node& node) {
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        return WrongType(r, node, "scene", "a table");
    }
    ShowScene scene;
    scene.place = PlaceOf(node);
    int64_t priority = 0;
    if (!OnlyKnownKeys(r, *t, "a scene", {"name", "file", "priority", "view", "opacity", "textures", "active", "sky"}) ||
        !Require(r, *t, scene.place, "a scene", {"name", "file", "priority"}) || !ReadString(r, *t, "name", &scene.name) ||
        !ReadString(r, *t, "file", &scene.file) || !ReadString(r, *t, "sky", &scene.sky) ||
        !ReadInt(r, *t, "priority", 0, std::numeric_limits<uint32_t>::max(), &priority) ||
        !ReadFloat(r, *t, "opacity", &scene.opacity) || !ReadBool(r, *t, "textures", &scene.textures) ||
        !ReadBool(r, *t, "active", &scene.active)) {
        return false;
    }
    scene.priority = static_cast<uint32_t>(priority);
    if (const toml::node* view = t->get("view")) {
        float v[4] = {};
        if (!ReadFloats(r, *view, "view", v, 4)) {
            return false;
        }
        for (int k = 0; k < 4; ++k) {
            if (v[k] < 0.0f || v[k] > 1000.0f || v[k] != static_cast<float>(static_cast<int32_t>(v[k]))) {
                return r.Fail(PlaceOf(*view), "'view' holds whole thousandths of the screen, 0 to 1000");
            }
            scene.view[k] = static_cast<int32_t>(v[k]);
        }
    }
    if (scene.name == "length") {
        return r.Fail(PlaceOf(*t->get("name")), "'length' is the show's own length, not a scene's name");
    }
    if (FindScene(*show, scene.name) >= 0) {
        return r.Fail(PlaceOf(*t->get("name")), "a second scene named '" + scene.name + "'");
    }
    show->scenes.push_back(scene);
    return true;
}

bool ReadMove(const Reader& r, const toml::node& node, ShowMove* move) {
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        return WrongType(r, node, "moves", "a list of tables");
    }
    const ShowPlace place = PlaceOf(node);
    int64_t motion = 0;
    if (!OnlyKnownKeys(r, *t, "a move", {"motion", "position", "rotation", "frames", "loops"}) ||
        !Require(r, *t, place, "a move", {"motion", "position", "rotation"}) ||
        !ReadInt(r, *t, "motion", 0, 255, &motion) || !ReadFloatsKey(r, *t, "position", move->position, 3) ||
        !ReadFloatsKey(r, *t, "rotation", move->rotation, 3)) {
        return false;
    }
    move->motion = static_cast<int32_t>(motion);
    const bool frames = t->contains("frames");
    move->inLoops = t->contains("loops");
    if (frames == move->inLoops) {
        return r.Fail(place, "a move lasts either 'frames' or 'loops'");
    }
    if (!ReadFloat(r, *t, move->inLoops ? "loops" : "frames", &move->length)) {
        return false;
    }
    if (move->length < 0.0f) {
        return r.Fail(PlaceOf(*t->get(move->inLoops ? "loops" : "frames")), "a move cannot last less than nothing");
    }
    return true;
}

bool ReadCharacter(const Reader& r, Show* show, const toml::node& node) {
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        return WrongType(r, node, "character", "a table");
    }
    ShowCharacter& c = show->character;
    c.present = true;
    const ShowPlace place = PlaceOf(node);
    int64_t motion = 0;
    if (!OnlyKnownKeys(r, *t, "the character",
                       {"model", "name", "skin", "scene", "chrome", "chrome_strength", "position", "rotation", "motion",
                        "speed", "moves"}) ||
        !Require(r, *t, place, "the character", {"model", "name", "scene"}) || !ReadString(r, *t, "model", &c.model) ||
        !ReadString(r, *t, "name", &c.name) || !ReadString(r, *t, "skin", &c.skin) ||
        !ReadString(r, *t, "chrome", &c.chrome) || !ReadFloat(r, *t, "chrome_strength", &c.chromeStrength) ||
        !ReadSceneRef(r, *show, *t, "scene", true, place, &c.scene) ||
        !ReadFloatsKey(r, *t, "position", c.position, 3) || !ReadFloatsKey(r, *t, "rotation", c.rotation, 3) ||
        !ReadInt(r, *t, "motion", 0, 255, &motion) || !ReadFloat(r, *t, "speed", &c.speed)) {
        return false;
    }
    c.motion = static_cast<int32_t>(motion);
    if (const toml::node* moves = t->get("moves")) {
        const toml::array* list = moves->as_array();
        if (list == nullptr) {
            return WrongType(r, *moves, "moves", "a list of tables");
        }
        for (const toml::node& item : *list) {
            ShowMove move;
            if (!ReadMove(r, item, &move)) {
                return false;
            }
            c.moves.push_back(move);
        }
    }
    return true;
}

bool ReadEnvironment(const Reader& r, Show* show, const toml::node& node) {
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        return WrongType(r, node, "environment", "a table");
    }
    ShowEnvironment env;
    env.place = PlaceOf(node);
    if (!OnlyKnownKeys(r, *t, "an environment pass", {"scene", "object", "texture", "strength"}) ||
        !Require(r, *t, env.place, "an environment pass", {"scene", "object", "texture", "strength"}) ||
        !ReadSceneRef(r, *show, *t, "scene", true, env.place, &env.scene) ||
        !ReadString(r, *t, "object", &env.object) || !ReadString(r, *t, "texture", &env.texture) ||
        !ReadFloat(r, *t, "strength", &env.strength)) {
        return false;
    }
    show->environments.push_back(env);
    return true;
}

bool ReadMirror(const Reader& r, Show* show, const toml::node& node) {
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        return WrongType(r, node, "mirror", "a table");
    }
    ShowMirror& m = show->mirror;
    m.present = true;
    const ShowPlace place = PlaceOf(node);
    std::vector<std::string> scenes;
    if (!OnlyKnownKeys(r, *t, "the mirror",
                       {"scenes", "normal", "alpha", "corners", "colours", "uv", "texture", "reflect_character",
                        "meshes"}) ||
        !Require(r, *t, place, "the mirror", {"scenes", "normal", "corners"}) || !ReadNames(r, *t, "scenes", &scenes) ||
        !ReadFloatsKey(r, *t, "normal", m.normal, 3) || !ReadFloat(r, *t, "alpha", &m.alpha) ||
        !ReadCorners(r, *t, "corners", m.corners, nullptr, 3) || !ReadCorners(r, *t, "colours", m.colours, nullptr, 3) ||
        !ReadCorners(r, *t, "uv", nullptr, m.uv, 2) || !ReadString(r, *t, "texture", &m.texture) ||
        !ReadBool(r, *t, "reflect_character", &m.reflectCharacter) || !ReadNames(r, *t, "meshes", &m.meshes)) {
        return false;
    }
    const ShowPlace scenesPlace = PlaceOf(*t->get("scenes"));
    if (scenes.empty()) {
        return r.Fail(scenesPlace, "the mirror needs at least one scene");
    }
    for (const std::string& name : scenes) {
        const int32_t index = FindScene(*show, name);
        if (index < 0) {
            return r.Fail(scenesPlace, "no scene '" + name + "' is loaded by this show");
        }
        for (const int32_t other : m.scenes) {
            if (other == index) {
                return r.Fail(scenesPlace, "scene '" + name + "' named twice for the mirror");
            }
        }
        m.scenes.push_back(index);
    }
    if (m.reflectCharacter && !show->character.present) {
        return r.Fail(PlaceOf(*t->get("reflect_character")), "the show has no character to reflect");
    }
    return true;
}

struct ActionName {
    const char* name;
    ShowAction action;
    bool needsScene;
    bool running; // has an end time
};
constexpr ActionName kActions[] = {
    {"activate", ShowAction::Activate, true, false},     {"deactivate", ShowAction::Deactivate, true, false},
    {"fade", ShowAction::Fade, true, true},              {"flash", ShowAction::Flash, false, true},
    {"noise", ShowAction::Noise, false, true},           {"trails", ShowAction::Trails, false, false},
    {"trails2", ShowAction::Trails2, false, false},      {"effects-off", ShowAction::EffectsOff, false, false},
    {"effects-off2", ShowAction::EffectsOff2, false, false}, {"play-song", ShowAction::PlaySong, false, false},
    {"stop-song", ShowAction::StopSong, false, false},   {"fade-volume", ShowAction::FadeVolume, false, true},
    {"finish", ShowAction::Finish, false, false},
};

bool ReadEvent(const Reader& r, Show* show, const toml::node& node) {
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        return WrongType(r, node, "events", "a list of tables");
    }
    ShowEvent event;
    event.place = PlaceOf(node);
    std::string what;
    if (!OnlyKnownKeys(r, *t, "an event", {"at", "until", "do", "scene", "opacity", "volume", "textures"}) ||
        !Require(r, *t, event.place, "an event", {"at", "do"}) || !ReadString(r, *t, "do", &what)) {
        return false;
    }
    const ActionName* action = nullptr;
    for (const ActionName& a : kActions) {
        action = what == a.name ? &a : action;
    }
    if (action == nullptr) {
        return r.Fail(PlaceOf(*t->get("do")), "unknown action '" + what + "'");
    }
    event.action = action->action;
    if (!ReadTime(r, *show, *t->get("at"), "at", &event.at)) {
        return false;
    }
    if (action->running != t->contains("until")) {
        return r.Fail(event.place, action->running ? "'" + what + "' needs 'until', its end"
                                                   : "'" + what + "' acts at once and has no 'until'");
    }
    if (action->running && !ReadTime(r, *show, *t->get("until"), "until", &event.until)) {
        return false;
    }
    if (action->needsScene ? !ReadSceneRef(r, *show, *t, "scene", true, event.place, &event.scene)
                           : t->contains("scene")) {
        return action->needsScene ? false : r.Fail(PlaceOf(*t->get("scene")), "'" + what + "' acts on no scene");
    }
    const bool fade = event.action == ShowAction::Fade;
    const bool volume = event.action == ShowAction::FadeVolume;
    const bool noise = event.action == ShowAction::Noise;
    const char* extra[] = {"opacity", "volume", "textures"};
    const bool wanted[] = {fade, volume, noise};
    for (int k = 0; k < 3; ++k) {
        if (wanted[k] != t->contains(extra[k])) {
            return r.Fail(event.place, wanted[k] ? "'" + what + "' needs '" + extra[k] + "'"
                                                 : "'" + what + "' takes no '" + extra[k] + "'");
        }
    }
    int64_t level = 0;
    if (!ReadFloat(r, *t, "opacity", &event.opacity) || !ReadInt(r, *t, "volume", 0, 256, &level) ||
        !ReadNames(r, *t, "textures", &event.textures)) {
        return false;
    }
    event.volume = static_cast<int32_t>(level);
    if (noise && event.textures.size() != 4) {
        return r.Fail(PlaceOf(*t->get("textures")), "'noise' takes 4 textures");
    }
    if ((event.action == ShowAction::PlaySong || event.action == ShowAction::StopSong || volume) &&
        show->song.empty()) {
        return r.Fail(event.place, "'" + what + "' but the show has no song");
    }
    show->events.push_back(event);
    return true;
}

// A list of tables under `key`, each read by `read`.
template <typename ReadOne>
bool ReadList(const Reader& r, Show* show, const toml::table& root, const char* key, ReadOne read) {
    const toml::node* node = root.get(key);
    if (node == nullptr) {
        return true;
    }
    const toml::array* list = node->as_array();
    if (list == nullptr) {
        return WrongType(r, *node, key, "a list of tables");
    }
    for (const toml::node& item : *list) {
        if (!read(r, show, item)) {
            return false;
        }
    }
    return true;
}

bool ReadShowTable(const Reader& r, Show* show, const toml::table& root) {
    const toml::node* node = root.get("show");
    if (node == nullptr) {
        return r.Fail(ShowPlace{1, 1}, "the file needs a [show] table with the show's 'length'");
    }
    const toml::table* t = node->as_table();
    if (t == nullptr) {
        return WrongType(r, *node, "show", "a table");
    }
    if (!OnlyKnownKeys(r, *t, "[show]", {"length", "song"}) ||
        !Require(r, *t, PlaceOf(*node), "[show]", {"length"}) || !ReadString(r, *t, "song", &show->song) ||
        !ReadTime(r, *show, *t->get("length"), "length", &show->length)) {
        return false;
    }
    for (const ShowTimeTerm& term : show->length.terms) {
        if (term.scene < 0) {
            return r.Fail(show->length.place, "the show's length cannot be made of itself");
        }
    }
    return true;
}

} // namespace

bool ParseShow(const std::string& fileName, const std::string_view text, Show* show, std::string* error) {
    *show = Show{};
    show->fileName = fileName;
    const Reader r{fileName, error};
    toml::parse_result parsed = toml::parse(text, fileName);
    if (!parsed) {
        return r.Fail(PlaceOf(parsed.error().source()), std::string(parsed.error().description()));
    }
    const toml::table& root = parsed.table();
    if (!OnlyKnownKeys(r, root, "the show file", {"show", "scene", "character", "environment", "mirror", "timeline"})) {
        return false;
    }
    // Scenes first: everything else refers to them by name.
    if (!ReadList(r, show, root, "scene", ReadScene)) {
        return false;
    }
    if (show->scenes.empty()) {
        return r.Fail(ShowPlace{1, 1}, "the show loads no scene ([[scene]] tables)");
    }
    if (!ReadShowTable(r, show, root)) {
        return false;
    }
    if (const toml::node* character = root.get("character")) {
        if (!ReadCharacter(r, show, *character)) {
            return false;
        }
    }
    if (!ReadList(r, show, root, "environment", ReadEnvironment)) {
        return false;
    }
    if (const toml::node* mirror = root.get("mirror")) {
        if (!ReadMirror(r, show, *mirror)) {
            return false;
        }
    }
    const toml::node* timeline = root.get("timeline");
    if (timeline == nullptr) {
        return true;
    }
    if (!timeline->is_table()) {
        return WrongType(r, *timeline, "timeline", "a table");
    }
    return OnlyKnownKeys(r, *timeline->as_table(), "[timeline]", {"events"}) &&
           ReadList(r, show, *timeline->as_table(), "events", ReadEvent);
}

namespace {

double Evaluate(const ShowTime& time, const std::vector<int32_t>& sceneFrames, const double length) {
    double value = time.constant;
    for (const ShowTimeTerm& term : time.terms) {
        value += term.sign * (term.scene < 0 ? length : static_cast<double>(sceneFrames[term.scene]));
    }
    return value;
}

bool CheckTime(const Reader& r, ShowTime* time, const std::vector<int32_t>& sceneFrames, const double length) {
    const double value = Evaluate(*time, sceneFrames, length);
    if (value < 0.0) {
        return r.Fail(time->place, "time " + std::to_string(static_cast<int64_t>(value)) +
                                       " lies before the show's start");
    }
    if (value > length) {
        return r.Fail(time->place, "time " + std::to_string(static_cast<int64_t>(value)) +
                                       " lies after the show's end (its length is " +
                                       std::to_string(static_cast<int64_t>(length)) + ")");
    }
    time->frames = static_cast<float>(value);
    return true;
}

} // namespace

bool ResolveShowTimes(Show* show, const std::vector<int32_t>& sceneFrames, std::string* error) {
    const Reader r{show->fileName, error};
    const double length = Evaluate(show->length, sceneFrames, 0.0);
    if (length < 0.0) {
        return r.Fail(show->length.place, "the show's length comes to " + std::to_string(static_cast<int64_t>(length)) +
                                              " frames, before its start");
    }
    show->length.frames = static_cast<float>(length);
    for (ShowEvent& event : show->events) {
        if (!CheckTime(r, &event.at, sceneFrames, length)) {
            return false;
        }
        const bool running = event.action == ShowAction::Fade || event.action == ShowAction::Flash ||
                             event.action == ShowAction::Noise || event.action == ShowAction::FadeVolume;
        if (running) {
            if (!CheckTime(r, &event.until, sceneFrames, length)) {
                return false;
            }
            if (event.until.frames < event.at.frames) {
                return r.Fail(event.until.place, "the effect ends before it starts");
            }
        }
    }
    return true;
}
