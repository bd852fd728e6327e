"""The voice contract: the numbers the front end's ids, the acoustic model,
the vocoder and the C++ tool agree on. Every part of the recipe takes them
from here, and the ONNX export writes the ones the tool reads into each
model file's metadata (`stamp`).

Audio: mono, SAMPLE_RATE samples per second, one mel frame per HOP samples
(FRAME_MS milliseconds): the acoustic model's phone durations count these
frames, and the vocoder turns T frames into HOP T samples.

Mel: MEL_BINS bins from FMIN to FMAX Hz on the Slaney mel scale with Slaney
(area) normalisation, over the magnitude spectrum of an N_FFT-point DFT
with a periodic Hann window of WIN samples centred in it; log10 after
clamping at CLAMP.

Phone ids: the front end's combined-mode ids 1..N_PHONES-1; 0 pads.
"""
SAMPLE_RATE = 24000
HOP = 300
FRAME_MS = 1000.0 * HOP / SAMPLE_RATE  # 12.5
MEL_BINS = 80
N_FFT = 2048
WIN = 1200
FMIN = 80.0
FMAX = 7600.0
CLAMP = 1e-5
N_PHONES = 403

# Raised when a number above changes, so that a reader of a model file can
# tell the contract it was trained under.
VERSION = 1


def metadata():
    """The contract as an ONNX file carries it: key -> decimal string."""
    return {"sample_rate": str(SAMPLE_RATE), "hop_samples": str(HOP),
            "mel_bins": str(MEL_BINS), "voice_contract_version": str(VERSION)}


def stamp(model, extra=None):
    """Writes `metadata()` and the `extra` keys into an onnx ModelProto's
    metadata_props in place: entries with the same keys are replaced,
    other entries kept."""
    wanted = metadata()
    wanted.update(extra or {})
    for prop in model.metadata_props:
        if prop.key in wanted:
            prop.value = wanted.pop(prop.key)
    for key, value in wanted.items():
        entry = model.metadata_props.add()
        entry.key, entry.value = key, value
    return model
