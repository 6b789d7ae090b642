"""The page in a real browser: Debian's Chromium, headless, driven through Debian's
chromium-driver by Selenium. Opened from file:// as a user opens the release's folder,
it is compared with the command-line tool on the same files.

Usage: python3 tests/web/page_test.py PAGE_DIR TULM   (PAGE_DIR holds index.html)
"""
import base64
import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wav_files  # noqa: E402

PAGE = TULM = None
WORK = tempfile.mkdtemp(prefix='tulm-page-test-')
DRIVER = os.environ.get('CHROMEDRIVER', '/usr/bin/chromedriver')

# A suggestion as `tulm detect --json` gives it (its `chosen`) for the render tests: a
# 2 s stretch over the demo's tone with the window on and a fade, so that every part of
# the plug-in's path is taken, at a video rate whose frames are not whole samples.
RENDER_SUGGESTION = {'selection': {'start_video_frame': 23, 'video_rate': '30000/1001'},
                     'settings': {'frequency': 68, 'seconds': 2, 'fft_order': 13, 'width': 34, 'fade': 10,
                                  'use_window': True}}


def render_args(chosen):
    """`tulm render`'s options for a suggestion."""
    s = chosen['settings']
    args = ['--start-frame', str(chosen['selection']['start_video_frame']), '--fps',
            chosen['selection']['video_rate'], '--window' if s['use_window'] else '--no-window']
    for name in ('frequency', 'seconds', 'fft_order', 'width', 'fade'):
        args += ['--' + name.replace('_', '-'), str(s[name])]
    return args


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def tool(*args, check=True):
    return subprocess.run([TULM, *args], capture_output=True, check=check)


def demo_clip():
    """The demo's clip (a steady 1 kHz tone in noise), made by the tool."""
    path = os.path.join(WORK, 'tulm-demo', 'in.wav')
    if not os.path.exists(path):
        subprocess.run([TULM, 'demo'], cwd=WORK, capture_output=True, check=True)
    return path


def browser():
    options = webdriver.ChromeOptions()
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--autoplay-policy=no-user-gesture-required',
                '--window-size=1200,1600'):
        options.add_argument(arg)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    driver.set_script_timeout(120)
    return driver


