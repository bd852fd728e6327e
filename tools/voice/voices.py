"""The voices this recipe makes, as their model files describe them.

Each exported ONNX file carries, beside the numbers of the voice contract
(contract.metadata), what a user of the file needs to know about it: the
voice's name, the teacher its training audio came from, the licence terms
that come with it and the optional inputs the file takes. `metadata(name)`
gives those keys for the voice `name`. A voice may also declare how its
vocoder is exported (`gain_smoothing`, `unvoiced_noise_phase`).
"""
# Raised when the front end's phone ids change meaning (phones.tsv gains
# or loses records): a model trained on other ids says garbage. The C++
# tool refuses a model declaring another version.
PHONE_SET_VERSION = 1

# The attribution the recorded corpus asks to travel with every voice and
# audio set made from it (its README).
RECORDED_ATTRIBUTION = (
    "trained on \"Base Audio Libre De Mots Chinois\", Copyright 2009 Yue Tan, "
    "published by the Shtooka project under CC BY-SA 3.0 US (words); syllables "
    "recorded by Chen Wang, CC BY-SA; collected by the audio-cmn project (Hugo "
    "Lopez, PLIDAM, INALCO; recording software by Nicolas Vion)")

VOICES = {
    "default": {
        "teacher": "recorded Mandarin: one female speaker's words read alone, her "
                   "syllables joined into sentences by this project's intonation "
                   "model (tools/voice/syllable_teacher.py); the vocoder learnt her "
                   "recordings themselves",
        "license": "CC BY-SA 3.0 (the voice files, as the recordings they were "
                   "trained on); " + RECORDED_ATTRIBUTION
                   + "; see resources/models/LICENSE",
    },
    "formant": {
        "teacher": "espeak-ng formant synthesiser (voice cmn-latn-pinyin) "
                   "reading this project's front-end output, its pitch, pauses "
                   "and phrase-final lengthening set by this project's "
                   "intonation model (tools/voice/teacher_prosody.py)",
        "license": "MIT (the project's own licence); training audio from "
                   "espeak-ng (GPL-3.0-or-later), see resources/models/LICENSE",
    },
    "diphone": {
        "teacher": "MBROLA with the cn1 Mandarin diphone database (recorded "
                   "female voice), tones and timing by this project's "
                   "intonation model (tools/voice/intonation_model.json)",
        "license": "distilled from the cn1 diphone database, whose terms "
                   "forbid selling it or a product incorporating it without "
                   "its owner's permission: do not ship this voice in a "
                   "product that is sold; see resources/models/diphone/LICENSE",
        # Its vocoder's gain as trained, unaveraged: on the held-out
        # teacher mels the average costs most of the spectral detail while
        # the pitch heard stays the source's without it; on the acoustic
        # model's mels tones 3 and 5 follow the teacher less closely than
        # with 3 bins (report/diphone_voice/gain_smoothing.md, made by
        # gain_smoothing_eval.py).
        "gain_smoothing": 1,
    },
}


def unvoiced_noise_phase(name):
    """Whether voice `name`'s vocoder is exported with the residual taking
    the noise source's phase in unvoiced frames
    (SourceFilterVocoder.noise_phase; in the graph, not metadata)."""
    return bool(VOICES[name].get("unvoiced_noise_phase", False))


def gain_smoothing(name):
    """Width in bins of the average the exported vocoder applies to its
    source gain, when voice `name` declares one (None: the vocoder's
    SYNTHESIS_GAIN_SMOOTHING). Not metadata: the width is in the graph."""
    return VOICES[name].get("gain_smoothing")


# The outputs after the first that a reader may use or ignore (the
# acoustic model's `durations`, the vocoder's `phase_out`): a file without
# one still loads, its reader then does without.
OPTIONAL_OUTPUTS_KEY = "optional_outputs"


def metadata(name, optional_inputs=(), optional_outputs=()):
    """Metadata keys of voice `name` -> decimal or text strings; the key
    OPTIONAL_OUTPUTS_KEY only when there are such outputs. KeyError for a
    voice this recipe does not know."""
    voice = VOICES[name]
    keys = {"voice": name, "teacher": voice["teacher"],
            "license": voice["license"],
            "phone_set_version": str(PHONE_SET_VERSION),
            "optional_inputs": ",".join(optional_inputs)}
    if optional_outputs:
        keys[OPTIONAL_OUTPUTS_KEY] = ",".join(optional_outputs)
    return keys
