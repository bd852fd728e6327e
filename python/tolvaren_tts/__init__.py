"""Mandarin Chinese text to speech: libtolvaren_tts's C interface for
Python, through ctypes (the standard library only).

    import tolvaren_tts
    with tolvaren_tts.Synthesizer() as tts:
        samples, rate = tts.synthesize("你好，世界！")
        tolvaren_tts.write_wav("hello.wav", samples, rate)

Samples are array('f') of mono floats, always within [-0.99, 0.99] (a
peak limiter, no clipping; volume scales before it). Every failure of the
library raises TolvarenTtsError, whose message is the library's own; an
argument the C interface cannot carry (a NUL in a text or path, an integer
beyond its range, a 0 for speed or volume) raises ValueError or TypeError.

Any number of threads may use one Synthesizer: its calls run one at a time.
close() waits for calls on other threads; from inside the synthesizer's own
callback it raises TolvarenTtsError (TOLVAREN_TTS_IN_CALLBACK).

The library is found beside this package in the install tree
(<prefix>/lib/libtolvaren_tts.so, three folders up), else where
$TOLVAREN_TTS_LIBRARY names it, else through the system's loader.
"""

import array
import contextlib
import ctypes
import operator
import os
import threading

from . import _timings
from ._library import (_CHUNK_CALLBACK, _LOG_CALLBACK, _Config, _Options,
                       _VoiceInfo, _load)
from ._timings import SyllableTiming, WordTiming

__all__ = ["Synthesizer", "TolvarenTtsError", "write_wav", "version",
           "list_voices", "set_log_callback", "WordTiming",
           "SyllableTiming", "DEBUG", "INFO", "WARNING",
           "ERROR"]

_CANCELLED = 6
_IN_CALLBACK = 9
_INT_MIN, _INT_MAX = -2 ** 31, 2 ** 31 - 1
_WAV_PCM16, _WAV_FLOAT32 = 0, 1
# Log levels, as the C interface numbers them.
DEBUG, INFO, WARNING, ERROR = 0, 1, 2, 3


class TolvarenTtsError(Exception):
    """A failed call: `status` is the C status number, `name` its name."""

    def __init__(self, status, name, message):
        super().__init__(message)
        self.status = status
        self.name = name


_lib = _load()


def _check(status):
    if status != 0:
        raise TolvarenTtsError(
            status, _lib.tolvaren_tts_status_name(status).decode(),
            _lib.tolvaren_tts_last_error().decode(errors="replace"))


def _no_nul(data):
    if b"\0" in data:
        raise ValueError("embedded null byte")
    return data


def _utf8(text, what):
    if not isinstance(text, str):
        raise TypeError(f"{what} must be a str, not {type(text).__name__}")
    return _no_nul(text.encode("utf-8"))


def _path(path):
    return None if path is None else _no_nul(os.fsencode(path))


def _c_int(value, what, low=_INT_MIN, high=_INT_MAX):
    """`value` as a C int, refused rather than wrapped when out of range."""
    number = operator.index(value)
    if not low <= number <= high:
        raise ValueError(f"{what} must be {low} to {high}, not {number}")
    return number


def _options(speed, sentence_silence, markup, volume, timings=None):
    # The C interface reads 0 as "the default"; here the defaults are
    # spelled out, so an explicit 0 is a mistake, not a 1.
    for name, value in (("speed", speed), ("volume", volume)):
        if float(value) == 0:
            raise ValueError(f"{name} must be above 0, not 0")
    return _Options(ctypes.sizeof(_Options), float(speed),
                    float(sentence_silence), int(bool(markup)), float(volume),
                    None if timings is None else ctypes.pointer(timings))


def version():
    """The library's version, "MAJOR.MINOR.PATCH"."""
    return _lib.tolvaren_tts_version().decode()