class Page(unittest.TestCase):
    maxDiff = None
    """One browser for the class; each test opens the page afresh."""

    @classmethod
    def setUpClass(cls):
        cls.driver = browser()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()

    def setUp(self):
        # What the last test's page logged is read and dropped, so that each test sees
        # its own page's console from the first line it ran.
        self.driver.get_log('browser')
        self.driver.get_log('performance')
        self.driver.get('file://' + os.path.join(PAGE, 'index.html'))
        self.run_async('window.tulm.ready.then(() => done(true))')

    def run_async(self, body, *args):
        return self.driver.execute_async_script(
            'const done = arguments[arguments.length - 1];'
            'const fail = (e) => done({error: String(e && (e.detail && e.detail.text || e.key || e.message) || e)});'
            + body, *args)

    def file_in_page(self, name, data):
        """Defines window.testFile in the page from bytes."""
        self.run_async('const bytes = Uint8Array.from(atob(arguments[0]), (c) => c.charCodeAt(0));'
                       'window.testFile = new File([bytes], arguments[1]); done(true);',
                       base64.b64encode(data).decode(), name)

    def blob_bytes(self, expression):
        """The bytes of the Blob a page expression resolves to."""
        got = self.run_async('Promise.resolve(' + expression + ').then((b) => b.arrayBuffer()).then((a) => {'
                             '  const u = new Uint8Array(a); let s = "";'
                             '  for (let i = 0; i < u.length; i += 32768) s += String.fromCharCode(...u.subarray(i, i + 32768));'
                             '  done(btoa(s)); }).catch(fail)')
        if isinstance(got, dict):
            self.fail(got['error'])
        return base64.b64decode(got)

    def severe_console(self):
        return [e for e in self.driver.get_log('browser') if e['level'] == 'SEVERE']

    def wait_for(self, condition, seconds=60):
        WebDriverWait(self.driver, seconds).until(lambda d: condition())

    def text(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def shown(self, element_id):
        return self.driver.find_element(By.ID, element_id).is_displayed()

    def choose_fps(self, value='30/1'):
        """The frame rate chosen as a user chooses it: the page never guesses one."""
        Select(self.driver.find_element(By.ID, 'fps')).select_by_value(value)

    def type_fps(self, typed):
        Select(self.driver.find_element(By.ID, 'fps')).select_by_value('typed')
        field = self.driver.find_element(By.ID, 'fps-typed')
        field.clear()
        field.send_keys(typed)
        self.driver.execute_script('arguments[0].dispatchEvent(new Event("change"))', field)


class Offline(Page):
    def test_opens_from_file_with_no_console_error_and_no_request(self):
        self.choose_fps()
        self.driver.find_element(By.ID, 'file').send_keys(demo_clip())
        self.wait_for(lambda: self.shown('save'))
        self.assertEqual(self.severe_console(), [])
        requests = []
        for entry in self.driver.get_log('performance'):
            message = json.loads(entry['message'])['message']
            if message['method'] == 'Network.requestWillBeSent':
                url = message['params']['request']['url']
                if not url.startswith(('file:', 'blob:', 'data:')):
                    requests.append(url)
        self.assertEqual(requests, [])
        # The worker really ran the core: the page drew and measured.
        self.assertTrue(self.shown('picture'))
        self.assertRegex(self.text('cut'), r'\d')


class Analyse(Page):
    """A file given to the file input: the page's answer is `tulm detect --json`'s, byte
    for byte, and the dialog it shows carries the JSON's settings."""

    def native_json(self, path, *options):
        # The page knows a file by its name only, so the tool is given the name too. A
        # frequency named where no tone lies exits 4, with the JSON written all the same.
        done = subprocess.run([TULM, 'detect', '--json', os.path.basename(path), *options],
                              cwd=os.path.dirname(path), capture_output=True)
        self.assertIn(done.returncode, (0, 4), done.stderr.decode())
        return done.stdout.decode()

    def dialog_values(self):
        return self.driver.execute_script(
            'return [...document.querySelectorAll("#dialog .value")].map((e) => e.textContent)')

    def test_the_file_input_gives_the_tools_tones_and_settings(self):
        path = demo_clip()
        expected = self.native_json(path)
        self.choose_fps()
        self.driver.find_element(By.ID, 'file').send_keys(path)
        self.wait_for(lambda: self.shown('settings'))
        page = self.run_async('window.tulm.analyse(document.getElementById("file").files[0], {})'
                              '.then(done).catch(fail)')
        self.assertEqual(page, expected)
        chosen = json.loads(expected)['chosen']
        s = chosen['settings']
        want = [str(chosen['selection']['start_video_frame'])] + \
            [str(s[k]) for k in ('frequency', 'seconds', 'fft_order', 'width', 'fade')]
        values = self.dialog_values()
        self.assertEqual(values[:-1], want)
        self.assertEqual(values[-1].startswith('\u2611'), s['use_window'])
        # A row for each tone, and one for each harmonic of a hum under it.
        rows = self.driver.find_elements(By.CSS_SELECTOR, '#tone-list tbody tr')
        tones = json.loads(expected)['tones']
        self.assertEqual(len(rows), sum(1 + len(t.get('harmonics', [])) for t in tones))
        self.assertIn('%.2f Hz' % tones[0]['hz'], rows[0].text)
        # The picture is opaque, the right way up: the tone's row, half way through its
        # extent, is brighter than nine in ten of that column's pixels.
        picture = self.driver.execute_script(
            'const image = state.picture.image, tone = state.view.tones[0];'
            'const data = image.getContext("2d").getImageData(0, 0, image.width, image.height).data;'
            'const x = Math.round(xOf((tone.first + tone.end) / 2) - AXIS.left), y = Math.round(yOf(tone.hz) - AXIS.top);'
            'const light = (row) => data[4 * (row * image.width + x)] + data[4 * (row * image.width + x) + 1]'
            '    + data[4 * (row * image.width + x) + 2];'
            'const column = [...Array(image.height).keys()].map(light).sort((a, b) => a - b);'
            'return {opaque: data.every((v, i) => i % 4 !== 3 || v === 255), tone: light(y),'
            '        tenth: column[Math.floor(column.length * 0.9)]};')
        self.assertTrue(picture['opaque'])
        self.assertGreater(picture['tone'], picture['tenth'])

    def test_a_long_files_chunks_shared_by_workers_give_the_tools_json_and_progress(self):
        # 150 s of a 1 kHz tone in noise, mono at 16 kHz: three of detect's chunks, the
        # tone's pieces in each joined as the tool joins them, whichever worker looked;
        # and a 2.5 kHz whine from 118 to 143 s, inside the last chunk only, which keeps
        # its place only when that chunk's detection is joined as the last.
        rate, seconds = 16000, 150
        rng = random.Random(7)
        samples = [int(3000 * math.sin(2 * math.pi * 1000 * i / rate) + rng.gauss(0, 600)
                       + (2000 * math.sin(2 * math.pi * 2500 * i / rate) if 118 * rate <= i < 143 * rate else 0))
                   for i in range(rate * seconds)]
        path = os.path.join(WORK, 'long.wav')
        write(path, wav_files.wav_bytes(rate, 1, 's16', struct.pack('<%dh' % len(samples), *samples)))
        self.choose_fps()
        self.driver.find_element(By.ID, 'file').send_keys(path)
        self.wait_for(lambda: self.shown('settings'), seconds=180)
        shares = [s['share'] for s in self.driver.execute_script('return window.tulm.stages()')
                  if s['key'] == 'progress']
        self.assertGreaterEqual(len(shares), 3)
        self.assertEqual(shares, sorted(set(shares)))
        self.assertEqual(shares[-1], 1)
        self.wait_for(lambda: not self.shown('progress'))
        self.assertFalse(self.shown('share'))
        expected = self.native_json(path)
        for workers in (1, 2):
            with self.subTest(workers=workers):
                page = self.run_async('window.tulm.useWorkers(arguments[0]);'
                                      'window.tulm.analyse(document.getElementById("file").files[0], {})'
                                      '.then(done).catch(fail)', workers)
                self.assertEqual(page, expected)

    def test_a_compressed_file_is_decoded_at_its_own_rate(self):
        # At 44.1 kHz, where a decode at the browser's 48 kHz would move every bin.
        path = os.path.join(WORK, 'demo44.flac')
        subprocess.run(['sox', demo_clip(), '-r', '44100', path], check=True, capture_output=True)
        self.file_in_page('demo44.flac', read(path))
        page = self.run_async('window.tulm.analyse(window.testFile, {fps: "30"}).then(done).catch(fail)')
        self.assertEqual(page, self.native_json(path))
        self.assertIn('44100', self.text('file-info'))
        self.assertFalse(self.shown('rate-note'))

    def test_a_float_file_over_full_scale_is_said_to_clip_as_the_tool_says(self):
        # A 1 kHz sine at +12 dBFS in 32-bit float: narrowing it to 16 bits clips it, and
        # the harmonics that makes are the narrowing's, not the file's.
        rate = 48000
        samples = [4.0 * math.sin(2 * math.pi * 1000 * i / rate) if rate <= i < 3 * rate else 0.0
                   for i in range(4 * rate)]
        path = os.path.join(WORK, 'loud.wav')
        write(path, wav_files.wav_bytes(rate, 1, 'f32', struct.pack('<%df' % len(samples), *samples)))
        expected = self.native_json(path)
        self.assertTrue(json.loads(expected)['file']['clips'])
        self.file_in_page('loud.wav', read(path))
        page = self.run_async('window.tulm.analyse(window.testFile, {fps: "30"}).then(done).catch(fail)')
        self.assertEqual(page, expected)

    def test_options_and_a_named_tone_as_the_tool_takes_them(self):
        path = demo_clip()
        self.file_in_page('in.wav', read(path))
        for options, args in (({'hz': 2500, 'fps': '25'}, ['--hz', '2500', '--fps', '25']),
                              ({'start': '0.5s', 'length': '2.5s', 'fps': '30000/1001'},
                               ['--start', '0.5s', '--length', '2.5s', '--fps', '30000/1001'])):
            with self.subTest(options=options):
                page = self.run_async('window.tulm.analyse(window.testFile, arguments[0]).then(done).catch(fail)',
                                      options)
                self.assertEqual(page, self.native_json(path, *args))


def video_clip():
    """The demo's clip as a video editor has it: a 29.97 fps video track and the audio as
    48 kHz AAC in an MP4, made by ffmpeg."""
    path = os.path.join(WORK, 'clip.mp4')
    if not os.path.exists(path):
        subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc=size=160x120:rate=30000/1001',
                        '-i', demo_clip(), '-c:v', 'mpeg4', '-c:a', 'aac', '-b:a', '192k', '-ar', '48000', '-shortest',
                        path], check=True, capture_output=True)
    return path


