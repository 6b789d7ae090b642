"""The page's analysis beside the native tool's in one run, on the same file: a
10-minute stereo 48 kHz 16-bit WAV (a tone under pink noise, made by sox) analysed by
`tulm detect --json` and by the page in headless Chromium opened from file://, given the
file through its file input, from reading the file to the analysis's answer. It prints
both wall times, their ratio (the page aims at no more than 1.2), the page's stages, the
longest task the page's main thread ran meanwhile (it aims at none over 100 ms, read
from Chromium's long-task timing) and its longest frame (script, style, layout and
paint together, from its long-animation-frame timing), each with the stage it began in,
how many workers looked at the region's chunks, and whether the two JSON texts are the
same.

Usage: /usr/bin/python3 bench/web_speed.py PAGE_DIR TULM [minutes] [workers]
(workers: how many look at the chunks; default the machine's cores, as a user's page)
"""
import os
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    page, tulm = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    minutes = float(sys.argv[3]) if len(sys.argv) > 3 else 10
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    seconds = int(minutes * 60)
    work = tempfile.mkdtemp(prefix='tulm-web-bench-')
    path = os.path.join(work, 'long.wav')
    subprocess.run(['sox', '-n', '-r', '48000', '-c', '2', '-b', '16', path, 'synth', str(seconds), 'pinknoise',
                    'synth', str(seconds), 'sine', 'mix', '1000', 'vol', '0.5'], check=True, capture_output=True)

    # The page knows the file by its name, so the tool is given the name too.
    begin = time.monotonic()
    native = subprocess.run([tulm, 'detect', '--json', 'long.wav'], cwd=work, capture_output=True)
    native_seconds = time.monotonic() - begin
    if native.returncode not in (0, 4):
        sys.exit('tulm detect failed: ' + native.stderr.decode())

    options = webdriver.ChromeOptions()
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu'):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service(os.environ.get('CHROMEDRIVER', '/usr/bin/chromedriver')),
                              options=options)
    driver.set_script_timeout(1800)
    try:
        driver.get('file://' + os.path.join(page, 'index.html'))
        driver.execute_async_script('window.tulm.ready.then(arguments[0])')
        # Long tasks, and long frames: a frame counts the style, layout and paint that
        # follow a task's script, which the task's own timing may leave out.
        driver.execute_script(
            'window.longest = {};'
            'for (const type of ["longtask", "long-animation-frame"]) {'
            '  window.longest[type] = {duration: 0, at: 0};'
            '  new PerformanceObserver((list) => { for (const e of list.getEntries())'
            '    if (e.duration > window.longest[type].duration) window.longest[type] = {duration: e.duration, at: e.startTime};'
            '  }).observe({type});'
            '}')
        if count:
            driver.execute_script('window.tulm.useWorkers(arguments[0])', count)
        # A page from before the chunks were shared out has one worker.
        workers = driver.execute_script('return window.tulm.workers ? window.tulm.workers()'
                                        ' : {count: 1, cores: navigator.hardwareConcurrency}')
        # The file goes in as a user gives it, the frame rate chosen first (the tool's
        # default, which it is run with): timed from the page's first stage (reading the
        # file) to the analysis's answer, as the user waits for the settings.
        Select(driver.find_element(By.ID, 'fps')).select_by_value('30/1')
        driver.find_element(By.ID, 'file').send_keys(path)
        while not any(s['key'] == 'analysed' for s in driver.execute_script('return window.tulm.stages()')):
            time.sleep(0.5)
        stages = driver.execute_script('return window.tulm.stages()')
        text = driver.execute_async_script('window.tulm.analyse(document.getElementById("file").files[0], {})'
                                           '.then(arguments[0], (e) => arguments[0](String(e.key)))')
        longest = driver.execute_script('return window.longest')
    finally:
        driver.quit()
    start = stages[0]['at']
    answer = next(s['at'] for s in stages if s['key'] == 'analysed')
    page_seconds = (answer - start) / 1000
    same = text.encode() == native.stdout
    print('%g-minute stereo 48 kHz 16-bit WAV, %d bytes' % (minutes, os.path.getsize(path)))
    print('%-28s %10s %8s' % ('', 'seconds', 'ratio'))
    print('%-28s %10.2f %8.2f' % ('tulm detect --json (native)', native_seconds, 1.0))
    print('%-28s %10.2f %8.2f' % ('the page, file to answer', page_seconds, page_seconds / native_seconds))
    upto = [s for s in stages if s['at'] <= answer]
    for s, after in zip(upto, upto[1:]):
        print('  page: %-26s %8.2f s' % (s['key'], (after['at'] - s['at']) / 1000))
    # The stage the longest task or frame began in says which of the page's work it was.
    for type, what in (('longtask', 'task'), ('long-animation-frame', 'frame')):
        worst = longest[type]
        during = [s['key'] for s in stages if s['at'] <= worst['at'] and s['key'] != 'progress']
        print('longest main-thread %-5s while the page worked: %.0f ms (in %s)'
              % (what, worst['duration'], during[-1] if during else 'no stage'))
    print('workers looking at the chunks: %d (navigator.hardwareConcurrency %d)' % (workers['count'], workers['cores']))
    print('the page\'s JSON %s the tool\'s' % ('equals' if same else 'DIFFERS FROM'))
    os.remove(path)
    os.rmdir(work)


if __name__ == '__main__':
    main()
