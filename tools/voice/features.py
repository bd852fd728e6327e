"""Audio features shared by the recipe: log-mel spectrogram and F0.

The mel analysis is the voice contract's (contract.py). Frame t is centred
on sample HOP t (reflect padding), and an audio of L samples, L a multiple
of HOP, gives exactly L / HOP frames.
"""
import numpy as np

from .contract import CLAMP, FMAX, FMIN, HOP, MEL_BINS, N_FFT, SAMPLE_RATE, WIN


def hz_to_mel(f):
    """Slaney mel scale: linear below 1 kHz, logarithmic above."""
    f = np.asarray(f, dtype=np.float64)
    f_sp = 200.0 / 3
    mel = f / f_sp
    min_log_hz = 1000.0
    min_log_mel = min_log_hz / f_sp
    logstep = np.log(6.4) / 27.0
    return np.where(f >= min_log_hz,
                    min_log_mel + np.log(np.maximum(f, 1e-10) / min_log_hz) / logstep,
                    mel)


def mel_to_hz(m):
    m = np.asarray(m, dtype=np.float64)
    f_sp = 200.0 / 3
    min_log_hz = 1000.0
    min_log_mel = min_log_hz / f_sp
    logstep = np.log(6.4) / 27.0
    return np.where(m >= min_log_mel,
                    min_log_hz * np.exp(logstep * (m - min_log_mel)),
                    f_sp * m)


def mel_filterbank(sr=SAMPLE_RATE, n_fft=N_FFT, n_mels=MEL_BINS, fmin=FMIN, fmax=FMAX):
    """[n_mels, n_fft // 2 + 1] triangular filters, area-normalised."""
    fft_freqs = np.linspace(0, sr / 2, n_fft // 2 + 1)
    mel_pts = mel_to_hz(np.linspace(hz_to_mel(fmin), hz_to_mel(fmax), n_mels + 2))
    fdiff = np.diff(mel_pts)
    ramps = mel_pts[:, None] - fft_freqs[None, :]
    lower = -ramps[:-2] / fdiff[:-1, None]
    upper = ramps[2:] / fdiff[1:, None]
    weights = np.maximum(0, np.minimum(lower, upper))
    enorm = 2.0 / (mel_pts[2:n_mels + 2] - mel_pts[:n_mels])
    return (weights * enorm[:, None]).astype(np.float32)


def window():
    """Periodic Hann of WIN samples, zero-padded to N_FFT, centred."""
    w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(WIN) / WIN)
    pad = (N_FFT - WIN) // 2
    return np.pad(w, (pad, N_FFT - WIN - pad)).astype(np.float32)


_FB = None
_WINDOW = None


