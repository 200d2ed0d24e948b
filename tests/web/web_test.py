#!/usr/bin/python3
"""The browser build played as a person plays it: the site served on the
loopback interface, driven by Selenium in Debian's headless Chromium (WebGL
on its CPU renderer), checked by what the page shows and reports.

    tests/web/web_test.py SITE DESKTOP_BUILD PROBE

SITE is build-web/site; DESKTOP_BUILD is the desktop build folder, whose
player's --capture frames the page's frames are compared with; PROBE is the
folder of the drawing table's probe page (build-web/cmake/probe). Besides the
checks, it prints the numbers of a look at the page's speed (not checked:
they depend on the machine).
"""
import base64
import functools
import http.server
import io
import math
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from PIL import Image, ImageChops, ImageStat
from selenium import webdriver
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

SITE = None
DESKTOP_BUILD = None
PROBE_DIR = None
# Generous: the machine may be busy; every wait ends as soon as its event comes.
EVENT_TIMEOUT_S = 300
# Frames whose pictures are compared with the desktop's capture: the title,
# the corridors, and the character over the mirror floor.
COMPARED_FRAMES = (60, 300, 500, 800)
MAX_MEAN_LEVELS = 2.0
AUDIO_FRAMES_PER_STEP = 1764  # 44100 Hz x 40 ms
# A show of the person's own over the archive's scenes: the title with a
# flash, ending at frame 60 of its clock.
SMALL_SHOW = """[show]
length = 60
song = "music.xm"

[[scene]]
name = "title"
file = "logo.3ds"
priority = 10
sky = "logo.sky"
active = true

[timeline]
events = [
    { at = 0, do = "play-song" },
    { at = 10, until = 30, do = "flash" },
    { at = "length", do = "finish" },
]
"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    """Serves the site; `hidden` names files it answers 404 for."""

    hidden = ()

    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map, **{".wasm": "application/wasm"})

    def do_GET(self):
        if os.path.basename(self.path.split("?")[0]) in self.hidden:
            self.send_error(404)
            return
        super().do_GET()

    def log_message(self, *args):
        pass


class Server:
    """A static server on 127.0.0.1 and a free port, in a thread."""

    def __init__(self, hidden=(), directory=None):
        handler = type("Handler", (QuietHandler,), {"hidden": tuple(hidden)})
        self.httpd = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(handler, directory=directory or SITE))
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, query="", page="index.html"):
        return "http://127.0.0.1:%d/%s%s" % (self.httpd.server_port, page, query)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def start_browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu-sandbox", "--use-angle=swiftshader",
                 "--enable-unsafe-swiftshader", "--ignore-gpu-blocklist", "--disable-background-networking",
                 "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                 "--disable-backgrounding-occluded-windows", "--autoplay-policy=no-user-gesture-required",
                 "--window-size=1280,1000", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = ChromeService(executable_path="/usr/bin/chromedriver")
    return webdriver.Chrome(options=options, service=service)


class Page:
    def __init__(self, driver, url):
        self.driver = driver
        self.opened = time.monotonic()
        driver.get(url)
        self.console = []

    def state(self, key):
        return self.driver.execute_script("return window.tessaroState && window.tessaroState[arguments[0]];", key)

    def wait(self, what, condition):
        WebDriverWait(self.driver, EVENT_TIMEOUT_S, poll_frequency=0.1).until(
            lambda d: condition(), message="waiting for " + what)

    def wait_phase(self, phase):
        self.wait("phase " + phase, lambda: self.state("phase") == phase)

    def read_console(self):
        self.console += [entry["message"] for entry in self.driver.get_log("browser")]
        return "\n".join(self.console)

    def element(self, id_):
        return self.driver.find_element(By.ID, id_)

    def press(self, key):
        webdriver.ActionChains(self.driver).send_keys(key).perform()

    def drop_file(self, name, text):
        """Drops a file of that name and text on the page, as a file manager does."""
        self.driver.execute_script(
            "const files = new DataTransfer();"
            "files.items.add(new File([arguments[1]], arguments[0], {type: 'text/plain'}));"
            "document.querySelector('main').dispatchEvent("
            "  new DragEvent('drop', {dataTransfer: files, bubbles: true, cancelable: true}));", name, text)

    def play_a_little(self):
        """Plays a windowed show for a few frames and ends it with Escape;
        whether it started."""
        self.enter(fullscreen=False)
        self.wait("the show to play", lambda: self.state("frame") >= 5)
        self.press(Keys.ESCAPE)
        self.wait_phase("ended")
        return self.state("ended")["started"]

    def enter(self, fullscreen=False, sounds=False):
        """Sets the two boxes and clicks "Enter iperspace"."""
        for id_, wanted in (("fullscreen", fullscreen), ("play-sounds", sounds)):
            box = self.element(id_)
            if box.is_selected() != wanted:
                box.click()
        self.element("enter").click()


# What GL's formulas give for the probe's pictures (tests/web/gl_probe.cpp):
# white at eye depth 5 fogged to black, linear over 0..10 (f = 0.5) and
# exponential with density 0.2 (f = e^-1 for both GL_EXP and GL_EXP2); a clip
# plane keeping x >= 0; a 2 x 2 texture modulated by half-bright vertices;
# indexed vertices from the middle of an array, then array elements over the
# left half; half-transparent red over white.
PROBE_EXPECTED = {
    "fog_linear": (127.5,) * 3,
    "fog_exp": (255 * math.exp(-1),) * 3,
    "fog_exp2": (255 * math.exp(-1),) * 3,
    "clip_left": (0, 0, 0),
    "clip_right": (255, 255, 255),
    "texture_bottom_left": (127.5, 0, 0),
    "texture_top_right": (127.5, 127.5, 127.5),
    "elements": (0, 255, 0),
    "array_left": (0, 0, 255),
    "array_right": (0, 255, 0),
    "blend": (255, 127.5, 127.5),
}
PROBE_LEVELS = 2


def desktop_frame(capture, frame):
    """Engine frame `frame` of the built-in show as the desktop player's
    capture writes it into the folder `capture`."""
    subprocess.run([os.path.join(DESKTOP_BUILD, "tessaro"), "--capture", capture, "--start", str(frame),
                    "--frames", "1"], cwd=DESKTOP_BUILD, check=True, stdout=subprocess.DEVNULL)
    return Image.open(os.path.join(capture, "frame_%05d.png" % frame)).convert("RGB")


def desktop_show(show_text, name):
    """The desktop player's capture of a show file over the built archive:
    (exit status, standard error, frame file names, capture folder). The
    caller removes the folder."""
    folder = tempfile.mkdtemp()
    show = os.path.join(folder, name)
    with open(show, "w") as out:
        out.write(show_text)
    capture = os.path.join(folder, "frames")
    done = subprocess.run([os.path.join(DESKTOP_BUILD, "tessaro"), "--show", show, "--capture", capture],
                          cwd=DESKTOP_BUILD, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    frames = sorted(f for f in os.listdir(capture) if f.startswith("frame_")) if os.path.isdir(capture) else []
    return done.returncode, done.stderr, frames, folder


def decode_png(data_url):
    return Image.open(io.BytesIO(base64.b64decode(data_url.split(",", 1)[1]))).convert("RGB")


def mean_difference(a, b):
    """Mean absolute difference per channel, in levels of 255."""
    stat = ImageStat.Stat(ImageChops.difference(a, b))
    return sum(stat.mean) / len(stat.mean)


class BrowserTest(unittest.TestCase):
    """One browser and one server of the site for a class's tests."""

    @classmethod
    def setUpClass(cls):
        cls.driver = start_browser()
        cls.server = Server()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.close()

    def open(self, query="", server=None):
        """The page, once it shows the form."""
        page = Page(self.driver, (server or self.server).url(query))
        page.wait_phase("form")
        return page