def write_wav(path, samples, sample_rate, float32=False):
    """Writes mono samples (floats) as a WAV file: 16-bit PCM (clipped to
    [-1, 1]) or, with float32, 32-bit float. Complete or not at all."""
    data = array.array("f", samples)
    pointer = (ctypes.cast(data.buffer_info()[0], ctypes.POINTER(ctypes.c_float))
               if len(data) else None)
    _check(_lib.tolvaren_tts_write_wav(
        _path(path), pointer, len(data),
        _c_int(sample_rate, "sample_rate", 1),
        _WAV_FLOAT32 if float32 else _WAV_PCM16))


def _config(conf_path=None, voice=None, front_conf_path=None,
            acoustic_model_path=None, vocoder_model_path=None, threads=0):
    return _Config(ctypes.sizeof(_Config), _path(conf_path),
                   _path(front_conf_path), _path(acoustic_model_path),
                   _path(vocoder_model_path),
                   None if voice is None else _utf8(voice, "voice"),
                   _c_int(threads, "threads", 0))


# The C side keeps only a pointer to the callback: it must live as long as
# it is set, and a replaced one as long as the process, since another
# thread may be inside it.
_log_callbacks = [_LOG_CALLBACK()]


def set_log_callback(callback, min_level=WARNING):
    """Hands each library log record at or above min_level to
    callback(level, message), on the thread that made it; None: records
    go nowhere (the default). The callback may call the library."""
    if callback is not None and not callable(callback):
        raise TypeError("callback must be callable or None, not "
                        f"{type(callback).__name__}")
    level = _c_int(min_level, "min_level", DEBUG, ERROR)
    forward = _LOG_CALLBACK()
    if callback is not None:
        def forward_record(level, message, _user):
            try:
                callback(level, message.decode(errors="replace"))
            except BaseException:  # a log record is never worth a crash
                pass
        forward = _LOG_CALLBACK(forward_record)
    _log_callbacks.append(forward)
    _check(_lib.tolvaren_tts_set_log_callback(forward, None, level))


def list_voices(conf_path=None, front_conf_path=None,
                acoustic_model_path=None, vocoder_model_path=None):
    """The voices a configuration offers, "default" first: a list of
    dicts with name, sample_rate, licence and supports_speed. No model is
    loaded."""
    config = _config(conf_path, None, front_conf_path, acoustic_model_path,
                     vocoder_model_path)
    voices = ctypes.POINTER(_VoiceInfo)()
    count = ctypes.c_size_t()
    _check(_lib.tolvaren_tts_list_voices(ctypes.byref(config),
                                         ctypes.byref(voices),
                                         ctypes.byref(count)))
    try:
        return [{"name": voices[i].name.decode(),
                 "sample_rate": voices[i].sample_rate,
                 "licence": voices[i].licence.decode(errors="replace"),
                 "supports_speed": bool(voices[i].supports_speed)}
                for i in range(count.value)]
    finally:
        _lib.tolvaren_tts_free_voices(voices, count)


