"""The vocoders of the recipe (PyTorch): an iSTFT vocoder and the
source-filter vocoder the default voice ships.

Both have an inference path that exports to ONNX with the shapes the tool
uses: a mel window [T, MEL_BINS] to audio [1, HOP T].
"""
import math

import torch
import torch.nn as nn
import torch.nn.functional as F

from .contract import HOP, MEL_BINS, SAMPLE_RATE


class ConvNeXtBlock(nn.Module):
    def __init__(self, dim, hidden, scale=0.1):
        super().__init__()
        self.dw = nn.Conv1d(dim, dim, 7, padding=3, groups=dim)
        self.norm = nn.LayerNorm(dim)
        self.pw1 = nn.Linear(dim, hidden)
        self.pw2 = nn.Linear(hidden, dim)
        self.gamma = nn.Parameter(torch.full((dim,), scale))

    def forward(self, x):
        y = self.dw(x).transpose(1, 2)
        y = self.pw2(F.gelu(self.pw1(self.norm(y))))
        return x + (self.gamma * y).transpose(1, 2)


def istft_basis(n_fft, win):
    """ConvTranspose1d weights [2 (n_fft/2+1), 1, n_fft] of a windowed
    inverse real DFT (real parts first, then imaginary parts)."""
    bins = n_fft // 2 + 1
    n = torch.arange(n_fft, dtype=torch.float64)
    k = torch.arange(bins, dtype=torch.float64)
    angle = 2 * math.pi * k[:, None] * n[None, :] / n_fft
    c = torch.full((bins, 1), 2.0, dtype=torch.float64)
    c[0] = 1.0
    c[-1] = 1.0
    w = torch.zeros(n_fft, dtype=torch.float64)
    off = (n_fft - win) // 2
    w[off:off + win] = 0.5 - 0.5 * torch.cos(
        2 * math.pi * torch.arange(win, dtype=torch.float64) / win)
    # Overlap-added squared Hann at hop = win / 4 sums to 1.5.
    real = c * torch.cos(angle) * w / n_fft / 1.5
    imag = -c * torch.sin(angle) * w / n_fft / 1.5
    return torch.cat([real, imag]).unsqueeze(1).float()


class Vocoder(nn.Module):
    """ConvNeXt stack -> log magnitude and phase per frame -> iSTFT."""

    def __init__(self, dim=192, hidden=512, layers=6, n_fft=1200, win=1200):
        super().__init__()
        self.n_fft = n_fft
        self.bins = n_fft // 2 + 1
        self.inp = nn.Conv1d(MEL_BINS, dim, 7, padding=3)
        self.norm_in = nn.LayerNorm(dim)
        self.blocks = nn.ModuleList(ConvNeXtBlock(dim, hidden)
                                    for _ in range(layers))
        self.norm_out = nn.LayerNorm(dim)
        self.head = nn.Linear(dim, 2 * self.bins)
        self.register_buffer("basis", istft_basis(n_fft, win))

    def forward(self, mel):
        """mel [B, T, 80] -> audio [B, 300 T]."""
        t = mel.shape[1]
        x = self.inp(mel.transpose(1, 2))
        x = self.norm_in(x.transpose(1, 2)).transpose(1, 2)
        for block in self.blocks:
            x = block(x)
        x = self.head(self.norm_out(x.transpose(1, 2)))  # [B, T, 2 bins]
        logmag, phase = x[..., :self.bins], x[..., self.bins:]
        mag = torch.exp(torch.clamp(logmag, max=6.0))
        spectrum = torch.cat([mag * torch.cos(phase), mag * torch.sin(phase)], dim=-1)
        audio = F.conv_transpose1d(spectrum.transpose(1, 2), self.basis, stride=HOP)
        start = self.n_fft // 2
        return audio[:, 0, start:start + HOP * t]


class VocoderExport(nn.Module):
    """ONNX wrapper: mel [T, 80] -> audio [1, 300 T]."""

    def __init__(self, model):
        super().__init__()
        self.model = model

    def forward(self, mel):
        out = self.model(mel.unsqueeze(0))
        return out[0] if isinstance(out, tuple) else out


