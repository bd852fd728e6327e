#!/usr/bin/python3
"""Fault injection for the Python module: threads sharing one Synthesizer,
closing it during and inside a call, log callbacks that end engines,
arguments the C interface cannot carry, and the library it loads.

  python_faults.py --library LIB --models DIR --jieba-dict DIR [CASE ...]

Each case runs in a child process (a crash or a hang fails that case only,
after a generous timeout) on a fresh configuration folder from
fault_injection.py with the module from python/ and the built library.
Cases are a table; name one to run it alone.
"""

import argparse
import array
import gc
import glob
import os
import shutil
import subprocess
import sys
import threading
import time
import weakref

import fault_injection as fi

HERE = os.path.dirname(os.path.abspath(__file__))
MODULE_DIR = os.path.join(HERE, "../../python")
TEXT = "你好，世界。再见，世界。你好，世界。"
LIBRARY = None


def tts_module():
    sys.path.insert(0, MODULE_DIR)
    import tolvaren_tts
    return tolvaren_tts


def threads_share_one_synthesizer(s):
    t = tts_module()
    with t.Synthesizer(conf_path=s.conf) as tts:
        alone = tts.synthesize(TEXT)[0]
        heard = []

        def speak():
            for _ in range(4):
                heard.append(tts.synthesize(TEXT)[0])

        threads = [threading.Thread(target=speak) for _ in range(3)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    return [f"call {i} differs from the single-thread audio"
            for i, samples in enumerate(heard) if samples != alone] + (
                [] if len(heard) == 12 else [f"{len(heard)} calls of 12"])


def close_waits_for_another_thread(s):
    t = tts_module()
    tts = t.Synthesizer(conf_path=s.conf)
    alone = tts.synthesize(TEXT)[0]
    started, closed = threading.Event(), threading.Event()
    streamed, problems = array.array("f"), []

    def chunk(samples):
        if closed.is_set():
            problems.append("a chunk came after close() returned")
        streamed.extend(samples)
        if not started.is_set():
            started.set()
            time.sleep(0.2)  # close() begins while this call runs

    def speak():
        try:
            tts.stream(TEXT, chunk)
        except Exception as error:
            problems.append(f"stream: {error!r}")

    speaker = threading.Thread(target=speak)
    speaker.start()
    started.wait(60)
    tts.close()
    closed.set()
    speaker.join()
    if streamed != alone:
        problems.append("the streamed call's audio differs")
    try:
        tts.synthesize("你好")
        problems.append("a closed synthesizer spoke")
    except t.TolvarenTtsError as error:
        if "closed" not in str(error):
            problems.append(f"after close: {error}")
    return problems


def close_inside_own_callback(s):
    t = tts_module()
    tts = t.Synthesizer(conf_path=s.conf)
    try:
        tts.stream(TEXT, lambda chunk: tts.close())
        return ["close() inside the callback was not refused"]
    except t.TolvarenTtsError as error:
        if error.name != "TOLVAREN_TTS_IN_CALLBACK" or "callback" not in str(
                error):
            return [f"refused as {error.name}: {error}"]
    problems = [] if tts.synthesize("你好")[0] else ["no audio after it"]
    tts.close()
    return problems


def log_callback_collects_an_engine(s):
    """A log record's callback runs the garbage collector, which ends an
    engine held only by a reference cycle; that engine's end logs too."""
    t = tts_module()
    gc.disable()
    speaking = t.Synthesizer(conf_path=s.conf)
    cycle = t.Synthesizer(conf_path=s.conf)
    cycle.itself = cycle
    gone = weakref.ref(cycle)
    del cycle
    t.set_log_callback(lambda level, message: gc.collect(), t.INFO)
    speaking.synthesize(TEXT)
    t.set_log_callback(None)
    speaking.close()
    return [] if gone() is None else ["the engine in the cycle is alive"]


def cache_refusal_is_a_warning(s):
    t = tts_module()
    s.keys["model_cache_path"] = s.write("not_a_folder", "x")
    s.write_conf()
    records = []
    t.set_log_callback(lambda level, message: records.append(message),
                       t.WARNING)
    t.Synthesizer(conf_path=s.conf).close()
    if not any("model cache folder" in record for record in records):
        return [f"no WARNING record of the cache: {records}"]
    return []


def timings_tile_the_samples(s):
    """synthesize and stream hand back the same entries, which cover the
    audio and spell the pinyin spoken; a voice without durations gives
    none."""
    t = tts_module()
    problems = []
    # The pinyin is spelled with the inventory beside the dictionary.
    shutil.copy(os.path.join(HERE, "../../resources/dict/phones.tsv"),
                s.path("phones.tsv"))
    with t.Synthesizer(conf_path=s.conf) as tts:
        if tts.synthesize("你好", timings=True)[2] != []:
            problems.append("timings from a voice without durations")
    s.keys["fastspeech2_model_path"] = fi.ARGS.models + "/timed_acoustic.onnx"
    s.write_conf()
    # (text, options, the same words as plain text)
    rows = [("你好，世界。再见", {}, "你好，世界。再见"),
            ("[[ni3 hao3]]世界", {"sentence_silence": 0.5}, "[[ni3 hao3]]世界"),
            ("<speak>你好<break time=\"1s\"/>世界</speak>", {"markup": True},
             "你好世界")]
    with t.Synthesizer(conf_path=s.conf) as tts:
        for text, options, plain in rows:
            samples, _, words = tts.synthesize(text, timings=True, **options)
            streamed = tts.stream(text, lambda chunk: None, timings=True,
                                  **options)
            ends = [0] + [w.end_sample for w in words]
            spoken = " ".join(syllable.pinyin for w in words
                              for syllable in w.syllables)
            checks = [
                (streamed == words, "stream's entries differ"),
                (len(words) > 2, f"{len(words)} entries"),
                ([w.start_sample for w in words] == ends[:-1],
                 "entries do not follow on"),
                (ends[-1] == len(samples), f"end {ends[-1]} of {len(samples)}"),
                (all(w.pinyin == " ".join(x.pinyin for x in w.syllables)
                     and w.pause == (not w.syllables) for w in words),
                 "a word's pinyin is not its syllables'"),
                (spoken == tts.pinyin(plain), f"pinyin {spoken!r}"),
            ]
            problems += [f"{text}: {why}" for ok, why in checks if not ok]
    return problems


def refused(call, error_type, needle):
    try:
        call()
    except error_type as error:
        return [] if needle in str(error) else [f"{error_type.__name__}: "
                                                f"{error}, not {needle!r}"]
    except Exception as error:
        return [f"{type(error).__name__}: {error}, not {error_type.__name__}"]
    return [f"accepted, not {error_type.__name__}"]


def strict_arguments(s):
    t = tts_module()
    wav = s.path("a.wav")
    with t.Synthesizer(conf_path=s.conf) as tts:
        rows = [
            (lambda: tts.synthesize("你好\0世界"), ValueError, "null byte"),
            (lambda: tts.stream("你\0", lambda chunk: None), ValueError, "null byte"),
            (lambda: tts.pinyin("你\x00好"), ValueError, "null byte"),
            (lambda: t.write_wav(wav + "\0.txt", [0.0], 16000), ValueError,
             "null byte"),
            (lambda: t.Synthesizer(conf_path="/nonexist\0/x"), ValueError,
             "null byte"),
            (lambda: t.Synthesizer(conf_path=s.conf, threads=2 ** 40),
             ValueError, "threads"),
            (lambda: t.Synthesizer(conf_path=s.conf, threads=1.5), TypeError,
             ""),
            (lambda: t.write_wav(wav, [0.0], 2 ** 32 + 24000), ValueError,
             "sample_rate"),
            (lambda: t.write_wav(wav, [0.0], 2 ** 30, float32=True),
             t.TolvarenTtsError, "too high"),
            (lambda: t.set_log_callback(5), TypeError, "callable"),
            (lambda: t.set_log_callback(None, 2 ** 32 + 1), ValueError,
             "min_level"),
            (lambda: tts.synthesize("你好", speed=0), ValueError, "speed"),
            (lambda: tts.stream("你好", lambda chunk: None, volume=0), ValueError,
             "volume"),
        ]
        problems = []
        for i, (call, error_type, needle) in enumerate(rows):
            problems += [f"row {i}: {p}" for p in refused(call, error_type,
                                                          needle)]
    if os.path.exists(wav):
        problems.append("a.wav was written")
    return problems


def library_lookup(s):
    """The install tree's library before $TOLVAREN_TTS_LIBRARY; a named
    file that is missing or not the library fails the import naming it."""
    tree = s.path("prefix/lib")
    package = os.path.join(tree, "python3/dist-packages")
    os.makedirs(package)
    shutil.copytree(os.path.join(MODULE_DIR, "tolvaren_tts"),
                    os.path.join(package, "tolvaren_tts"))
    found = glob.glob("/lib/*/libc.so.6") + glob.glob("/usr/lib*/libc.so.6")
    if not found:
        raise fi.Skip("no libc.so.6 found to load as a wrong library")
    libc = found[0]
    none = s.path("none.so")
    rows = [(package, libc, "ok", ""), (MODULE_DIR, libc, "ImportError", libc),
            (MODULE_DIR, none, "ImportError", none)]
    problems = []
    for path, named, kind, needle in rows:
        if path == package:
            os.symlink(LIBRARY, os.path.join(tree, "libtolvaren_tts.so"))
        probe = ("try:\n import tolvaren_tts; print('ok')\n"
                 "except Exception as e: print(type(e).__name__, e)")
        env = dict(os.environ, PYTHONPATH=path, TOLVAREN_TTS_LIBRARY=named)
        out = subprocess.run([sys.executable, "-c", probe], env=env,
                             capture_output=True, text=True).stdout
        if not out.startswith(kind) or needle not in out:
            problems.append(f"{path} with {named}: {out.strip()}")
    return problems


CASES = [
    ("threads share one synthesizer", threads_share_one_synthesizer),
    ("close waits for another thread", close_waits_for_another_thread),
    ("close inside its own callback", close_inside_own_callback),
    ("log callback collects an engine", log_callback_collects_an_engine),
    ("cache refusal is a warning", cache_refusal_is_a_warning),
    ("strict arguments", strict_arguments),
    ("timings tile the samples", timings_tile_the_samples),
    ("library lookup", library_lookup),
]


def run_case(name):
    setup = fi.Setup()
    try:
        problems = dict(CASES)[name](setup)
    except fi.Skip as skip:
        print(f"SKIP: {skip}")
        return 0
    finally:
        setup.close()
    for problem in problems:
        print("    " + problem)
    return 1 if problems else 0


def main():
    global LIBRARY
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--library", required=True)
    parser.add_argument("--models", required=True)
    parser.add_argument("--jieba-dict", required=True)
    parser.add_argument("--child", action="store_true")
    parser.add_argument("cases", nargs="*")
    fi.ARGS = parser.parse_args()
    LIBRARY = os.path.abspath(fi.ARGS.library)
    fi.ARGS.models = os.path.abspath(fi.ARGS.models)
    fi.ARGS.jieba_dict = os.path.abspath(fi.ARGS.jieba_dict)
    if fi.ARGS.child:
        return run_case(fi.ARGS.cases[0])
    os.environ["TOLVAREN_TTS_LIBRARY"] = LIBRARY
    chosen = [c for c, _ in CASES if not fi.ARGS.cases or c in fi.ARGS.cases]
    failed = 0
    for name in chosen:
        started = time.time()
        try:
            done = subprocess.run(
                [sys.executable, __file__, "--child", "--library", LIBRARY,
                 "--models", fi.ARGS.models, "--jieba-dict",
                 fi.ARGS.jieba_dict, name], capture_output=True, text=True,
                timeout=120)
            code, output = done.returncode, done.stdout + done.stderr[-2000:]
        except subprocess.TimeoutExpired:
            code, output = None, "    hung (no end after 120 s)\n"
        print(f"{'PASS' if code == 0 else 'FAIL'}: {name} "
              f"({time.time() - started:.1f} s)"
              + ("" if code in (0, 1, None) else f" exit {code}"), flush=True)
        print(output, end="")
        failed += code != 0
    print(f"{len(chosen) - failed} of {len(chosen)} cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
