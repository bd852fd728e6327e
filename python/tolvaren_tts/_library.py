"""Finding and loading libtolvaren_tts, and declaring the C interface's
structs and functions to ctypes."""

import ctypes
import ctypes.util
import glob
import os

from . import _timings

_LIBRARY_NAME = "libtolvaren_tts.so"


class _Config(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t),
                ("conf_path", ctypes.c_char_p),
                ("front_conf_path", ctypes.c_char_p),
                ("acoustic_model_path", ctypes.c_char_p),
                ("vocoder_model_path", ctypes.c_char_p),
                ("voice", ctypes.c_char_p),
                ("threads", ctypes.c_int)]


class _VoiceInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p),
                ("sample_rate", ctypes.c_int),
                ("licence", ctypes.c_char_p),
                ("supports_speed", ctypes.c_int)]


class _Options(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t),
                ("speed", ctypes.c_double),
                ("sentence_silence", ctypes.c_double),
                ("markup", ctypes.c_int),
                ("volume", ctypes.c_double),
                ("timings", ctypes.POINTER(ctypes.c_void_p))]


_LOG_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_char_p,
                                 ctypes.c_void_p)
_CHUNK_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ctypes.c_float),
                                   ctypes.c_size_t, ctypes.c_void_p)


def _candidates():
    """(path, named): the install tree's library, the one
    $TOLVAREN_TTS_LIBRARY names (which must load), the system's."""
    here = os.path.dirname(os.path.abspath(__file__))
    lib = os.path.normpath(os.path.join(here, "..", "..", ".."))
    yield os.path.join(lib, _LIBRARY_NAME), False
    for path in sorted(glob.glob(os.path.join(lib, _LIBRARY_NAME + ".*"))):
        yield path, False
    named = os.environ.get("TOLVAREN_TTS_LIBRARY")
    if named:
        yield named, True
    yield ctypes.util.find_library("tolvaren_tts") or _LIBRARY_NAME, False


def _declare(lib):
    c = ctypes
    handle, text = c.c_void_p, c.c_char_p
    signatures = {
        "tolvaren_tts_status_name": (c.c_char_p, [c.c_int]),
        "tolvaren_tts_last_error": (c.c_char_p, []),
        "tolvaren_tts_version": (c.c_char_p, []),
        "tolvaren_tts_create": (c.c_int, [c.POINTER(_Config),
                                          c.POINTER(handle)]),
        "tolvaren_tts_destroy": (c.c_int, [handle]),
        "tolvaren_tts_synthesize": (c.c_int, [
            handle, text, c.POINTER(_Options),
            c.POINTER(c.POINTER(c.c_float)), c.POINTER(c.c_size_t)]),
        "tolvaren_tts_free_samples": (None, [c.POINTER(c.c_float)]),
        "tolvaren_tts_synthesize_stream": (c.c_int, [
            handle, text, c.POINTER(_Options), _CHUNK_CALLBACK, c.c_void_p]),
        "tolvaren_tts_pinyin": (c.c_int, [handle, text,
                                          c.POINTER(c.c_void_p)]),
        "tolvaren_tts_free_string": (None, [c.c_void_p]),
        "tolvaren_tts_sample_rate": (c.c_int, [handle]),
        "tolvaren_tts_supports_speed": (c.c_int, [handle]),
        "tolvaren_tts_write_wav": (c.c_int, [
            text, c.POINTER(c.c_float), c.c_size_t, c.c_int, c.c_int]),
        "tolvaren_tts_set_log_callback": (c.c_int, [
            _LOG_CALLBACK, c.c_void_p, c.c_int]),
        "tolvaren_tts_list_voices": (c.c_int, [
            c.POINTER(_Config), c.POINTER(c.POINTER(_VoiceInfo)),
            c.POINTER(c.c_size_t)]),
        "tolvaren_tts_free_voices": (None, [c.POINTER(_VoiceInfo),
                                            c.c_size_t]),
    }
    signatures.update(_timings.signatures(c))
    for name, (result, arguments) in signatures.items():
        try:
            function = getattr(lib, name)
        except AttributeError:
            raise OSError(f"{lib._name} is not libtolvaren_tts: it has no "
                          f"{name}") from None
        function.restype = result
        function.argtypes = arguments
    return lib


def _load():
    tried = []
    for path, named in _candidates():
        if os.sep in path and not os.path.exists(path) and not named:
            continue
        try:
            return _declare(ctypes.CDLL(path))
        except OSError as error:
            if named:
                raise ImportError(
                    f"cannot load $TOLVAREN_TTS_LIBRARY {path}: {error}"
                ) from None
            tried.append(f"{path}: {error}")
    raise ImportError("cannot load libtolvaren_tts: " + "; ".join(tried))