class Video(Page):
    """A video file: its audio at the rate its container records, its frame rate read
    from its video track, and the tool's answer on the same audio."""

    def test_an_mp4s_rate_and_frame_rate_come_from_its_boxes(self):
        path = video_clip()
        self.driver.find_element(By.ID, 'file').send_keys(path)
        self.wait_for(lambda: self.shown('save'))
        state = self.driver.execute_script('return window.tulm.state()')
        self.assertEqual(state['info']['rate'], 48000)
        self.assertEqual((state['fps']['text'], state['fps']['from']), ('30000/1001', 'video'))
        self.assertEqual(self.driver.find_element(By.ID, 'fps').get_attribute('value'), '30000/1001')
        self.assertIn('29.97', self.text('fps-note'))
        self.assertFalse(self.shown('rate-note'))
        table = self.driver.execute_script('return TEXTS.ja')
        self.assertEqual(self.text('save-note'), table['saveNoteDecoded'])
        page = self.run_async('window.tulm.analyse(document.getElementById("file").files[0], {})'
                              '.then(done).catch(fail)')
        # The same audio as the browser decodes it, written as a floating-point WAV under
        # the video's name (the JSON names the file), for the tool.
        decoded = self.run_async(
            'document.getElementById("file").files[0].arrayBuffer()'
            '.then((b) => new OfflineAudioContext(1, 1, 48000).decodeAudioData(b)).then((a) => {'
            '  const n = a.length, c = a.numberOfChannels, out = new Float32Array(n * c);'
            '  for (let k = 0; k < c; ++k) { const d = a.getChannelData(k); for (let i = 0; i < n; ++i) out[i * c + k] = d[i]; }'
            '  const u = new Uint8Array(out.buffer); let s = "";'
            '  for (let i = 0; i < u.length; i += 32768) s += String.fromCharCode(...u.subarray(i, i + 32768));'
            '  done([a.sampleRate, c, btoa(s)]); }).catch(fail)')
        rate, channels, payload = decoded
        folder = os.path.join(WORK, 'decoded')
        os.makedirs(folder, exist_ok=True)
        write(os.path.join(folder, 'clip.mp4'), wav_files.wav_bytes(rate, channels, 'f32', base64.b64decode(payload)))
        expected = subprocess.run([TULM, 'detect', '--json', '--fps', '30000/1001', 'clip.mp4'], cwd=folder,
                                  capture_output=True, check=True).stdout.decode()
        self.assertEqual(page, expected)
        detection = json.loads(page)
        self.assertEqual(detection['file']['rate'], 48000)
        self.assertEqual(detection['chosen']['selection']['video_rate'], '30000/1001')
        # Tones lie where the tool finds them in the 48 kHz WAV the video was made from:
        # read at 44.1 kHz, every one would lie 8 % lower. The AAC coding may hide a faint
        # tone or add a steady partial of its own, so the lists need not be equal.
        found = [tone['hz'] for tone in detection['tones']]
        original = [tone['hz'] for tone in json.loads(tool('detect', '--json', demo_clip()).stdout)['tones']]
        self.assertTrue(any(abs(a - b) < 1 for a in found for b in original), '%s against %s' % (found, original))


