"""Renders numbered-tone pinyin with libespeak-ng and returns phone timings.

The library runs synchronously with phoneme events switched on. For every
syllable it reports a WORD event, then PHONEME events whose audio_position
(ms) marks where each phoneme starts; a pause written as a Chinese comma
shows up as the phoneme "_:". A zero-length WORD event closes each utterance.

From these events `align` derives one start time per phone of the front
end's phone sequence: the initial starts at the syllable's WORD event, the
final at the syllable's second phoneme event (or at the WORD event when the
syllable has no initial), a pause at its "_:" event.
"""
import ctypes

LIBRARY = "libespeak-ng.so.1"
VOICE = "cmn-latn-pinyin"
SAMPLE_RATE = 22050

AUDIO_OUTPUT_SYNCHRONOUS = 2
INITIALIZE_PHONEME_EVENTS = 0x0001
CHARS_UTF8 = 1
POS_CHARACTER = 1

EVENT_LIST_TERMINATED = 0
EVENT_WORD = 1
EVENT_PHONEME = 7


class _EventId(ctypes.Union):
    _fields_ = [("number", ctypes.c_int), ("name", ctypes.c_char_p),
                ("string", ctypes.c_char * 8)]


class _Event(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("unique_identifier", ctypes.c_uint),
                ("text_position", ctypes.c_int), ("length", ctypes.c_int),
                ("audio_position", ctypes.c_int), ("sample", ctypes.c_int),
                ("user_data", ctypes.c_void_p), ("id", _EventId)]


_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ctypes.c_short),
                             ctypes.c_int, ctypes.POINTER(_Event))


class Teacher:
    """One libespeak-ng instance (the library is process-global)."""

    def __init__(self, voice=VOICE, rate=None, pitch=None):
        """pitch: (base, range), espeak-ng's own 0-100 settings (50, 50 by
        default)."""
        self.lib = ctypes.CDLL(LIBRARY)
        self.lib.espeak_Initialize.restype = ctypes.c_int
        sr = self.lib.espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 500, None,
                                        INITIALIZE_PHONEME_EVENTS)
        if sr <= 0:
            raise RuntimeError("espeak_Initialize failed")
        self.sample_rate = sr
        if self.lib.espeak_SetVoiceByName(voice.encode()) != 0:
            raise RuntimeError(f"voice {voice} not found")
        if rate is not None:
            self.lib.espeak_SetParameter(1, int(rate), 0)  # espeakRATE
        if pitch is not None:
            self.lib.espeak_SetParameter(3, int(pitch[0]), 0)  # espeakPITCH
            self.lib.espeak_SetParameter(4, int(pitch[1]), 0)  # espeakRANGE
        self._samples = []
        self._events = []
        self._callback = _CALLBACK(self._on_audio)
        self.lib.espeak_SetSynthCallback(self._callback)

    def _on_audio(self, wav, count, events):
        if count > 0:
            self._samples.append(ctypes.string_at(wav, count * 2))
        i = 0
        while events[i].type != EVENT_LIST_TERMINATED:
            e = events[i]
            if e.type == EVENT_WORD:
                self._events.append(("word", e.audio_position, e.length))
            elif e.type == EVENT_PHONEME:
                self._events.append(
                    ("phoneme", e.audio_position, e.id.string.decode("latin-1")))
            i += 1
        return 0

    def render(self, text):
        """Returns (int16 bytes, events) for one utterance of pinyin."""
        self._samples = []
        self._events = []
        data = text.encode("utf-8") + b"\0"
        rc = self.lib.espeak_Synth(data, len(data), 0, POS_CHARACTER, 0,
                                   CHARS_UTF8, None, None)
        if rc != 0:
            raise RuntimeError(f"espeak_Synth failed ({rc})")
        self.lib.espeak_Synchronize()
        return b"".join(self._samples), list(self._events)


def syllables_of(phones, initials):
    """Groups a phone list into units: ('sp',) or (initial?, final)."""
    units = []
    i = 0
    while i < len(phones):
        p = phones[i]
        if p == "sp":
            units.append(("sp",))
            i += 1
        elif p in initials:
            if i + 1 >= len(phones) or phones[i + 1] == "sp" or \
                    phones[i + 1] in initials:
                raise ValueError(f"initial {p} without a final")
            units.append((p, phones[i + 1]))
            i += 2
        else:
            units.append((p,))
            i += 1
    return units


def teacher_text(units, pinyin):
    """Text for the teacher: the pinyin syllables, a Chinese comma per pause."""
    words = []
    k = 0
    for unit in units:
        if unit == ("sp",):
            words.append("，")
        else:
            if k >= len(pinyin):
                raise ValueError("fewer pinyin syllables than phone syllables")
            words.append(pinyin[k])
            k += 1
    if k != len(pinyin):
        raise ValueError("more pinyin syllables than phone syllables")
    return " ".join(words)


def align(units, events):
    """Start time (ms) of every phone of `units`, from the teacher's events.

    Raises ValueError when the events do not match the units (the caller
    then skips the utterance)."""
    # Split the event stream into per-word groups; pauses are "_:" phonemes
    # that may fall inside any group.
    words = []
    pauses = []
    for kind, pos, val in events:
        if kind == "word":
            words.append([pos, val, []])
        elif kind == "phoneme":
            if val.startswith("_"):
                if val == "_:":
                    pauses.append(pos)
            elif words:
                words[-1][2].append(pos)
    # Drop the zero-length closing WORD event(s).
    words = [w for w in words if w[1] > 0]
    n_syl = sum(1 for u in units if u != ("sp",))
    n_sp = len(units) - n_syl
    if len(words) != n_syl:
        raise ValueError(f"{len(words)} word events for {n_syl} syllables")
    starts = []
    w = 0
    p = 0
    last = 0
    for unit in units:
        if unit == ("sp",):
            # The pause event after the previous syllable's start.
            while p < len(pauses) and pauses[p] < last:
                p += 1
            if p >= len(pauses):
                # Pause not rendered (e.g. sentence-final): zero-length pause
                # at the next word, fixed below.
                starts.append(None)
            else:
                starts.append(pauses[p])
                last = pauses[p]
                p += 1
            continue
        pos, _, phon = words[w]
        w += 1
        pos = max(pos, last)
        if len(unit) == 2:
            if len(phon) < 2:
                raise ValueError("syllable with an initial has < 2 phonemes")
            second = max(phon[1], pos)
            starts.extend([pos, second])
            last = second
        else:
            starts.append(pos)
            last = pos
    # Pauses that had no event: give them the next phone's start.
    for i in range(len(starts) - 1, -1, -1):
        if starts[i] is None:
            starts[i] = starts[i + 1] if i + 1 < len(starts) else None
    return starts, n_sp


def durations_in_frames(starts, total_frames, frame_ms):
    """Frame counts per phone from start times; they sum to total_frames.

    The first phone also takes any leading silence; a phone whose start is
    unknown (None, only possible at the end) takes what is left."""
    bounds = []
    for s in starts:
        if s is None:
            bounds.append(total_frames)
        else:
            bounds.append(min(total_frames, int(round(s / frame_ms))))
    bounds[0] = 0
    bounds.append(total_frames)
    for i in range(1, len(bounds)):
        bounds[i] = max(bounds[i], bounds[i - 1])
    return [bounds[i + 1] - bounds[i] for i in range(len(bounds) - 1)]
