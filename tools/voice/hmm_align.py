"""Phone durations of recorded speech by a left-to-right model trained on
the recordings themselves.

Each phone is a few states in a row (STATES: an initial two, a final three,
the pause one), each state a diagonal Gaussian over the normalised log-mel
frame, shared by every occurrence of the phone without its tone (the tones
differ in pitch, which the mel barely shows, and pooling them gives the
rarer tones' finals enough frames). Training is Viterbi training from a flat
start: the frames are spread evenly over the states, every state's Gaussian
is estimated from its frames (a final without an initial has states apart
from the same final after one), the best monotonic path through the states
(every state at least one frame, no skips) is searched again, and so on.
"""
import numpy as np

STATES = {"initial": 2, "final": 3, "pause": 1}
VAR_FLOOR = 0.01


def base_phone(phone):
    """The phone without its tone digit."""
    return phone[:-1] if phone[-1:] in "12345" else phone


def kind_of(phone, initials):
    if phone == "sp":
        return "pause"
    return "initial" if phone in initials else "final"


class StateTable:
    """State ids of every toneless phone, grown as phones are met."""

    def __init__(self, initials):
        self.initials = initials
        self.first = {}
        self.count = 0

    def states(self, phones):
        """(state ids of an utterance, states per phone)."""
        ids, per_phone = [], []
        previous = None
        for p in phones:
            kind = kind_of(p, self.initials)
            base = base_phone(p)
            if kind == "final" and previous != "initial":
                # Without an initial a final starts in its glide (w, y, yu)
                # or a glottal onset: states of its own.
                base = "0" + base
            previous = kind
            n = STATES[kind]
            if base not in self.first:
                self.first[base] = self.count
                self.count += n
            ids.extend(range(self.first[base], self.first[base] + n))
            per_phone.append(n)
        return np.array(ids, dtype=np.int64), per_phone


def log_likelihood(frames, means, log_vars):
    """[S, T] log densities (constant dropped) of every frame under every
    state, for the states `means` [S, D], `log_vars` [S, D]."""
    inv = np.exp(-log_vars)
    d = frames[None, :, :] - means[:, None, :]
    return -0.5 * ((d * d) * inv[:, None, :]).sum(-1) - 0.5 * log_vars.sum(-1)[:, None]


def best_path(ll):
    """Monotonic alignment of S states to T >= S frames maximising the
    summed ll [S, T]: every state holds at least one frame and the path
    moves to the next state or stays. Returns frames per state [S]."""
    s_count, t_count = ll.shape
    if t_count < s_count:
        raise ValueError("fewer frames than states")
    score = np.full(s_count, -np.inf)
    score[0] = ll[0, 0]
    came = np.zeros((t_count, s_count), dtype=bool)  # True: entered at t
    for t in range(1, t_count):
        enter = np.concatenate([[-np.inf], score[:-1]])
        came[t] = enter > score
        score = np.maximum(score, enter) + ll[:, t]
    counts = np.zeros(s_count, dtype=np.int64)
    s = s_count - 1
    for t in range(t_count - 1, -1, -1):
        counts[s] += 1
        if t > 0 and came[t, s]:
            s -= 1
    return counts


def even_split(s_count, t_count):
    bounds = np.round(np.linspace(0, t_count, s_count + 1)).astype(np.int64)
    return np.maximum(np.diff(bounds), 0)


def estimate(utts, paths, s_total, dim):
    """Gaussians of every state from the frames the paths give it; states
    without frames get the mean and variance of all frames."""
    sums = np.zeros((s_total, dim))
    squares = np.zeros((s_total, dim))
    counts = np.zeros(s_total)
    for (frames, ids), path in zip(utts, paths):
        owner = np.repeat(ids, path)
        np.add.at(sums, owner, frames)
        np.add.at(squares, owner, frames * frames)
        np.add.at(counts, owner, 1)
    # The statistics of all frames come from the states' own sums.
    total = max(counts.sum(), 1.0)
    every_mean = sums.sum(0) / total
    every_var = squares.sum(0) / total - every_mean ** 2
    means = np.where(counts[:, None] > 0, sums / np.maximum(counts, 1)[:, None], every_mean)
    var = np.where(counts[:, None] > 1,
                   squares / np.maximum(counts, 1)[:, None] - means ** 2, every_var)
    return means, np.log(np.maximum(var, VAR_FLOOR))


def path_score(ll, path, scored, skip=0):
    """Mean log-likelihood of the frames after the first `skip` that the
    path gives to the states where `scored` [S] is True (all frames when
    none is)."""
    owner = np.repeat(np.arange(len(path)), path)
    values = ll[owner, np.arange(ll.shape[1])]
    keep = scored[owner]
    keep[:skip] = False
    return float(values[keep].mean() if keep.any() else values.mean())


def train(utts, s_total, iterations=8, report=None, scored=None, skip=0):
    """utts: [(frames [T, D], state ids [S])]. Returns (means, log_vars,
    paths, mean log-likelihood per frame of each utterance, over the frames
    of the states `scored` [s_total] marks (all when None) after the first
    `skip`)."""
    dim = utts[0][0].shape[1]
    paths = [even_split(len(ids), len(f)) for f, ids in utts]
    for it in range(iterations):
        means, log_vars = estimate(utts, paths, s_total, dim)
        paths, scores = [], []
        for frames, ids in utts:
            ll = log_likelihood(frames, means[ids], log_vars[ids])
            path = best_path(ll)
            paths.append(path)
            mask = np.ones(len(ids), bool) if scored is None else scored[ids]
            scores.append(path_score(ll, path, mask, skip))
        if report:
            report(it, float(np.mean(scores)))
    return means, log_vars, paths, np.array(scores)


def phone_durations(path, per_phone):
    """Frames per phone from frames per state."""
    ends = np.cumsum(per_phone)
    return [int(path[e - n:e].sum()) for e, n in zip(ends, per_phone)]
