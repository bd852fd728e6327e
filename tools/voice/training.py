"""The training loop both trainers share: options, checkpoint (resumed if
present, saved atomically), learning-rate schedule, logging, periodic
export and the budget of a run (steps or minutes)."""
import os
import time

import numpy as np
import torch

from .dataset import Corpus

LOG_EVERY_S = 60


def add_arguments(ap, lr):
    """The options of every trainer; `lr` is the default peak rate."""
    ap.add_argument("--data", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--steps", type=int, default=0)
    ap.add_argument("--threads", type=int, default=1)
    ap.add_argument("--lr", type=float, default=lr)
    ap.add_argument("--export-every", type=float, default=10)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--init", default=None, metavar="ONNX|PT",
                    help="a run without a checkpoint starts from the weights of "
                    "this exported model (a shipped voice) or another run's "
                    "checkpoint instead of random ones; "
                    "layers the file lacks keep their fresh initialisation")
    ap.add_argument("--final-lr", type=float, default=0.1,
                    help="the learning rate falls linearly over this run's "
                    "budget (minutes or steps) to this fraction")


def start(args):
    """Threads, seeds and output folder of a run: returns its random
    generator and the training and held-out corpora."""
    torch.set_num_threads(args.threads)
    torch.manual_seed(args.seed)
    rng = np.random.default_rng(args.seed)
    os.makedirs(args.out, exist_ok=True)
    train = Corpus(os.path.join(args.data, "train.npz"))
    test = Corpus(os.path.join(args.data, "test.npz"))
    return rng, train, test


def decay(args, steps_done, seconds_done):
    """Learning-rate factor: 1 at the start of this run, falling linearly to
    args.final_lr at the end of its budget (args.steps if given, else
    args.minutes)."""
    done = steps_done / args.steps if args.steps else seconds_done / (60 * args.minutes)
    return max(args.final_lr, 1 - (1 - args.final_lr) * min(done, 1.0))


def init_weights(model, path):
    """Loads the weights an exported file (see reexport.weights) or another
    run's checkpoint (.pt, whose buffers such as the pitch statistics come
    too) holds into `model`; parameters it lacks, or holds in another
    shape, keep their initial values."""
    if path.endswith(".pt"):
        found = torch.load(path)["model"]
    else:
        from .reexport import weights
        found = weights(path)
    own = model.state_dict()
    state = {k: v for k, v in found.items() if k in own and own[k].shape == v.shape}
    missing, _ = model.load_state_dict(state, strict=False)
    print(f"started from {path}; fresh: {', '.join(missing) or 'nothing'}", flush=True)


class Checkpoint:
    """The file a run resumes from: model and optimiser state, the steps
    and seconds trained so far, and what else the trainer keeps with them
    (`extra`). An existing file is loaded into the model and optimiser at
    once; `check(ck)` may refuse it first (by exiting). Without one, `init`
    (an exported model's path) gives the model its first weights."""

    def __init__(self, path, model, opt, extra, check=None, init=None):
        self.path, self.model, self.opt, self.extra = path, model, opt, extra
        self.step, self.seconds = 0, 0.0
        if os.path.exists(path):
            ck = torch.load(path)
            if check:
                check(ck)
            model.load_state_dict(ck["model"])
            opt.load_state_dict(ck["opt"])
            self.step, self.seconds = ck["step"], ck.get("seconds", 0.0)
            print(f"resumed at step {self.step}", flush=True)
        elif init:
            init_weights(model, init)

    def save(self, step, seconds):
        ck = {"model": self.model.state_dict(), "opt": self.opt.state_dict(),
              "step": step, "seconds": seconds, **self.extra}
        torch.save(ck, self.path + ".tmp")
        os.replace(self.path + ".tmp", self.path)


def train(args, ckpt, batches, losses, warmup, clip, report, export):
    """Optimisation steps from where `ckpt` left off until this run's
    budget is spent: args.steps steps in all if given, else args.minutes
    minutes of this run.

    batches: iterator of training batches; losses(batch) -> (the loss to
    minimise, the terms to log); warmup(step) -> factor of the peak rate
    args.lr at that step, before `decay`; clip: gradient norm limit;
    report(lr, mean terms since the last line) -> the log line after its
    step and minutes; export(): writes the model's ONNX file. Saves the
    checkpoint and exports every args.export_every minutes and at the end."""
    model, opt = ckpt.model, ckpt.opt
    step = first_step = ckpt.step
    began = time.time()
    last_log = last_export = began
    totals, count = 0.0, 0

    def save_and_export():
        ckpt.save(step, ckpt.seconds + time.time() - began)
        export()
        model.train()

    while True:
        lr = args.lr * warmup(step) * decay(args, step - first_step, time.time() - began)
        for g in opt.param_groups:
            g["lr"] = lr
        loss, terms = losses(next(batches))
        opt.zero_grad()
        loss.backward()
        torch.nn.utils.clip_grad_norm_(model.parameters(), clip)
        opt.step()
        step += 1
        totals = totals + np.array([float(v) for v in terms])
        count += 1
        now = time.time()
        if now - last_log > LOG_EVERY_S:
            print(f"step {step} min {(ckpt.seconds + now - began) / 60:.1f} "
                  f"{report(lr, totals / count)}", flush=True)
            totals, count = 0.0, 0
            last_log = now
        if now - last_export > args.export_every * 60:
            save_and_export()
            last_export = time.time()
        if (args.steps and step >= args.steps) or \
                (not args.steps and now - began > args.minutes * 60):
            break
    save_and_export()
    print(f"finished at step {step}, {(ckpt.seconds + time.time() - began) / 60:.1f} min",
          flush=True)