class FrameRate(Page):
    """The frame rate is asked for, never guessed; typed decimals are the NTSC rates; a
    rate that cannot be read leaves nothing of the old one on screen."""

    def native_json(self, path, *options):
        return subprocess.run([TULM, 'detect', '--json', os.path.basename(path), *options],
                              cwd=os.path.dirname(path), capture_output=True, check=True).stdout.decode()

    def test_asked_for_typed_as_decimals_and_refused_in_japanese(self):
        path = demo_clip()
        table = self.driver.execute_script('return TEXTS.ja')
        self.driver.find_element(By.ID, 'file').send_keys(path)
        self.wait_for(lambda: self.shown('picture'))
        self.wait_for(lambda: self.text('stage') == table['stageNeedFps'])
        self.assertFalse(self.shown('settings'))
        self.assertEqual(self.text('fps-note'), table['fpsAsk'])
        self.assertEqual(self.run_async('window.tulm.analyse(document.getElementById("file").files[0], {})'
                                        '.then(done).catch((e) => done(e.key))'), 'errorFpsNeeded')

        self.type_fps('29.97')
        self.wait_for(lambda: self.shown('settings') and not self.shown('progress'))
        page = self.run_async('window.tulm.analyse(document.getElementById("file").files[0], {})'
                              '.then(done).catch(fail)')
        expected = self.native_json(path, '--fps', '30000/1001')
        self.assertEqual(page, expected)
        start = json.loads(expected)['chosen']['selection']['start_video_frame']
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, '#dialog .value').text, str(start))

        # The audio placed from frame 300 of the project: every frame the page says moves.
        offset = self.driver.find_element(By.ID, 'offset')
        offset.clear()
        offset.send_keys('300')
        self.driver.execute_script('arguments[0].dispatchEvent(new Event("change"))', offset)
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, '#dialog .value').text, str(start + 300))
        self.assertIn(str(start + 300), self.text('settings-for'))

        self.type_fps('abc')
        self.wait_for(lambda: self.shown('fps-error'))
        self.assertEqual(self.text('fps-error'), table['errorFpsWords'].replace('{typed}', 'abc'))
        self.assertFalse(self.shown('settings'))
        self.assertFalse(self.shown('tones'))
        self.assertNotIn('NaN', self.driver.find_element(By.TAG_NAME, 'body').text)

        for options, fps in (({'fps': '23.976'}, '24000/1001'), ({'fps': '59.94'}, '60000/1001')):
            with self.subTest(options=options):
                page = self.run_async('window.tulm.analyse(document.getElementById("file").files[0], arguments[0])'
                                      '.then(done).catch(fail)', options)
                self.assertEqual(page, self.native_json(path, '--fps', fps))
                self.assertFalse(self.shown('fps-error'))
                self.assertEqual(self.driver.find_element(By.ID, 'fps').get_attribute('value'), fps)


class Host(Page):
    """The host's words and ways: the filter's name, frames from 0, a file dropped on the
    page, the settings in view beside the picture."""

    def test_a_dropped_file_is_opened_and_the_filter_named(self):
        self.choose_fps()
        self.file_in_page('in.wav', read(demo_clip()))
        prevented = self.driver.execute_script(
            'const data = new DataTransfer(); data.items.add(window.testFile);'
            'const drop = new DragEvent("drop", {dataTransfer: data, bubbles: true, cancelable: true});'
            'document.getElementById("intro").dispatchEvent(drop); return drop.defaultPrevented;')
        self.assertTrue(prevented, 'the browser would open the dropped file in place of the page')
        self.wait_for(lambda: self.shown('save'))
        self.assertEqual(self.text('settings-title'), '音声フィルタ「Pellomar」の設定')
        self.assertIn('Pellomar', self.text('intro'))
        self.assertIn('先頭を 0 と数えます', self.text('settings-for'))
        table = self.driver.execute_script('return TEXTS.ja')
        self.assertEqual(self.text('save-note'), table['saveNote'])

    def test_the_settings_are_in_view_at_1280_by_720(self):
        shots = os.environ.get('TULM_SCREENSHOTS')
        for width, height in ((1280, 720), (1400, 1000)):
            with self.subTest(size=(width, height)):
                self.driver.set_window_size(width, height)
                inner = self.driver.execute_script('return [innerWidth, innerHeight]')
                # The window's frame takes some of the size: the page gets the size asked for.
                self.driver.set_window_size(2 * width - inner[0], 2 * height - inner[1])
                self.driver.get('file://' + os.path.join(PAGE, 'index.html'))
                self.run_async('window.tulm.ready.then(() => done(true))')
                self.driver.find_element(By.ID, 'file').send_keys(video_clip())
                self.wait_for(lambda: self.shown('settings') and not self.shown('progress'))
                box = self.driver.execute_script(
                    'const r = document.getElementById("dialog").getBoundingClientRect(); return [r.top, r.bottom];')
                self.assertLessEqual(box[1], height, 'the dialog\'s values lie below the window')
                if shots:
                    self.driver.save_screenshot(os.path.join(shots, 'page-%dx%d.png' % (width, height)))
        self.driver.set_window_size(1200, 1600)