def magnitude(audio):
    """|STFT| frames [L // HOP, N_FFT // 2 + 1] of float audio."""
    audio = np.asarray(audio, dtype=np.float32)
    n_frames = len(audio) // HOP
    padded = np.pad(audio, (N_FFT // 2, N_FFT // 2), mode="reflect")
    idx = np.arange(N_FFT)[None, :] + HOP * np.arange(n_frames)[:, None]
    global _WINDOW
    if _WINDOW is None:
        _WINDOW = window()
    return np.abs(np.fft.rfft(padded[idx] * _WINDOW, axis=1))


def log_mel(audio):
    """Log10 mel spectrogram [L // HOP, MEL_BINS] of float audio at SAMPLE_RATE."""
    global _FB
    if _FB is None:
        _FB = mel_filterbank()
    mel = magnitude(audio) @ _FB.T
    return np.log10(np.maximum(mel, CLAMP)).astype(np.float32)


def f0(audio, fmin=50.0, fmax=250.0, threshold=0.5):
    """YIN-style F0 per mel frame (Hz, 0 where unvoiced), [L // HOP]."""
    audio = np.asarray(audio, dtype=np.float64)
    n_frames = len(audio) // HOP
    max_lag = int(SAMPLE_RATE / fmin)
    min_lag = int(SAMPLE_RATE / fmax)
    frame_len = WIN
    width = frame_len - max_lag
    padded = np.pad(audio, (frame_len // 2, frame_len // 2))
    idx = np.arange(frame_len)[None, :] + HOP * np.arange(n_frames)[:, None]
    x = padded[idx]
    n = 2 * frame_len
    spec_a = np.fft.rfft(x[:, :width], n, axis=1)
    spec_b = np.fft.rfft(x, n, axis=1)
    r = np.fft.irfft(np.conj(spec_a) * spec_b, n, axis=1)[:, :max_lag + 1]
    sq = np.concatenate([np.zeros((n_frames, 1)), np.cumsum(x * x, axis=1)], axis=1)
    lags = np.arange(max_lag + 1)
    e0 = sq[:, width][:, None]
    el = sq[:, lags + width] - sq[:, lags]
    d = np.maximum(e0 + el - 2 * r, 0)
    d[:, 0] = 0
    cum = np.cumsum(d[:, 1:], axis=1)
    cmnd = np.ones_like(d)
    cmnd[:, 1:] = d[:, 1:] * lags[1:] / np.maximum(cum, 1e-12)
    out = np.zeros(n_frames)
    energy = e0[:, 0] / width
    loud = energy > 1e-4 * max(energy.max(), 1e-12)
    for t in range(n_frames):
        if not loud[t]:
            continue
        c = cmnd[t, min_lag:]
        below = np.nonzero(c < threshold)[0]
        if len(below):
            k = below[0]
            while k + 1 < len(c) and c[k + 1] < c[k]:
                k += 1
        else:
            continue
        lag = k + min_lag
        # Parabolic refinement.
        if 0 < lag < max_lag:
            a, b, cc = cmnd[t, lag - 1], cmnd[t, lag], cmnd[t, lag + 1]
            den = a - 2 * b + cc
            shift = 0.5 * (a - cc) / den if abs(den) > 1e-12 else 0.0
            lag = lag + float(np.clip(shift, -1, 1))
        out[t] = SAMPLE_RATE / lag
    return repair_jumps(out, cmnd, min_lag, max_lag).astype(np.float32)


def repair_jumps(f0_hz, cmnd, min_lag, max_lag, reach=3, tolerance=0.1, accept=0.7):
    """Second pass over a YIN track against its own neighbourhood.

    The first dip below the threshold is sometimes a dip at 2/3 or 3/4 of
    the period (or a multiple of it): a few frames jump 30-50% away from a
    contour that a voice moves by a few percent per frame at most. Each
    voiced frame is compared with the median log F0 of the voiced frames
    within `reach` frames on either side (itself included); when it lies
    more than `tolerance` (in log units) away, it is read again at the
    deepest dip of its CMND row within 10% of the median's lag, or made
    unvoiced when that dip is not below `accept`. A steady glide keeps its
    values, since each frame is the median of a monotonic neighbourhood.
    f0_hz [T] (0 = unvoiced), cmnd [T, max_lag + 1] -> repaired copy."""
    f0_hz = np.asarray(f0_hz, dtype=np.float64)
    voiced = f0_hz > 0
    log_f0 = np.log(np.where(voiced, f0_hz, 1.0))
    out = f0_hz.copy()
    n = len(f0_hz)
    for t in np.nonzero(voiced)[0]:
        lo, hi = max(0, t - reach), min(n, t + reach + 1)
        near = log_f0[lo:hi][voiced[lo:hi]]
        if len(near) < 3:
            continue
        ref = float(np.median(near))
        if abs(log_f0[t] - ref) <= tolerance:
            continue
        ref_lag = SAMPLE_RATE / np.exp(ref)
        a = max(min_lag, int(np.floor(ref_lag * 0.9)))
        b = min(max_lag - 1, int(np.ceil(ref_lag * 1.1)))
        if b < a:
            out[t] = 0.0
            continue
        row = cmnd[t]
        k = a + int(np.argmin(row[a:b + 1]))
        if row[k] >= accept:
            out[t] = 0.0
            continue
        lag = float(k)
        if 0 < k < max_lag:
            den = row[k - 1] - 2 * row[k] + row[k + 1]
            if abs(den) > 1e-12:
                lag += float(np.clip(0.5 * (row[k - 1] - row[k + 1]) / den, -1, 1))
        out[t] = SAMPLE_RATE / lag
    return out


def interpolate_log_f0(f0_hz):
    """Log F0 with unvoiced frames filled by linear interpolation."""
    f0_hz = np.asarray(f0_hz, dtype=np.float64)
    voiced = f0_hz > 0
    if not voiced.any():
        return np.zeros(len(f0_hz), dtype=np.float32), voiced
    t = np.arange(len(f0_hz))
    lf = np.interp(t, t[voiced], np.log(f0_hz[voiced]))
    return lf.astype(np.float32), voiced


def spectral_convergence(pred, target):
    """||S_target - S_pred|| / ||S_target|| over the frames both have
    (magnitude STFT of `magnitude`)."""
    m_p = magnitude(pred)
    m_t = magnitude(target)
    n = min(len(m_p), len(m_t))
    return float(np.linalg.norm(m_t[:n] - m_p[:n]) / np.linalg.norm(m_t[:n]))
