// The built-in show, written as its file.
#include "tools/content/show.h"

std::string BuiltInShowText() {
    // Times are sums of scene lengths: "logo" is the logo scene's frameCount
    // (Ll), "corridoru" corridoru's (Lc), and the show lasts Ll + Lc + 140.
    // The events are added in this order, which decides the order of events
    // that fall on the same frame. 3.14 and 6.28 are the turns the content
    // was made with, not pi.
    return R"(# Tessaro's own show: five scenes, a character over a mirror floor, a song.

[show]
length = "logo + corridoru + 140"
song = "music.xm"

[[scene]]
name = "logo"
file = "logo.3ds"
priority = 10
sky = "logo.sky"
active = true

[[scene]]
name = "blur0"
file = "blur0.3ds"
priority = 14
opacity = 0.0

[[scene]]
name = "blur1"
file = "blur1.3ds"
priority = 15
opacity = 0.0

[[scene]]
name = "corridors"
file = "corridors.3ds"
priority = 20

[[scene]]
name = "corridoru"
file = "corridoru.3ds"
priority = 16

[character]
model = "zuzez.md2"
scene = "corridoru"
name = "Zuzez1"
skin = "zuzez1.jpg"
chrome = "chrome.jpg"
chrome_strength = 0.3
position = [0, 24, -280]
rotation = [0, 3.14, 0]
motion = 0
speed = 0.33333334
moves = [
    { motion = 1, position = [0, 24, -280], rotation = [0, 3.14, 0], frames = 0 },
    { motion = 1, position = [0, 24, -250], rotation = [0, 3.14, 0], frames = 92 },
    { motion = 1, position = [0, 24, 50], rotation = [0, 3.14, 0], frames = 30 },
    { motion = 5, position = [0, 24, 50], rotation = [0, 6.28, 0], loops = 1 },
    { motion = 0, position = [0, 24, 50], rotation = [0, 6.28, 0], loops = 2 },
    { motion = 6, position = [0, 24, 50], rotation = [0, 6.28, 0], loops = 1 },
    { motion = 4, position = [0, 24, 50], rotation = [0, 6.28, 0], loops = 1 },
    { motion = 11, position = [0, 24, 50], rotation = [0, 6.28, 0], loops = 1 },
    { motion = 8, position = [0, 24, 50], rotation = [0, 6.28, 0], loops = 1 },
    { motion = 0, position = [0, 24, 50], rotation = [0, 3.14, 0], loops = 1 },
    { motion = 1, position = [0, 24, 200], rotation = [0, 3.14, 0], loops = 2 },
    { motion = 1, position = [0, 24, 350], rotation = [0, 3.14, 0], loops = 1 },
]

[[environment]]
scene = "corridoru"
object = "NGon01"
texture = "chromer.jpg"
strength = 0.5

[mirror]
scenes = ["corridoru", "corridors"]
normal = [0, -1, 0]
alpha = 0.6
corners = [[-50, 0, -200], [50, 0, -200], [-50, 0, 200], [50, 0, 200]]
colours = [[0.2, 0.2, 0.2], [0.5, 0.5, 0.5], [0.5, 0.5, 0.5], [0.8, 0.8, 0.8]]
uv = [[0, 0], [2, 0], [0, 8], [2, 8]]
texture = "mtlplat2.jpg"
reflect_character = true
# NGon15 is listed twice, as the show always had it.
meshes = ["NGon02", "NGon15", "NGon01", "NGon06", "NGon18", "NGon19", "NGon20", "NGon21", "NGon22",
          "NGon23", "NGon11", "NGon12", "NGon13", "NGon14", "NGon15", "NGon16", "NGon17", "NGon03",
          "Object01", "EsternoVen", "porte04", "porte05", "porte06", "porte07", "Rectangle1", "Rectangle0"]

[timeline]
events = [
    { at = "logo", do = "deactivate", scene = "logo" },

    { at = "logo", do = "activate", scene = "blur0" },
    { at = "logo", until = "logo + 50", do = "fade", scene = "blur0", opacity = 1.0 },
    { at = "logo + 60", until = "logo + 110", do = "fade", scene = "blur0", opacity = 0.0 },
    { at = "logo + 110", do = "deactivate", scene = "blur0" },

    { at = "logo + 50", do = "activate", scene = "corridors" },
    { at = "logo + 150", do = "deactivate", scene = "corridors" },

    { at = "logo + 140", do = "activate", scene = "corridoru" },
    { at = "length - 100", do = "deactivate", scene = "corridoru" },

    { at = "length - 150", do = "activate", scene = "blur1" },
    { at = "length - 150", until = "length - 100", do = "fade", scene = "blur1", opacity = 1.0 },
    { at = "length - 99", until = "length - 50", do = "fade", scene = "blur1", opacity = 0.0 },
    { at = "length", do = "deactivate", scene = "blur1" },

    { at = "length - 40", do = "finish" },

    # The song starts with the show and fades out with blur1.
    { at = 0, do = "play-song" },
    { at = "length - 99", until = "length - 50", do = "fade-volume", volume = 0 },
]
)";
}