class WebPlayerTest(BrowserTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.numbers = {}

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        for name, value in sorted(cls.numbers.items()):
            print("web number: %s = %s" % (name, value))

    def test_dialog_and_cancel(self):
        page = self.open()
        self.numbers["page open to form (ms)"] = round(page.state("formAt"))
        self.assertEqual("Velta Engine Beta 0.1 - Orvane Team",
                         self.driver.find_element(By.CSS_SELECTOR, "#dialog .caption").text)
        modes = self.driver.execute_script(
            "return Array.from(document.getElementById('mode').options).map(o => o.textContent);")
        self.assertEqual(["320x240   16 Bit", "640x480   16 Bit", "800x600   16 Bit", "1024x768  16 Bit",
                          "320x240   32 Bit", "640x480   32 Bit", "800x600   32 Bit", "1024x768  32 Bit"], modes)
        self.assertEqual(1, self.driver.execute_script("return document.getElementById('mode').selectedIndex;"))
        self.assertTrue(page.element("fullscreen").is_selected())
        self.assertFalse(page.element("play-sounds").is_selected())
        enter = page.element("enter")
        self.assertEqual("Enter iperspace", enter.text)
        self.assertEqual(enter, self.driver.switch_to.active_element, "the default button has the focus")
        self.assertIn("by the Orvane Team", page.element("credits").text)
        self.assertIn("orvane@example.org", page.element("note").text)
        self.assertEqual("http://www.example.org/orvane", page.element("link").text)
        # Escape cancels: the show is not started, and the page says why.
        page.press(Keys.ESCAPE)
        page.wait_phase("ended")
        self.assertEqual({"caption": "Velta error", "text": "Impossibile settare le impostazioni iniziali"},
                         page.state("box"))
        self.assertFalse(page.state("ended")["started"])
        self.assertTrue(page.element("box").is_displayed())

    def test_windowed_show_escape_and_play_again(self):
        page = self.open()
        page.enter(fullscreen=False)
        page.wait("the show to play", lambda: page.state("frame") >= 25)
        first_frame_ms = page.state("firstFrameAt") - page.state("clickAt")
        size = self.driver.execute_script(
            "const c = document.getElementById('canvas'); return [c.width, c.height, c.clientWidth];")
        self.assertEqual([640, 480, 640], size)
        # The frame rate over a stretch of the running show.
        passes0, time0 = page.state("passes"), time.monotonic()
        page.wait("50 more frames", lambda: page.state("passes") >= passes0 + 50)
        fps = (page.state("passes") - passes0) / (time.monotonic() - time0)
        page.press(Keys.ESCAPE)
        page.wait_phase("ended")
        self.assertTrue(page.state("ended")["started"])
        console = page.read_console()
        self.assertIn("FPS = ", console)
        self.assertIn("Tempo totale necessario all'esecuzione della scena (msec) : ", console)
        self.assertIsNone(page.state("box"), "no error box after a normal end")
        self.numbers["click to first frame (ms)"] = round(first_frame_ms)
        self.numbers["frame rate at 640 x 480 (fps)"] = round(fps, 1)
        # Play again: the form comes back and a second show runs.
        page.element("play-again").click()
        page.wait_phase("form")
        self.assertTrue(page.play_a_little(), "the second show played")

    def test_full_screen_with_music(self):
        page = self.open()
        page.enter(fullscreen=True, sounds=True)
        page.wait("the show to play", lambda: page.state("frame") >= 10)
        self.assertEqual("canvas", self.driver.execute_script(
            "return document.fullscreenElement && document.fullscreenElement.id;"))
        # The song plays in real time: a second of it reaches the output.
        page.wait("a second of music", lambda: self.driver.execute_script(
            "return Module.tessaroAudio ? Module.tessaroAudio.frames : 0;") >= 44100)
        # The 4:3 picture is scaled into the screen with black bars beside it.
        shot = Image.open(io.BytesIO(self.driver.get_screenshot_as_png())).convert("RGB")
        width, height = shot.size
        picture_width = height * 4 // 3
        self.assertLess(picture_width, width, "a screen wider than 4:3")
        bar = shot.crop((0, 0, (width - picture_width) // 2 - 1, height))
        picture = shot.crop(((width - picture_width) // 2 + 1, 0, (width + picture_width) // 2 - 1, height))
        self.assertEqual((0, 0, 0), tuple(ImageStat.Stat(bar).extrema[c][1] for c in range(3)), "bars are black")
        self.assertGreater(sum(ImageStat.Stat(picture).mean), 10, "the picture is not")
        page.press(Keys.ESCAPE)
        page.wait_phase("ended")
        self.assertIsNone(self.driver.execute_script("return document.fullscreenElement;"))

    def test_drawing_table_probe(self):
        server = Server(directory=PROBE_DIR)
        try:
            self.driver.get(server.url("", page="gl_probe.html"))
            WebDriverWait(self.driver, EVENT_TIMEOUT_S, poll_frequency=0.1).until(
                lambda d: d.execute_script("return window.probeResult;"), message="waiting for the probe")
            result = self.driver.execute_script("return window.probeResult;")
        finally:
            server.close()
        self.assertEqual(0, result.pop("error"), "no GL error")
        for name, expected in PROBE_EXPECTED.items():
            with self.subTest(name):
                got = result[name]
                self.assertTrue(all(abs(g - e) <= PROBE_LEVELS for g, e in zip(got, expected)),
                                "%s: %s, expected %s" % (name, got, expected))

    def test_missing_archive_is_reported_in_the_page(self):
        server = Server(hidden=("pako.qdz",))
        try:
            page = self.open(server=server)
            page.enter(fullscreen=False)
            page.wait_phase("ended")
            self.assertEqual({"caption": "Velta error", "text": "Impossibile trovare il PAKFile"},
                             page.state("box"))
            self.assertTrue(page.element("box").is_displayed())
        finally:
            server.close()

    def test_frames_and_music_match_the_desktop_capture(self):
        stops = ",".join(str(f) for f in COMPARED_FRAMES)
        page = self.open("?clock=capture&stop=" + stops)
        page.enter(fullscreen=False, sounds=True)
        page.wait_phase("ended")
        results = page.state("results")
        with tempfile.TemporaryDirectory() as capture:
            for frame in COMPARED_FRAMES:
                result = results.get(str(frame))
                self.assertIsNotNone(result, "frame %d kept" % frame)
                desktop = desktop_frame(capture, frame)
                web = decode_png(result["png"])
                self.assertEqual(desktop.size, web.size)
                difference = mean_difference(desktop, web)
                self.numbers["frame %d mean difference (levels)" % frame] = round(difference, 3)
                if difference > MAX_MEAN_LEVELS:
                    web.save(os.path.join(tempfile.gettempdir(), "web_frame_%05d.png" % frame))
                self.assertLessEqual(difference, MAX_MEAN_LEVELS, "frame %d" % frame)
                # The music of the passes up to this frame's, on the 40 ms clock.
                self.assertEqual((frame + 1) * AUDIO_FRAMES_PER_STEP, result["musicFrames"])
        loud = results[str(COMPARED_FRAMES[-1])]
        self.numbers["music RMS up to frame %d" % COMPARED_FRAMES[-1]] = round(loud["rms"], 4)
        self.assertGreater(loud["rms"], 0.01, "the song is heard")


class WebShowFileTest(BrowserTest):
    """A show file of the person's own, given to the page, against the same
    file on the desktop."""

    def test_dropped_show_plays_to_its_finish_as_on_the_desktop(self):
        # Frame 20 is kept (inside the flash); the show ends by its own finish.
        page = self.open("?clock=capture&stop=20,1000000")
        page.drop_file("my show.toml", SMALL_SHOW)
        page.wait("the show file taken", lambda: page.state("show") is not None)
        self.assertEqual({"name": "my_show.toml", "path": "/shows/my_show.toml", "bytes": len(SMALL_SHOW)},
                         page.state("show"))
        self.assertEqual("my_show.toml", page.element("show-name").text)
        page.enter(fullscreen=False)
        page.wait_phase("ended")
        self.assertIsNone(page.state("box"))
        self.assertTrue(page.state("ended")["started"])
        status, errors, frames, folder = desktop_show(SMALL_SHOW, "my_show.toml")
        try:
            self.assertEqual(0, status, errors)
            self.assertGreater(len(frames), 21)
            self.assertEqual(len(frames) - 1, page.state("ended")["frame"], "the same last frame")
            desktop = Image.open(os.path.join(folder, "frames", "frame_00020.png")).convert("RGB")
            web = decode_png(page.state("results")["20"]["png"])
            self.assertLessEqual(mean_difference(desktop, web), MAX_MEAN_LEVELS)
        finally:
            shutil.rmtree(folder)

    def test_a_chosen_show_with_a_mistake_is_reported_as_on_the_desktop(self):
        bad = SMALL_SHOW.replace('do = "flash"', 'do = "appear"')
        status, errors, frames, folder = desktop_show(bad, "bad.toml")
        shutil.rmtree(folder)
        self.assertEqual(255, status)
        self.assertEqual([], frames, "nothing drawn")
        # The desktop names the file by the path it was given.
        desktop_message = errors.strip().splitlines()[-1].split(os.path.join(folder, ""), 1)[-1]
        self.assertRegex(desktop_message, r"^bad\.toml:\d+:\d+: unknown action 'appear'$")
        page = self.open()
        with tempfile.TemporaryDirectory() as chosen:
            path = os.path.join(chosen, "bad.toml")
            with open(path, "w") as out:
                out.write(bad)
            page.element("show-file").send_keys(path)
            page.wait("the show file taken", lambda: page.state("show") is not None)
        page.enter(fullscreen=False)
        page.wait_phase("ended")
        self.assertFalse(page.state("ended")["started"])
        self.assertEqual({"caption": "Velta error", "text": "/shows/" + desktop_message}, page.state("box"))
        # Mended and dropped again, it plays.
        page.drop_file("bad.toml", SMALL_SHOW)
        page.wait_phase("form")
        self.assertTrue(page.play_a_little(), "the mended show played")

    def test_keys_seek_in_a_windowed_page_as_on_the_desktop(self):
        # Paused early, then Home and four seconds on: frame 100, which the
        # page keeps and ends after.
        page = self.open("?clock=capture&stop=100")
        page.enter(fullscreen=False)
        page.wait("the show to play", lambda: page.state("frame") >= 0)
        page.press(Keys.SPACE)
        self.assertLess(page.state("frame"), 90, "paused well before frame 100")
        page.press(Keys.HOME)
        for _ in range(4):
            page.press(Keys.ARROW_RIGHT)
        page.wait_phase("ended")
        self.assertEqual(100, page.state("ended")["frame"])
        with tempfile.TemporaryDirectory() as capture:
            desktop = desktop_frame(capture, 100)
        web = decode_png(page.state("results")["100"]["png"])
        self.assertLessEqual(mean_difference(desktop, web), MAX_MEAN_LEVELS)


def main():
    global SITE, DESKTOP_BUILD, PROBE_DIR
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    SITE = os.path.abspath(sys.argv[1])
    DESKTOP_BUILD = os.path.abspath(sys.argv[2])
    PROBE_DIR = os.path.abspath(sys.argv[3])
    player = os.path.join(DESKTOP_BUILD, "tessaro")
    if not os.access(player, os.X_OK):
        print("web_test: the desktop player %s is not built (cmake --build %s)" % (player, sys.argv[2]),
              file=sys.stderr)
        return 2
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[4:], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