def sox_file(name, *effects):
    """A 48 kHz mono 16-bit WAV made by sox, e.g. sines mixed under pink noise."""
    path = os.path.join(WORK, name)
    if not os.path.exists(path):
        # Repeatable: the noise is the same from run to run.
        subprocess.run(['sox', '-R', '-n', '-r', '48000', '-c', '1', '-b', '16', path, *effects], check=True,
                       capture_output=True)
    return path


class Choosing(Page):
    """Each harmonic of a hum is a row of its own whose button fits the settings to it,
    with the tool's own cut for it; a click where nothing steady sounds still answers."""

    def open_at_30(self, path):
        self.choose_fps()
        self.driver.find_element(By.ID, 'file').send_keys(path)
        self.wait_for(lambda: self.shown('save') and not self.shown('progress'))

    def detection(self):
        return self.driver.execute_script('return window.tulm.state().detection')

    def test_a_hums_harmonic_is_a_row_that_gives_its_own_settings_and_cut(self):
        path = sox_file('hum.wav', 'synth', '6', 'sine', '60', 'synth', '6', 'sine', 'mix', '120', 'synth', '6',
                        'sine', 'mix', '180', 'synth', '6', 'pinknoise', 'mix', 'vol', '0.3')
        self.open_at_30(path)
        tone = self.detection()['tones'][0]
        self.assertTrue(tone['harmonics'], 'the file should hold a hum')
        fundamental_cut = self.detection()['chosen']['plan']['cut_db']
        rows = self.driver.find_elements(By.CSS_SELECTOR, '#tone-list tbody tr')
        self.assertEqual(len(rows), 1 + len(tone['harmonics']))
        harmonic = tone['harmonics'][0]
        row = rows[1]
        self.assertIn('%.2f Hz' % harmonic['hz'], row.text)
        row.find_element(By.TAG_NAME, 'button').click()
        self.wait_for(lambda: (self.detection() or {}).get('chosen') and
                      abs(self.detection()['chosen']['tone']['hz'] - harmonic['hz']) < 1 and not self.shown('progress'))
        expected = json.loads(subprocess.run(
            [TULM, 'detect', '--json', '--fps', '30/1', '--hz', repr(harmonic['hz']), 'hum.wav'],
            cwd=WORK, capture_output=True, check=True).stdout)
        self.assertEqual(self.detection(), expected)
        # The cut shown is the harmonic's own over its whole extent, not the fundamental's.
        cut = expected['chosen']['plan']['cut_db']
        self.assertIn('%.1f dB' % cut, self.text('cut'))
        self.assertNotIn('%.1f dB' % fundamental_cut, self.text('cut'))

    def click_at(self, hz):
        """A click on the picture at `hz`, near its left edge."""
        self.driver.execute_script(
            'const c = document.getElementById("spectrogram"), r = c.getBoundingClientRect();'
            'const y = yOf(arguments[0]) * r.height / c.height, x = (AXIS.left + 40) * r.width / c.width;'
            'c.dispatchEvent(new MouseEvent("click", {clientX: r.left + x, clientY: r.top + y, bubbles: true}));', hz)

    def test_a_click_on_a_line_or_where_nothing_steady_sounds_answers_plainly(self):
        # A telephone key (697 + 1209 Hz) under pink noise, and a struck note at 2.5 kHz
        # dying away 40 dB over 2 s, which the detector looks at and drops; 5 s, longer
        # than one stretch, which says nothing of how long an unconfirmed sound lasts.
        rate, _, samples = wav_files.read_pcm16(sox_file(
            'dtmf.wav', 'synth', '5', 'sine', '697', 'synth', '5', 'sine', 'mix', '1209', 'synth', '5', 'pinknoise',
            'mix', 'vol', '0.3'))
        first, end = int(0.5 * rate), int(2.5 * rate)
        for t in range(first, end):
            attack = min(1, (t - first) / (0.005 * rate))
            samples[t] += int(round(8000 * attack * 10 ** (-2 * (t - first) / (end - first)) *
                                    math.sin(2 * math.pi * 2500 * t / rate)))
        path = os.path.join(WORK, 'dtmf-note.wav')
        write(path, wav_files.wav_bytes(rate, 1, 's16', struct.pack('<%dh' % len(samples), *samples)))
        self.open_at_30(path)
        table = self.driver.execute_script('return TEXTS.ja')
        # (where clicked, the tone the settings are for, the note's last line: none where
        # the tone was confirmed, else why not)
        cases = [(697, 696.98, None), (2500, 2500, r'^2[45]\d\d\.\d Hz 付近の音は'),
                 (1800, 1800, '^' + table['whyNothing'] + '$')]
        for clicked, tone_hz, why in cases:
            with self.subTest(clicked=clicked):
                self.click_at(clicked)
                self.wait_for(lambda: (self.detection() or {}).get('chosen') and
                              abs(self.detection()['chosen']['tone']['hz'] - tone_hz) < 0.02 * tone_hz and
                              not self.shown('progress'))
                chosen = self.detection()['chosen']
                self.assertTrue(self.shown('settings'))
                self.assertEqual(chosen['detected'], why is None)
                lines = self.text('warnings').split('\n')
                note = table['notConfirmed'].replace('{hz}', '%.1f' % chosen['tone']['hz'])
                if why is None:
                    self.assertNotIn(note, lines)
                else:
                    self.assertIn(note, lines)
                    self.assertRegex(lines[lines.index(note) + 1], why)
                    # The settings span the longest stretch, but no sound was found to last
                    # past it: no second selection is asked for.
                    self.assertTrue(chosen['too_long'])
                    self.assertFalse([l for l in lines if l.startswith(table['warningLong'][:12])])
                    # The one figure is about the notch's own centre, never the stretch's
                    # loudest tone elsewhere (the key's, which the notch leaves).
                    self.assertIn('%.1f Hz' % chosen['notch']['centre_hz'], self.text('cut'))

    def test_a_tone_longer_than_a_stretch_gets_the_tools_plan_whose_passes_cut_it(self):
        # A 6 s beep at -20 dBFS over white noise at -40 dBFS, and the noise alone, sample
        # for sample, so that what the passes leave of the beep is their difference.
        rate, noise_rng = 48000, random.Random(6)
        noise = [int(round(557 * (2 * noise_rng.random() - 1))) for _ in range(9 * rate)]
        mixed = list(noise)
        first, end, ramp = int(1.5 * rate), int(7.5 * rate), 0.005 * rate
        for t in range(first, end):
            edge = min(t - first, end - t)
            gate = 0.5 - 0.5 * math.cos(math.pi * edge / ramp) if edge < ramp else 1.0
            mixed[t] += int(round(3277 * gate * math.sin(2 * math.pi * 1000 * t / rate)))
        pcm = lambda samples: struct.pack('<%dh' % len(samples), *samples)
        wav = lambda samples: wav_files.wav_bytes(rate, 1, 's16', pcm(samples))
        write(os.path.join(WORK, 'beep6.wav'), wav(mixed))
        self.open_at_30(os.path.join(WORK, 'beep6.wav'))
        expected = json.loads(subprocess.run([TULM, 'detect', '--json', '--fps', '30/1', 'beep6.wav'], cwd=WORK,
                                             capture_output=True).stdout)
        self.assertEqual(self.detection(), expected)
        plan = expected['chosen']['plan']
        self.assertGreaterEqual(len(plan['passes']), 2, 'a 6 s beep outlasts one stretch')
        self.assertFalse(plan['goes_on'])
        # The page's passes are the tool's, frame for frame and value for value.
        self.assertTrue(self.shown('plan'))
        items = self.driver.find_elements(By.CSS_SELECTOR, '#passes > li')
        self.assertEqual(len(items), len(plan['passes']))
        for i, (item, p) in enumerate(zip(items, plan['passes'])):
            self.assertIn('フレーム %d' % p['start_video_frame'], item.text)
            grid = [e.text for e in (items[i] if i else self.driver.find_element(By.ID, 'dialog'))
                    .find_elements(By.CSS_SELECTOR, '.value')]
            s = p['settings']
            self.assertEqual(grid[:6], [str(p['start_video_frame'])] +
                             [str(s[k]) for k in ('frequency', 'seconds', 'fft_order', 'width', 'fade')], 'pass %d' % (i + 1))
            said = self.driver.execute_script('return programText(arguments[0])', {
                'change': p['program_change_db'], 'dip': p['program_dip_db'], 'added': p['program_added_db']})
            self.assertIn(said, item.text)
        # A rise outside the band is said to be the trace of what the notch took, with how
        # far under it; where nothing rose, nothing is said of it.
        rise = self.driver.execute_script('return programText({change: 1.23, dip: -0.08, added: -42.27})')
        self.assertIn('42.3 dB 小さい音', rise)
        self.assertNotIn('名残', self.driver.execute_script('return programText({change: 0.15, dip: -0.2, added: null})'))

        # The picture shades every pass's stretch, each labelled with its number.
        marks = self.driver.execute_script('return window.tulm.state().marks')
        self.assertEqual([(m['pass'], m['from'], m['to']) for m in marks],
                         [(i + 1, p['stretch']['start']['seconds'], p['stretch']['end']['seconds'])
                          for i, p in enumerate(plan['passes'])])
        for m in marks:
            self.assertRegex(m['label'], '^%d( |$)' % m['pass'])

        # Each pass rendered by the page on the one before's result, as the host holds it
        # once a pass is written out and loaded back.
        def through_passes(name, data):
            for p in plan['passes']:
                self.file_in_page(name, data)
                data = self.blob_bytes('window.tulm.render(window.testFile, %s)' % json.dumps(
                    {'settings': p['settings'], 'selection': {'start_video_frame': p['start_video_frame'],
                                                              'video_rate': '30/1'}}))
            return data
        def samples(data):
            write(os.path.join(WORK, 'passes-out.wav'), data)
            return wav_files.read_pcm16(os.path.join(WORK, 'passes-out.wav'))[2]
        out_with = samples(through_passes('beep6.wav', wav(mixed)))
        out_without = samples(through_passes('noise6.wav', wav(noise)))
        block = 2 ** plan['passes'][0]['settings']['fft_order']
        lo = max(0, plan['extent']['start']['sample_frame'] - block)
        hi = min(len(noise), plan['extent']['end']['sample_frame'] + block)
        tone = sum((mixed[t] - noise[t]) ** 2 for t in range(lo, hi))
        left = sum((out_with[t] - out_without[t]) ** 2 for t in range(lo, hi))
        cut = 10 * math.log10(tone / max(left, 1e-9))
        self.assertGreaterEqual(cut, 40)
        self.assertAlmostEqual(cut, plan['cut_db'], delta=3)

