"""Builds the training corpus: text -> front end -> teacher audio -> features.

  python3 -m tools.voice.build_corpus --front BIN --conf TOOL_CONF --phones-tsv TSV
                                      --phone2id DICT --prose TXT --out DIR
                                      [--prose-count N] [--random-count N] [--test-count 50]

Writes DIR/train.npz and DIR/test.npz (see save()) and DIR/test.txt (the
held-out prose sentences). Prose sentences go through the real front end
(phones, pinyin after sandhi and erhua, ids); random syllable utterances
cover every final and tone of the inventory, erhua finals included. The
teacher (libespeak-ng) renders the pinyin; its events give the phone
durations; the audio is resampled to 24 kHz for the features.
"""
import argparse
import multiprocessing
import os
import random
import subprocess
import sys

import numpy as np
from scipy.signal import resample_poly

from . import contract, diphone_teacher, espeak_driver, features, intonation, teacher_prosody
from .phoneset import Inventory, tone_of


def run_front(front, conf, mode, path):
    env = dict(os.environ, TOLVAREN_TTS_CONF=conf)
    out = subprocess.run([front, mode, "--file", path], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return out.stdout.decode("utf-8").split("\n")


def front_items(args, sentences, tmpdir):
    path = os.path.join(tmpdir, "front_input.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write("".join(s + "\n" for s in sentences))
    phones = run_front(args.front, args.conf, "--phones", path)
    pinyin = run_front(args.front, args.conf, "--pinyin", path)
    ids = run_front(args.front, args.conf, "--ids", path)
    items = []
    for k, sentence in enumerate(sentences):
        if k >= len(phones) or k >= len(pinyin) or k >= len(ids):
            break
        if any(x.startswith("ERROR") or not x.strip()
               for x in (phones[k], pinyin[k], ids[k])):
            continue
        ph = phones[k].split()
        id_list = [int(x) for x in ids[k].split()]
        if len(ph) != len(id_list) or 0 in id_list:
            continue
        items.append({"text": sentence, "phones": ph,
                      "pinyin": pinyin[k].split(), "ids": id_list})
    return items


def random_items(inv, count, seed, passes=3):
    """Random syllable utterances. The first ones take every final and
    erhua final in every tone `passes` times over as targets (8 per
    utterance, each pass in a new random order); the rest are freely
    random. A tone-3 target right after a tone 3 gets another tone (the
    teacher would apply 3-3 sandhi), so a few targets come out fewer times."""
    rng = random.Random(seed)
    all_targets = [f"{base}{tone}" for base in inv.finals + sorted(inv.erhua)
                   for tone in range(1, 6)]
    targets = []
    for _ in range(passes):
        one_pass = list(all_targets)
        rng.shuffle(one_pass)
        targets += one_pass
    targets.reverse()  # popped from the end
    items = []
    for _ in range(count):
        pending = [targets.pop() for _ in range(min(8, len(targets)))]
        length = rng.randint(max(6, len(pending)), 14)
        phones, pinyin = inv.random_utterance(rng, pending, length)
        items.append({"text": "random:" + " ".join(pinyin), "phones": phones,
                      "pinyin": pinyin, "ids": inv.ids(phones)})
    return items


_teacher = None
_inventory = None
_prosody = None
_model = None


def _init_worker(inventory, prosody):
    global _teacher, _inventory, _prosody, _model
    _inventory = inventory
    _prosody = prosody
    if prosody == "model":
        _model = intonation.load()
        _teacher = espeak_driver.Teacher(rate=teacher_prosody.settings(_model)["rate"])
    else:
        _teacher = espeak_driver.Teacher()


def _features(item, y, starts):
    """The corpus record of an item from its 24 kHz audio and phone starts
    (ms), or None when they do not fit."""
    n_frames = len(y) // contract.HOP
    if n_frames < 10 or n_frames > 1600:
        return None
    y = y[:n_frames * contract.HOP].astype(np.float32)
    durs = espeak_driver.durations_in_frames(starts, n_frames, contract.FRAME_MS)
    if len(durs) != len(item["ids"]) or sum(durs) != n_frames:
        return None
    return dict(item, durs=durs, mel=features.log_mel(y), f0=features.f0(y),
                audio=np.clip(np.round(y * 32767), -32768, 32767).astype(np.int16))


def _to_24k(x):
    return resample_poly(x, contract.SAMPLE_RATE // 150, _teacher.sample_rate // 150)


def _espeak(item):
    """(teacher audio as floats, phone starts in ms) of one item."""
    units = espeak_driver.syllables_of(item["phones"], _inventory.initials)
    pcm, events = _teacher.render(espeak_driver.teacher_text(units, item["pinyin"]))
    starts, _ = espeak_driver.align(units, events)
    return np.frombuffer(pcm, dtype=np.int16).astype(np.float32) / 32768.0, starts


def with_final_pause(item, pause_id):
    """The item ending in a pause phone: every utterance of the corpus
    then ends in the decay and silence the teacher is given there."""
    if item["phones"] and item["phones"][-1] == "sp":
        return item
    return dict(item, phones=item["phones"] + ["sp"], ids=list(item["ids"]) + [pause_id],
                appended_pause=True)


def render_batch(items):
    """Teacher audio, durations and features of each item (None where the
    teacher's events or praat fail)."""
    if _prosody != "model":
        out = []
        for item in items:
            try:
                x, starts = _espeak(item)
            except (ValueError, RuntimeError):
                out.append(None)
                continue
            out.append(_features(item, _to_24k(x), starts))
        return out
    pause_id = _inventory.ids(["sp"])[0]
    planned = []
    for item in items:
        item = with_final_pause(item, pause_id)
        try:
            x, starts = _espeak(item)
            n_sp = item["phones"].count("sp")
            appended = 1 if item.get("appended_pause") else 0
            marks = diphone_teacher.pause_marks(item["text"], n_sp - appended) + [None] * appended
            units = diphone_teacher.utterance_units(
                item["phones"], _inventory.initials, _inventory.erhua, marks)
            y, starts, end = teacher_prosody.reshape(x, _teacher.sample_rate, units, starts, _model)
            pitch, duration = teacher_prosody.tiers(units, starts, end, _model)
        except (ValueError, KeyError, RuntimeError):
            planned.append(None)
            continue
        planned.append((item, y, starts, end, pitch, duration, units))
    jobs = [(p[1], p[4], p[5]) for p in planned if p]
    done = iter(teacher_prosody.resynthesize(jobs, _teacher.sample_rate) if jobs else [])
    out = []
    for p in planned:
        if p is None:
            out.append(None)
            continue
        item, _, starts, end, _, duration, _ = p
        y = next(done)
        if y is None:
            out.append(None)
            continue
        new_starts = [teacher_prosody.stretched(t, duration) for t in starts]
        y = teacher_prosody.finish(y, _teacher.sample_rate,
                                   teacher_prosody.stretched(end, duration), _model)
        item = {k: v for k, v in item.items() if k != "appended_pause"}
        y = _to_24k(y)
        out.append(_features(item, y, new_starts))
    return out


def render_all(pool, items, batch=40):
    """render_batch over `items` in batches on the pool, in order."""
    batches = [items[i:i + batch] for i in range(0, len(items), batch)]
    return [r for rs in pool.imap(render_batch, batches) for r in rs if r]


def save(path, items):
    """Concatenated arrays with offsets (utterance k: [off[k], off[k+1]))."""
    def offsets(lengths):
        return np.concatenate([[0], np.cumsum(lengths)]).astype(np.int64)
    np.savez(
        path,
        text=np.array([it["text"] for it in items]),
        phones=np.array([" ".join(it["phones"]) for it in items]),
        ids=np.concatenate([it["ids"] for it in items]).astype(np.int16),
        tones=np.concatenate([[tone_of(p) for p in it["phones"]]
                              for it in items]).astype(np.int8),
        durs=np.concatenate([it["durs"] for it in items]).astype(np.int16),
        id_off=offsets([len(it["ids"]) for it in items]),
        mel=np.concatenate([it["mel"] for it in items]).astype(np.float16),
        f0=np.concatenate([it["f0"] for it in items]).astype(np.float32),
        mel_off=offsets([len(it["mel"]) for it in items]),
        audio=np.concatenate([it["audio"] for it in items]),
    )


def add_front_arguments(ap, out=True):
    """The options `front_items` and the phone inventory read, and --out."""
    ap.add_argument("--front", required=True)
    ap.add_argument("--conf", required=True)
    ap.add_argument("--phones-tsv", required=True)
    ap.add_argument("--phone2id", required=True)
    if out:
        ap.add_argument("--out", required=True)


def plan_items(args, inv):
    """The held-out and training items: prose read by the front end, plus
    random syllable strings for coverage."""
    with open(args.prose, encoding="utf-8") as f:
        sentences = [s.strip() for s in f if s.strip()]
    random.Random(args.seed).shuffle(sentences)
    # Held-out sentences come from the end of the shuffled list, so the
    # test set does not change when --prose-count changes.
    test_pool = sentences[-4 * args.test_count:]
    train_pool = sentences[:-4 * args.test_count][:args.prose_count]
    test = front_items(args, test_pool, args.out)[:args.test_count]
    train = front_items(args, train_pool, args.out)
    train += random_items(inv, args.random_count, args.seed)
    return {"test": test, "train": train}


def main():
    ap = argparse.ArgumentParser()
    add_front_arguments(ap)
    ap.add_argument("--prose", required=True)
    ap.add_argument("--prose-count", type=int, default=6000)
    ap.add_argument("--random-count", type=int, default=1000)
    ap.add_argument("--test-count", type=int, default=50)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--prosody", choices=["model", "espeak"], default="model",
                    help="model: pitch, pauses, lengthening and the end from the "
                    "intonation model (teacher_prosody.py); espeak: the teacher's own")
    args = ap.parse_args()
    # The teacher is loaded here once before any worker loads it: a worker
    # whose initializer fails is started again without end, so a missing
    # library or voice would hold the run instead of ending it.
    try:
        espeak_driver.Teacher()
    except (OSError, RuntimeError) as e:
        ap.error(str(e))
    os.makedirs(args.out, exist_ok=True)
    inv = Inventory(args.phones_tsv, args.phone2id)

    planned = plan_items(args, inv)
    test_items, train_items = planned["test"], planned["train"]
    print(f"front end: {len(train_items)} training, {len(test_items)} test "
          "items", file=sys.stderr)

    # Every batch in a fresh worker: espeak-ng reads an utterance a little
    # differently after others in the same process, so this makes a
    # batch's audio the same whichever worker takes it and however many
    # there are.
    with multiprocessing.Pool(args.jobs, _init_worker, (inv, args.prosody),
                              maxtasksperchild=1) as pool:
        done_test = render_all(pool, test_items)
        done_train = render_all(pool, train_items)
    print(f"teacher: {len(done_train)} training, {len(done_test)} test "
          "utterances aligned", file=sys.stderr)
    hours = sum(len(r["audio"]) for r in done_train) / contract.SAMPLE_RATE / 3600
    print(f"training audio: {hours:.2f} h", file=sys.stderr)
    save(os.path.join(args.out, "train.npz"), done_train)
    save(os.path.join(args.out, "test.npz"), done_test)
    with open(os.path.join(args.out, "test.txt"), "w", encoding="utf-8") as f:
        f.write("".join(r["text"] + "\n" for r in done_test))


if __name__ == "__main__":
    main()
