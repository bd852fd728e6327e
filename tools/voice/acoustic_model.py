"""The acoustic model of the recipe (PyTorch): FastSpeech2-style, with
duration and pitch predictors.

Its inference path exports to ONNX with the shapes the tool uses: ids [N]
(int64) to a mel [frames, MEL_BINS].
"""
import math

import torch
import torch.nn as nn
import torch.nn.functional as F

from .contract import MEL_BINS, N_PHONES


def sinusoid(positions, dim):
    """Sinusoidal encoding of float positions [..., L] -> [..., L, dim]."""
    half = dim // 2
    freq = torch.exp(torch.arange(half, dtype=torch.float32) *
                     (-math.log(10000.0) / half))
    angle = positions.unsqueeze(-1) * freq
    return torch.cat([torch.sin(angle), torch.cos(angle)], dim=-1)


class SelfAttention(nn.Module):
    def __init__(self, dim, heads):
        super().__init__()
        self.heads = heads
        self.qkv = nn.Linear(dim, 3 * dim)
        self.out = nn.Linear(dim, dim)

    def forward(self, x, pad_mask):
        # x [B, L, D]; pad_mask [B, L] (True = padding)
        b, l, d = x.shape
        h = self.heads
        q, k, v = self.qkv(x).chunk(3, dim=-1)
        q = q.reshape(b, l, h, d // h).transpose(1, 2)
        k = k.reshape(b, l, h, d // h).transpose(1, 2)
        v = v.reshape(b, l, h, d // h).transpose(1, 2)
        scores = torch.matmul(q, k.transpose(2, 3)) / math.sqrt(d // h)
        scores = scores.masked_fill(pad_mask[:, None, None, :], -1e4)
        y = torch.matmul(torch.softmax(scores, dim=-1), v)
        return self.out(y.transpose(1, 2).reshape(b, l, d))


class FFTBlock(nn.Module):
    """Transformer block with a convolutional feed-forward part."""

    def __init__(self, dim, heads, hidden, kernel, dropout):
        super().__init__()
        self.attn = SelfAttention(dim, heads)
        self.norm1 = nn.LayerNorm(dim)
        self.conv1 = nn.Conv1d(dim, hidden, kernel, padding=kernel // 2)
        self.conv2 = nn.Conv1d(hidden, dim, 1)
        self.norm2 = nn.LayerNorm(dim)
        self.drop = nn.Dropout(dropout)

    def forward(self, x, pad_mask):
        keep = (~pad_mask).unsqueeze(-1).to(x.dtype)
        x = self.norm1(x + self.drop(self.attn(x, pad_mask))) * keep
        y = self.conv2(F.relu(self.conv1(x.transpose(1, 2)))).transpose(1, 2)
        return self.norm2(x + self.drop(y)) * keep


class VariancePredictor(nn.Module):
    def __init__(self, dim, hidden, kernel, dropout, layers=2):
        super().__init__()
        self.convs = nn.ModuleList()
        self.norms = nn.ModuleList()
        for k in range(layers):
            self.convs.append(nn.Conv1d(dim if k == 0 else hidden, hidden,
                                        kernel, padding=kernel // 2))
            self.norms.append(nn.LayerNorm(hidden))
        self.drop = nn.Dropout(dropout)
        self.proj = nn.Linear(hidden, 1)

    def forward(self, x, pad_mask):
        keep = (~pad_mask).unsqueeze(-1).to(x.dtype)
        for conv, norm in zip(self.convs, self.norms):
            x = self.drop(norm(F.relu(conv(x.transpose(1, 2)).transpose(1, 2))))
            x = x * keep
        return self.proj(x).squeeze(-1) * keep.squeeze(-1)


def expand_indices(durations):
    """For one utterance: durations [N] (int64, N >= 1) -> (index, start, t).

    t = 0 .. total-1 are the frames, index[t] the phone that frame t belongs
    to and start[t] that phone's first frame. Written with cumsum / arange /
    compare / gather only, so it exports to ONNX with dynamic sizes (t never
    reaches the total, so index stays below N without a clamp)."""
    ends = torch.cumsum(durations, dim=0)
    t = torch.arange(ends[-1], dtype=torch.long)
    index = (t.unsqueeze(1) >= ends.unsqueeze(0)).long().sum(dim=1)
    starts = ends - durations
    return index, torch.gather(starts, 0, index), t


class FastSpeech2(nn.Module):
    def __init__(self, dim=160, heads=2, enc_layers=3, dec_layers=3,
                 ffn_hidden=384, ffn_kernel=3, var_hidden=192, dropout=0.1,
                 pitch_mean=0.0, pitch_std=1.0, pitch_layers=2):
        super().__init__()
        self.dim = dim
        self.embed = nn.Embedding(N_PHONES, dim, padding_idx=0)
        self.encoder = nn.ModuleList(
            FFTBlock(dim, heads, ffn_hidden, ffn_kernel, dropout)
            for _ in range(enc_layers))
        self.duration = VariancePredictor(dim, var_hidden, 3, dropout)
        # Frame position inside its phone: [frac, 1 - frac, sin, cos].
        self.position_in_phone = nn.Linear(4, dim)
        self.pitch = VariancePredictor(dim, var_hidden, 5, dropout, layers=pitch_layers)
        self.pitch_embed = nn.Conv1d(1, dim, 3, padding=1)
        self.decoder = nn.ModuleList(
            FFTBlock(dim, heads, ffn_hidden, ffn_kernel, dropout)
            for _ in range(dec_layers))
        self.mel_out = nn.Linear(dim, MEL_BINS)
        self.register_buffer("pitch_stats",
                             torch.tensor([pitch_mean, pitch_std]))

    def encode(self, ids, pad_mask):
        n = ids.shape[1]
        pos = sinusoid(torch.arange(n, dtype=torch.float32), self.dim)
        x = self.embed(ids) * math.sqrt(self.dim) * 0.1 + pos.unsqueeze(0)
        for block in self.encoder:
            x = block(x, pad_mask)
        return x

    def frame_features(self, frac):
        return self.position_in_phone(torch.stack(
            [frac, 1 - frac, torch.sin(math.pi * frac), torch.cos(math.pi * frac)],
            dim=-1))

    def decode(self, h, pitch, frame_mask):
        # h [B, T, D] expanded encoder output (position features added).
        t = h.shape[1]
        x = h + self.pitch_embed(pitch.unsqueeze(1)).transpose(1, 2)
        x = x + sinusoid(torch.arange(t, dtype=torch.float32), self.dim).unsqueeze(0)
        for block in self.decoder:
            x = block(x, frame_mask)
        return self.mel_out(x)

    def expand(self, ids, durations):
        """Encoder output per frame with teacher durations: (h [B, N, D],
        pad mask [B, N], frames [B, T, D], frame mask [B, T])."""
        pad_mask = ids == 0
        h = self.encode(ids, pad_mask)
        frames = []
        fracs = []
        t_max = int(durations.sum(1).max())
        for b in range(ids.shape[0]):
            n = int((~pad_mask[b]).sum())
            d = durations[b, :n]
            index, start, t = expand_indices(d)
            frac = (t - start).float() / torch.gather(d, 0, index).clamp(min=1).float()
            e = h[b, index]
            pad = t_max - e.shape[0]
            frames.append(F.pad(e, (0, 0, 0, pad)))
            fracs.append(F.pad(frac, (0, pad)))
        e = torch.stack(frames)
        frac = torch.stack(fracs)
        lengths = durations.sum(1)
        frame_mask = torch.arange(t_max)[None, :] >= lengths[:, None]
        e = (e + self.frame_features(frac)) * (~frame_mask).unsqueeze(-1)
        return h, pad_mask, e, frame_mask

    def forward(self, ids, durations, pitch_target):
        """Training pass with teacher durations and pitch.

        ids [B, N] (0 = pad), durations [B, N], pitch_target [B, T]
        (normalised log F0). Returns (mel [B, T, 80], log-duration
        prediction [B, N], pitch prediction [B, T], frame mask [B, T])."""
        h, pad_mask, e, frame_mask = self.expand(ids, durations)
        log_dur = self.duration(h, pad_mask)
        pitch_pred = self.pitch(e, frame_mask)
        mel = self.decode(e, pitch_target, frame_mask)
        return mel, log_dur, pitch_pred, frame_mask

    def infer(self, ids, duration_scale=None):
        """One utterance, ids [N] int64 -> mel [frames, 80].

        A padding id is appended inside: it takes one frame only when the
        input is empty (so an empty input gives one frame), none otherwise.
        duration_scale (float [1]) multiplies every predicted duration
        before rounding (2 speaks half as fast); a phone keeps at least one
        frame."""
        ids = torch.cat([ids, torch.zeros(1, dtype=torch.long)]).unsqueeze(0)
        pad_mask = ids == 0
        h = self.encode(ids, pad_mask)
        log_dur = self.duration(h, pad_mask)[0]
        frames = torch.exp(log_dur) - 1
        if duration_scale is not None:
            frames = frames * duration_scale
        d = torch.clamp(torch.round(frames), min=1).long()
        real = (~pad_mask[0]).long()
        d = d * real
        none = 1 - torch.clamp(d.sum(0, keepdim=True), max=1)
        d = d + none * (1 - real)
        index, start, t = expand_indices(d)
        frac = (t - start).float() / torch.gather(d, 0, index).clamp(min=1).float()
        e = h[0].index_select(0, index).unsqueeze(0)
        e = e + self.frame_features(frac.unsqueeze(0))
        frame_mask = torch.zeros(e.shape[:2], dtype=torch.bool)
        pitch = self.pitch(e, frame_mask)
        mel = self.decode(e, pitch, frame_mask)
        return mel[0], d[:-1], pitch[0]


class AcousticExport(nn.Module):
    """ONNX wrapper: ids [N] -> (mel [frames, 80], durations [N]), the
    durations being the frames each phone gets in the mel."""

    def __init__(self, model):
        super().__init__()
        self.model = model

    def forward(self, ids, duration_scale=None):
        mel, durations, _ = self.model.infer(ids, duration_scale)
        return mel, durations