class Synthesizer:
    """One loaded engine (front end and the voice's models). Any number of
    threads may use it; its calls run one at a time. close() or a with
    block frees it."""

    def __init__(self, conf_path=None, voice=None, front_conf_path=None,
                 acoustic_model_path=None, vocoder_model_path=None,
                 threads=0):
        config = _config(conf_path, voice, front_conf_path,
                         acoustic_model_path, vocoder_model_path, threads)
        # The threads inside a call on the handle, so that close() waits
        # for them and never frees it under one.
        self._lock = threading.Condition()
        self._callers = {}
        self._handle = ctypes.c_void_p()
        _check(_lib.tolvaren_tts_create(ctypes.byref(config),
                                        ctypes.byref(self._handle)))

    def close(self):
        """Frees the engine once the calls on other threads have returned;
        from inside its own callback raises TolvarenTtsError
        (TOLVAREN_TTS_IN_CALLBACK) and the engine stays."""
        with self._lock:
            if not self._handle:
                return
            if threading.get_ident() in self._callers:
                raise TolvarenTtsError(
                    _IN_CALLBACK,
                    _lib.tolvaren_tts_status_name(_IN_CALLBACK).decode(),
                    "close() was called from inside this synthesizer's own "
                    "callback: close it after the call has returned")
            handle, self._handle = self._handle, ctypes.c_void_p()
            self._lock.wait_for(lambda: not self._callers)
        _check(_lib.tolvaren_tts_destroy(handle))

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None):
            try:
                self.close()
            except TolvarenTtsError:
                pass

    @contextlib.contextmanager
    def _live(self):
        """The handle, held open for one call."""
        me = threading.get_ident()
        with self._lock:
            if not self._handle:
                raise TolvarenTtsError(1, "TOLVAREN_TTS_INVALID_ARGUMENT",
                                       "the synthesizer is closed")
            self._callers[me] = self._callers.get(me, 0) + 1
            handle = self._handle
        try:
            yield handle
        finally:
            with self._lock:
                self._callers[me] -= 1
                if not self._callers[me]:
                    del self._callers[me]
                    self._lock.notify_all()

    @property
    def sample_rate(self):
        with self._live() as handle:
            return _lib.tolvaren_tts_sample_rate(handle)

    @property
    def supports_speed(self):
        with self._live() as handle:
            return bool(_lib.tolvaren_tts_supports_speed(handle))

    def synthesize(self, text, speed=1.0, sentence_silence=0.0, markup=False,
                   volume=1.0, timings=False):
        """The samples of `text` and their rate: (array('f'), int); with
        timings, (array('f'), int, [WordTiming]): when each word and
        syllable is spoken, the entries tiling the samples."""
        samples = ctypes.POINTER(ctypes.c_float)()
        count = ctypes.c_size_t()
        words = ctypes.c_void_p() if timings else None
        options = _options(speed, sentence_silence, markup, volume, words)
        encoded = _utf8(text, "text")
        with self._live() as handle:
            _check(_lib.tolvaren_tts_synthesize(
                handle, encoded, ctypes.byref(options),
                ctypes.byref(samples), ctypes.byref(count)))
            try:
                data = array.array("f")
                if count.value:
                    data.frombytes(ctypes.string_at(samples, 4 * count.value))
            finally:
                _lib.tolvaren_tts_free_samples(samples)
                entries = _timings.take(_lib, _check, words) if words else []
            rate = _lib.tolvaren_tts_sample_rate(handle)
        return (data, rate, entries) if timings else (data, rate)

    def stream(self, text, callback, speed=1.0, sentence_silence=0.0,
               markup=False, volume=1.0, timings=False):
        """Calls callback(array('f')) with each chunk as it is made; a
        callback that returns False stops the synthesis (TolvarenTtsError,
        name TOLVAREN_TTS_CANCELLED). An exception in the callback stops
        it too and is raised here. With timings, returns [WordTiming] once
        the synthesis has ended (as synthesize's); otherwise None."""
        raised = []

        def chunk(samples, count, _user):
            try:
                data = array.array("f")
                if count:
                    data.frombytes(ctypes.string_at(samples, 4 * count))
                return 0 if callback(data) is False else 1
            except BaseException as error:  # raised again below
                raised.append(error)
                return 0

        words = ctypes.c_void_p() if timings else None
        options = _options(speed, sentence_silence, markup, volume, words)
        encoded = _utf8(text, "text")
        with self._live() as handle:
            status = _lib.tolvaren_tts_synthesize_stream(
                handle, encoded, ctypes.byref(options),
                _CHUNK_CALLBACK(chunk), None)
        if raised and status == _CANCELLED:
            raise raised[0]
        _check(status)
        return _timings.take(_lib, _check, words) if words else None

    def pinyin(self, text):
        """The numbered-tone pinyin spoken for `text`."""
        result = ctypes.c_void_p()
        encoded = _utf8(text, "text")
        with self._live() as handle:
            _check(_lib.tolvaren_tts_pinyin(handle, encoded,
                                            ctypes.byref(result)))
        try:
            return ctypes.string_at(result).decode()
        finally:
            _lib.tolvaren_tts_free_string(result)
