"""Word and syllable timings: the C interface's timings object read into
named tuples, then freed."""

import collections
import ctypes

WordTiming = collections.namedtuple(
    "WordTiming", "text pinyin start_sample end_sample pause syllables")
WordTiming.__doc__ = """One word as the segmenter found it, or a pause
(pause True, no syllables, text "" or the marks it stands for). text is as
spoken (after number reading), pinyin numbered-tone with tone changes
applied ("ni2 hao3"); samples are half-open positions in the audio."""

SyllableTiming = collections.namedtuple(
    "SyllableTiming", "text pinyin start_sample end_sample")
SyllableTiming.__doc__ = "One syllable of a word: its characters and pinyin."


class WordStruct(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t),
                ("text", ctypes.c_char_p),
                ("pinyin", ctypes.c_char_p),
                ("start_sample", ctypes.c_size_t),
                ("end_sample", ctypes.c_size_t),
                ("pause", ctypes.c_int),
                ("syllable_count", ctypes.c_size_t)]


class SyllableStruct(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t),
                ("text", ctypes.c_char_p),
                ("pinyin", ctypes.c_char_p),
                ("start_sample", ctypes.c_size_t),
                ("end_sample", ctypes.c_size_t)]


def signatures(c):
    timings = c.c_void_p
    return {
        "tolvaren_tts_timings_count": (c.c_size_t, [timings]),
        "tolvaren_tts_timings_word": (c.c_int, [timings, c.c_size_t,
                                                c.POINTER(WordStruct)]),
        "tolvaren_tts_timings_syllable": (c.c_int, [
            timings, c.c_size_t, c.c_size_t, c.POINTER(SyllableStruct)]),
        "tolvaren_tts_free_timings": (None, [timings]),
    }


def take(lib, check, timings):
    """The entries of the C timings `timings` (a c_void_p), which it frees."""
    try:
        words = []
        for i in range(lib.tolvaren_tts_timings_count(timings)):
            word = WordStruct(ctypes.sizeof(WordStruct))
            check(lib.tolvaren_tts_timings_word(timings, i,
                                                ctypes.byref(word)))
            syllables = []
            for j in range(word.syllable_count):
                syllable = SyllableStruct(ctypes.sizeof(SyllableStruct))
                check(lib.tolvaren_tts_timings_syllable(
                    timings, i, j, ctypes.byref(syllable)))
                syllables.append(SyllableTiming(
                    syllable.text.decode(), syllable.pinyin.decode(),
                    syllable.start_sample, syllable.end_sample))
            words.append(WordTiming(word.text.decode(), word.pinyin.decode(),
                                    word.start_sample, word.end_sample,
                                    bool(word.pause), syllables))
        return words
    finally:
        lib.tolvaren_tts_free_timings(timings)