class Render(Page):
    """window.tulm.render against `tulm render`, byte for byte, for every kind of WAV."""

    def render_both(self, name, data, chosen):
        """The page's processed file and removed part, and the tool's, for one input."""
        source = os.path.join(WORK, name)
        out, removed = os.path.join(WORK, 'out-' + name), os.path.join(WORK, 'removed-' + name)
        write(source, data)
        tool('render', source, out, '--diff', removed, '--quiet', *render_args(chosen))
        self.file_in_page(name, data)
        page_out = self.blob_bytes('window.tulm.render(window.testFile, %s)' % json.dumps(chosen))
        page_removed = self.blob_bytes('window.tulm.removedPart()')
        return page_out, read(out), page_removed, read(removed)

    def test_every_kind_of_wav_comes_back_as_the_tool_writes_it(self):
        rate, channels, samples = wav_files.read_pcm16(demo_clip())
        for kind in ('u8', 's16', 's24', 's32', 'f32', 'f64'):
            with self.subTest(kind=kind):
                data = wav_files.variant(rate, channels, samples, kind)
                page_out, out, page_removed, removed = self.render_both('in-%s.wav' % kind, data, RENDER_SUGGESTION)
                self.assertEqual(differing_bytes(page_out, out), [], 'processed file')
                self.assertEqual(page_out, out)
                self.assertEqual(page_removed, removed, 'removed part')
                # Outside the stretch the processed file holds the input's samples.
                self.assertEqual(page_out[-4000:], data[-4000:])

    def test_the_suggestion_of_the_pages_own_analysis(self):
        path = demo_clip()
        self.file_in_page('in.wav', read(path))
        text = self.run_async('window.tulm.analyse(window.testFile, {fps: "30"}).then(done).catch(fail)')
        chosen = json.loads(text)['chosen']
        page_out, out, _, _ = self.render_both('in.wav', read(path), chosen)
        self.assertEqual(page_out, out)