class SpectralExport(nn.Module):
    """ONNX wrapper of a source-filter vocoder whose transforms the tool
    does: (mel [T, 80], phase_in [1], phase_frame int64 [1]) -> (spectrum
    [T, 2 bins], source [300 T + n_fft], source_gain [T, bins], phase_out
    [T + 1]); see SourceFilterVocoder.parts."""

    def __init__(self, model):
        super().__init__()
        self.model = model

    def forward(self, mel, phase_in, phase_frame):
        spectrum, pulses, gain, _, phase = self.model.parts(
            mel.unsqueeze(0), phase_in=phase_in.view(1, 1), phase_frame=phase_frame)
        return spectrum[0], pulses[0, 0], gain[0], phase[0]


def stft_basis(n_fft, win):
    """Conv1d weights [2 (n_fft/2+1), 1, n_fft] of a Hann-windowed real DFT
    (real parts first, then imaginary parts), the analysis side of
    istft_basis."""
    bins = n_fft // 2 + 1
    n = torch.arange(n_fft, dtype=torch.float64)
    k = torch.arange(bins, dtype=torch.float64)
    angle = 2 * math.pi * k[:, None] * n[None, :] / n_fft
    w = torch.zeros(n_fft, dtype=torch.float64)
    off = (n_fft - win) // 2
    w[off:off + win] = 0.5 - 0.5 * torch.cos(
        2 * math.pi * torch.arange(win, dtype=torch.float64) / win)
    return torch.cat([torch.cos(angle) * w, -torch.sin(angle) * w]).unsqueeze(1).float()


# Gain smoothing of the source-filter vocoder at synthesis (bins).
SYNTHESIS_GAIN_SMOOTHING = 9
# The voicing's logit is scaled by this before the sigmoid: a steep switch,
# so that unvoiced frames get no pulses at all. Trained at 1, the voicing
# of unvoiced frames stayed near 0.1, and a tenth of a pulse train over a
# fricative is still a click train (band kurtosis 83 against the teacher's
# 6); the steep switch removes it, and the noise gain is then trained to
# carry those frames.
VOICING_SHARPNESS = 4.0
# The fixed noise of inference: frames of its STFT, and the seed it is drawn with.
NOISE_FRAMES = 256
NOISE_SEED = 20261209