def differing_bytes(a, b):
    """Offsets of the first few bytes where two files differ, for a readable failure."""
    return [i for i in range(min(len(a), len(b))) if a[i] != b[i]][:8]


class Player(Page):
    def test_switches_between_original_processed_and_removed_while_playing(self):
        self.choose_fps()
        self.driver.find_element(By.ID, 'file').send_keys(demo_clip())
        self.wait_for(lambda: self.shown('player'))
        self.driver.find_element(By.ID, 'play').click()
        state = self.driver.execute_script('return window.tulm.player.state()')
        self.assertTrue(state['playing'])
        self.assertEqual(state['gains'], [1, 0, 0])
        start, starts = state['time'], state['starts']
        for choice, gains in (('processed', [0, 1, 0]), ('removed', [0, 0, 1]), ('original', [1, 0, 0])):
            self.driver.find_element(By.CSS_SELECTOR, 'input[value=%s]' % choice).click()
            self.wait_for(lambda: self.driver.execute_script('return window.tulm.player.state().gains')
                          == gains, 5)
            state = self.driver.execute_script('return window.tulm.player.state()')
            self.assertEqual(state['choice'], choice)
            self.assertTrue(state['playing'], 'the sound stopped at the switch')
        # The three sources kept running from the one start: nothing was restarted.
        self.assertGreater(state['time'], start)
        self.assertEqual(state['starts'], starts)
        self.driver.find_element(By.ID, 'play').click()
        self.assertFalse(self.driver.execute_script('return window.tulm.player.state().playing'))