class SourceFilterVocoder(nn.Module):
    """Source-filter vocoder in the STFT domain.

    The ConvNeXt stack reads the mel and predicts per frame: log F0, a
    log gain per STFT bin for a periodic source (smoothed across bins, see
    `smooth_across_bins`), and a residual STFT (log
    magnitude and phase) for what is not periodic. The source is a
    band-limited pulse train (cosine harmonics up to 0.45 x sample rate,
    closed form) whose running phase follows F0 sample by sample; it is
    analysed with a Hann-windowed DFT, scaled bin by bin by the (real,
    non-negative) gain, added to the residual and turned back into samples
    with the inverse STFT of `Vocoder`. Because the gain is zero-phase, the
    periodicity and so the pitch contour of the output are those of the
    source: the tones follow the predicted F0. In training the teacher's F0
    may replace the predicted one.
    """

    def __init__(self, dim=192, hidden=512, layers=6, n_fft=1200, win=1200,
                 sample_rate=SAMPLE_RATE, log_f0_centre=4.5, gain_smoothing=1,
                 noise=False):
        super().__init__()
        self.noise = noise
        self.unvoiced_noise_phase = False
        self.n_fft = n_fft
        self.bins = n_fft // 2 + 1
        self.sample_rate = sample_rate
        self.log_f0_centre = log_f0_centre
        self.inp = nn.Conv1d(MEL_BINS, dim, 7, padding=3)
        self.norm_in = nn.LayerNorm(dim)
        self.blocks = nn.ModuleList(ConvNeXtBlock(dim, hidden)
                                    for _ in range(layers))
        self.norm_out = nn.LayerNorm(dim)
        self.f0_head = nn.Linear(dim, 1)
        self.gain_head = nn.Linear(dim, self.bins)
        self.head = nn.Linear(dim, 2 * self.bins)
        nn.init.constant_(self.gain_head.bias, -3.0)
        nn.init.constant_(self.head.bias[:self.bins], -4.0)
        self.register_buffer("basis", istft_basis(n_fft, win))
        self.set_gain_smoothing(gain_smoothing)
        # The analysis DFT is the synthesis basis scaled row by row; kept as
        # that scale only (not saved), so the ONNX file holds one basis.
        scale = torch.full((self.bins,), n_fft * 1.5 / 2)
        scale[0] = n_fft * 1.5
        scale[-1] = n_fft * 1.5
        self.register_buffer("analysis_scale", torch.cat([scale, scale]).view(-1, 1, 1),
                             persistent=False)
        if noise:
            # Voicing (0..1 per frame) switches the pulses off where the
            # mel is unvoiced; a noise source with its own gain per bin
            # sounds there instead (fricatives, aspiration, breath).
            self.voicing_head = nn.Linear(dim, 1)
            self.noise_head = nn.Linear(dim, self.bins)
            nn.init.constant_(self.voicing_head.bias, 2.0)
            nn.init.constant_(self.noise_head.bias, -6.0)
            g = torch.Generator().manual_seed(NOISE_SEED)
            with torch.no_grad():
                noise = torch.randn(1, 1, HOP * NOISE_FRAMES + n_fft, generator=g)
                table = F.conv1d(noise, self.analysis(), stride=HOP)[0, :, :NOISE_FRAMES].t()
            self.register_buffer("noise_table", table.contiguous(), persistent=False)

    def analysis(self):
        return self.basis * self.analysis_scale

    def set_gain_smoothing(self, width):
        """Width (odd, in bins) of `smooth_across_bins`; 1 turns it off."""
        self.gain_smoothing = max(int(width), 1)
        # Bins under the window at each bin (fewer at the edges).
        count = F.conv1d(torch.ones(1, 1, self.bins), torch.ones(1, 1, self.gain_smoothing),
                         padding=self.gain_smoothing // 2)
        self.register_buffer("smoothing_count", count.view(1, 1, -1), persistent=False)

    def smooth_across_bins(self, gain):
        """Moving average of the gain over `gain_smoothing` neighbouring
        bins (fewer at the edges), [B, T, bins] -> same shape. A gain free
        to vary bin by bin can carve its own harmonic comb into the source
        and so move the pitch heard away from the source's F0; averaged over
        a few harmonics' width (9 bins = 180 Hz) it can only shape the
        spectral envelope, as a vocal tract filter does.

        Training runs without it (width 1) and synthesis with it
        (SYNTHESIS_GAIN_SMOOTHING, set by export.py): trained under the
        average, the network learns to push a comb through the box
        filter's side lobes (on the held-out sentences the syllable slopes
        of its audio, rendered with the teacher's own F0, correlated 0.85
        with the teacher's), while a gain trained free and averaged
        afterwards keeps the source's pitch (0.97) at a small cost in
        spectral detail (mel L1 0.133 -> 0.149)."""
        if self.gain_smoothing <= 1:
            return gain
        b, t, n = gain.shape
        kernel = torch.ones(1, 1, self.gain_smoothing)
        summed = F.conv1d(gain.reshape(b * t, 1, n), kernel,
                          padding=self.gain_smoothing // 2)
        return (summed / self.smoothing_count).reshape(b, t, n)

    def set_unvoiced_noise_phase(self, on):
        """Whether the residual STFT takes the white noise's phase where the
        frame is unvoiced (see `noise_phase`); off unless set, and never
        for a vocoder without a noise source."""
        self.unvoiced_noise_phase = bool(on) and self.noise

    def noise_phase(self, residual, mag, white, voicing):
        """The residual [B, T, 2 bins] (real parts, then imaginary; its
        magnitude `mag` [B, T, bins]) with the phase of `white` (the noise
        source's STFT) mixed in by 1 - voicing. A trained network may make
        its fricatives in the residual (the formant-taught voice's did:
        99.8 % of their energy), whose phase it predicts from the mel, so
        they come out as a fixed waveform per frame, not as noise; a random
        phase under the same magnitudes keeps their spectrum."""
        bins = self.bins
        wr, wi = white[..., :bins], white[..., bins:]
        unit = torch.rsqrt(wr * wr + wi * wi + 1e-12)
        scale = torch.cat([mag * unit, mag * unit], dim=-1)
        v = voicing.unsqueeze(-1)
        return v * residual + (1 - v) * scale * white

    def voicing(self, features):
        """Voicing per frame in [0, 1] from the stack's output [B, T, D]."""
        return torch.sigmoid(VOICING_SHARPNESS * self.voicing_head(features)).squeeze(-1)

    def load_state_dict(self, state, strict=True):
        state = dict(state)
        state.pop("analysis", None)  # checkpoints of the first version
        return super().load_state_dict(state, strict)

    def source(self, f0_hz, phase_in=None, phase_frame=None):
        """Pulse train for f0_hz [B, T], covering samples -n_fft/2 ..
        300 T + n_fft/2 (edge frames repeated) -> ([B, 1, 300 T + n_fft],
        phase [B, T + 1]: the running phase in cycles, in [0, 1), at the
        start of each frame and at the end of the last).

        Without phase_in the phase is 0 at sample -n_fft/2. With it, the
        phase at the start of frame phase_frame (int64 [1], -n_fft/(2 HOP)
        .. T) is phase_in (cycles [1]): a caller that vocodes a long
        spectrogram window by window hands each window the phase the one
        before it reached at their join, and the harmonics run on across the
        join instead of restarting."""
        half = self.n_fft // 2
        f0_up = F.interpolate(f0_hz.unsqueeze(1), scale_factor=float(HOP),
                              mode="linear", align_corners=False)
        f0_up = F.pad(f0_up, (half, half), mode="replicate")
        # Running phase in cycles: whole frames summed first, fractional part
        # kept, then samples within each frame, so float32 rounding stays
        # at the level of one frame's sum instead of the whole window's.
        per_sample = (f0_up / self.sample_rate).reshape(f0_up.shape[0], -1, HOP)
        frame_cycles = per_sample.sum(dim=2)
        start = torch.cumsum(frame_cycles, dim=1) - frame_cycles
        lead = half // HOP  # padded frames before frame 0
        if phase_in is not None:
            # 0 - 0 at the default reference (frame -lead), so the default
            # leaves every sample exactly as without a phase.
            ref = torch.index_select(start, 1, phase_frame + lead)
            start = start + (phase_in - ref)
        start = start - torch.floor(start)
        phase = start[:, lead:start.shape[1] - lead + 1]
        cycles = (start.unsqueeze(2) + torch.cumsum(per_sample, dim=2)).reshape(
            f0_up.shape[0], 1, -1)
        # Phase in [-pi, pi): small where the closed form divides by a
        # small number, so float32 stays accurate there.
        theta = 2 * math.pi * (cycles - torch.floor(cycles + 0.5))
        # Harmonics up to 0.45 x rate; the count steps by one when F0 crosses
        # a threshold (a harmonic near 10.8 kHz appears or goes, which the
        # learned gains keep quiet for a voice with little energy there).
        k = torch.floor(0.45 * self.sample_rate / f0_up)
        half_sin = torch.sin(0.5 * theta)
        safe = torch.where(half_sin.abs() < 1e-4, torch.ones_like(half_sin), half_sin)
        pulses = torch.sin((k + 0.5) * theta) / (2 * safe) - 0.5
        pulses = torch.where(half_sin.abs() < 1e-4, k, pulses)
        return pulses / torch.sqrt(k), phase

    def noise_spectrum(self, batch, frames):
        """STFT [batch, frames, 2 bins] of white noise (unit variance).

        Training draws fresh noise every call. Inference (eval mode, the
        exported graph) reads frames of one fixed noise signal's STFT,
        NOISE_FRAMES long, repeated for longer windows: the output is then
        the same on every run, and no random generator is in the graph."""
        if self.training:
            noise = torch.randn(batch, 1, HOP * frames + self.n_fft)
            return F.conv1d(noise, self.analysis(), stride=HOP)[:, :, :frames].transpose(1, 2)
        index = torch.remainder(torch.arange(frames), NOISE_FRAMES)
        return torch.index_select(self.noise_table, 0, index).unsqueeze(0).expand(batch, -1, -1)

    def forward(self, mel, f0_hz=None):
        """mel [B, T, 80] -> (audio [B, 300 T], predicted log F0 [B, T])."""
        audio, log_f0, _ = self.synthesize(mel, f0_hz)
        return audio, log_f0

    def synthesize(self, mel, f0_hz=None, phase_in=None, phase_frame=None):
        """forward() with the source's phase (see `source`): -> (audio,
        log F0, phase [B, T + 1])."""
        spectrum, pulses, source_gain, log_f0, phase = self.parts(
            mel, f0_hz, phase_in, phase_frame)
        t = mel.shape[1]
        src = F.conv1d(pulses, self.analysis(), stride=HOP)
        src = src[:, :, :t].transpose(1, 2)  # [B, T, 2 bins]
        spectrum = spectrum + torch.cat([source_gain, source_gain], dim=-1) * src
        return self.inverse(spectrum), log_f0, phase

    def inverse(self, spectrum):
        """Audio [B, 300 T] of an STFT [B, T, 2 bins] (real parts, then
        imaginary parts): Hann-windowed inverse DFT, overlap-added."""
        audio = F.conv_transpose1d(spectrum.transpose(1, 2), self.basis, stride=HOP)
        start = self.n_fft // 2
        return audio[:, 0, start:start + HOP * spectrum.shape[1]]

    def parts(self, mel, f0_hz=None, phase_in=None, phase_frame=None):
        """What the network predicts, before the transforms: (spectrum
        [B, T, 2 bins] of all but the periodic source, the source's pulse
        train [B, 1, 300 T + n_fft] (see `source`), the real gain per bin
        [B, T, bins] its STFT is scaled by, log F0 [B, T], phase [B, T + 1]).
        The audio is `inverse(spectrum + gain * STFT(pulses))`: the
        exported graph stops here and the tool does the two transforms with
        an FFT, which costs a small fraction of these dense DFTs."""
        x = self.inp(mel.transpose(1, 2))
        x = self.norm_in(x.transpose(1, 2)).transpose(1, 2)
        for block in self.blocks:
            x = block(x)
        x = self.norm_out(x.transpose(1, 2))  # [B, T, D]
        log_f0 = self.log_f0_centre + self.f0_head(x).squeeze(-1)
        if f0_hz is None:
            f0_hz = torch.exp(log_f0)
        f0_hz = torch.clamp(f0_hz.detach(), min=30.0, max=1000.0)
        pulses, phase = self.source(f0_hz, phase_in, phase_frame)
        gain = self.smooth_across_bins(torch.exp(torch.clamp(self.gain_head(x), max=6.0)))
        y = self.head(x)
        logmag, ph = y[..., :self.bins], y[..., self.bins:]
        mag = torch.exp(torch.clamp(logmag, max=6.0))
        spectrum = torch.cat([mag * torch.cos(ph), mag * torch.sin(ph)], dim=-1)
        if self.noise:
            voicing = self.voicing(x)
            self.last_voicing = voicing  # the trainer's voicing loss reads it
            noise_gain = torch.exp(torch.clamp(self.noise_head(x), max=6.0))
            noise_gain = torch.cat([noise_gain, noise_gain], dim=-1)
            white = self.noise_spectrum(x.shape[0], mel.shape[1])
            if self.unvoiced_noise_phase:
                spectrum = self.noise_phase(spectrum, mag, white, voicing)
            noise = noise_gain * white
            self.last_noise = noise  # what of `spectrum` is the noise source's
            spectrum = spectrum + noise
            gain = voicing.unsqueeze(-1) * gain
        return spectrum, pulses, gain, log_f0, phase