class Texts(Page):
    def test_japanese_first_and_english_from_the_same_table(self):
        table = self.driver.execute_script('return TEXTS')
        self.assertEqual(sorted(table['ja']), sorted(table['en']), 'both languages carry every text')
        self.assertEqual(self.driver.execute_script('return document.documentElement.lang'), 'ja')
        self.assertEqual(self.text('language'), table['ja']['language'])
        self.choose_fps()
        self.driver.find_element(By.ID, 'file').send_keys(demo_clip())
        self.wait_for(lambda: self.shown('save') and not self.shown('progress'))
        heading = self.driver.find_element(By.TAG_NAME, 'h1').text
        self.assertEqual(heading, table['ja']['title'])
        self.assertRegex(heading, '[\u3040-\u30ff\u4e00-\u9fff]')
        self.driver.find_element(By.ID, 'language').click()
        self.assertEqual(self.driver.execute_script('return document.documentElement.lang'), 'en')
        self.assertEqual(self.driver.find_element(By.TAG_NAME, 'h1').text, table['en']['title'])
        for element in self.driver.find_elements(By.CSS_SELECTOR, '[data-text]'):
            if element.is_displayed():
                self.assertNotRegex(element.text, '[\u3040-\u30ff]', element.get_attribute('data-text'))
        # What the page words from the file and the tool's answer follows the switch too
        # (the dialog's labels are the plug-in's own, in its language whatever the page's).
        for element_id in ('file-info', 'stage', 'settings-for', 'notch-facts', 'warnings', 'tone-list', 'cut'):
            self.assertNotRegex(self.text(element_id), '[\u3040-\u30ff]', element_id)
        self.driver.find_element(By.ID, 'language').click()
        self.assertEqual(self.driver.find_element(By.TAG_NAME, 'h1').text, table['ja']['title'])


class BadFiles(Page):
    """Each gives one sentence from the table, and the page opens a good file after it."""

    def test_each_gives_one_clear_message_and_leaves_the_page_usable(self):
        table = self.driver.execute_script('return TEXTS.ja')
        cases = [('notes.wav', b'These are my notes, not audio.\n' * 20, 'errorNotWav'),
                 ('empty.wav', b'', 'errorEmpty'),
                 ('nochannels.wav', wav_files.zero_channel_header(), 'errorNoChannels'),
                 # Not a WAV by its name or bytes: the browser's decoder, in its frame, refuses it.
                 ('notes.mp3', b'These are my notes, not audio.\n' * 20, 'errorDecode')]
        self.choose_fps()
        for name, data, key in cases:
            with self.subTest(name=name):
                path = os.path.join(WORK, name)
                write(path, data)
                self.driver.find_element(By.ID, 'file').send_keys(path)
                self.wait_for(lambda: self.shown('message'), 20)
                self.assertEqual(self.text('message'), table[key])
                self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, '[role=alert]:not([hidden])')), 1)
                self.assertFalse(self.shown('settings'))
                # Nothing beside the message says the job went well.
                self.assertNotEqual(self.text('stage'), table['stageDone'])
                self.assertEqual(self.severe_console(), [])
        self.driver.find_element(By.ID, 'file').send_keys(demo_clip())
        self.wait_for(lambda: self.shown('settings'))
        self.assertFalse(self.shown('message'))


class ToolRefusals(Page):
    """What the tool's core refuses comes as a code with its values, worded from the page's
    table in the page's language, never as the command line's English."""

    def test_the_cores_refusals_in_the_pages_language(self):
        self.file_in_page('in.wav', read(demo_clip()))
        cases = [({'fps': '30', 'length': 'soon'}, 'errorNotTime', {'text': 'soon'}),
                 ({'fps': '30', 'hz': 30000}, 'errorHzOutsideHalfRate', {'hz': '30000', 'half_rate': '24000'}),
                 ({'fps': '30', 'start': '9s'}, 'errorStretchPastEnd',
                  {'frame': '270', 'seconds': '9', 'file_frames': '120', 'file_seconds': '4'})]
        for options, key, values in cases:
            for lang in ('ja', 'en'):
                with self.subTest(key=key, lang=lang):
                    expected = self.driver.execute_script('return TEXTS[arguments[0]][arguments[1]]', lang, key)
                    for name, value in values.items():
                        expected = expected.replace('{' + name + '}', value)
                    got = self.run_async('window.tulm.analyse(window.testFile, arguments[0]).then(() => done(null))'
                                         '.catch((e) => done(textOf(arguments[1], e.key, e.detail)))', options, lang)
                    self.assertEqual(got, expected)
                    self.assertNotIn('--', got)


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    PAGE, TULM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    result = unittest.main(argv=sys.argv[:1] + sys.argv[3:], exit=False, verbosity=2).result
    # A test with failing subtests is listed once for each; count it once.
    failed = len({test.id().split(' ')[0] for test, _ in result.failures + result.errors})
    print('%d passed, %d failed' % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
